#pragma once
// The shared picture type: holds at most one graphic (BMP, JPEG, GIF with every frame, PNG with alpha, icon,
// cursor) or nothing. A value type: copies share the decoded pixels.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <vector>

class QIODevice;

namespace kestrum {

enum class TPictureFormat { None, Bmp, Jpeg, Gif, Png, Icon, Cursor, Metafile, EnhMetafile };

struct TPictureFrame {
    QImage Image;    // full canvas, already composited (Format_ARGB32)
    int DelayCs = 0; // recorded delay in hundredths of a second, 0 = none
};

class TOrvPicture {
public:
    TOrvPicture() = default;
    // A picture holding `image` as a graphic of the given kind (a bitmap unless told otherwise).
    explicit TOrvPicture(const QImage& image, TPictureFormat format = TPictureFormat::Bmp);

    bool IsEmpty() const { return FFrames.empty(); }
    bool HasGraphic() const { return !IsEmpty(); }
    int Width() const { return IsEmpty() ? 0 : FFrames.front().Image.width(); }
    int Height() const { return IsEmpty() ? 0 : FFrames.front().Image.height(); }
    QSize Size() const { return {Width(), Height()}; }
    TPictureFormat Format() const { return FFormat; }
    bool IsGif() const { return FFormat == TPictureFormat::Gif; }
    // First frame (a null image when empty).
    QImage Image() const { return IsEmpty() ? QImage() : FFrames.front().Image; }
    const std::vector<TPictureFrame>& Frames() const { return FFrames; }
    int FrameCount() const { return int(FFrames.size()); }

    // The graphic's transparency flag. A bitmap drawn transparently leaves out the colour of its bottom-left
    // pixel; other kinds carry their own transparency.
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value) { FTransparent = value; }
    // Frame `index` as it is to be drawn (bitmap transparency applied).
    QImage DisplayImage(int index = 0) const;

    // GIF animation speed in percent of the recorded speed, clamped to 0..1000.
    int AnimationSpeed() const { return FAnimationSpeed; }
    void SetAnimationSpeed(int speed);

    // Loading: by the file's extension, or by the first bytes of the data. On failure the picture is empty and
    // LastError() says why.
    bool LoadFromFile(const QString& path);
    bool LoadFromData(const QByteArray& data);
    bool LoadFromStream(QIODevice& stream);
    void Clear();
    void Assign(const TOrvPicture& other) { *this = other; }
    void SetImage(const QImage& image, TPictureFormat format = TPictureFormat::Bmp);
    QString LastError() const { return FError; }

    // The graphic written in its own file format (the loaded bytes when it was loaded from a file or data,
    // otherwise freshly encoded: BMP for bitmaps, PNG for the rest). Empty when the picture is empty.
    QByteArray SaveToBytes() const;
    bool SaveToStream(QIODevice& stream) const;
    bool SaveToFile(const QString& path) const;

    // Drops the alpha channel of a PNG image (the frame pieces of a skin are drawn opaque).
    void StripAlpha();

    // File extension for a format (".bmp", ".png" ...), ".tmp" for None.
    static QString ExtensionOf(TPictureFormat format);
    static TPictureFormat FormatFromExtension(const QString& path);
    static TPictureFormat FormatFromCode(int detectCode); // DetectPictureFormat's numbering

private:
    bool Decode(const QByteArray& data, TPictureFormat format);

    std::vector<TPictureFrame> FFrames;
    TPictureFormat FFormat = TPictureFormat::None;
    QByteArray FSource; // the bytes the graphic came from, kept for saving
    bool FTransparent = false;
    int FAnimationSpeed = 1000;
    QString FError;
};

} // namespace kestrum
