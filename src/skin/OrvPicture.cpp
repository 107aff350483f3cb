#include "skin/OrvPicture.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include "skin/PictureDecoders.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {
// Pictures read from disk are bounded too: nothing legitimate in a skin comes near this.
constexpr qint64 MaxPictureFileBytes = 256LL * 1024 * 1024;
} // namespace

TOrvPicture::TOrvPicture(const QImage& image, TPictureFormat format) {
    SetImage(image, format);
}

void TOrvPicture::SetImage(const QImage& image, TPictureFormat format) {
    Clear();
    if (image.isNull()) return;
    FFrames.push_back({image.convertToFormat(QImage::Format_ARGB32), 0});
    FFormat = format;
}

void TOrvPicture::Clear() {
    FFrames.clear();
    FFormat = TPictureFormat::None;
    FSource.clear();
    FError.clear();
}

void TOrvPicture::SetAnimationSpeed(int speed) {
    FAnimationSpeed = std::clamp(speed, 0, 1000);
}

QImage TOrvPicture::DisplayImage(int index) const {
    if (index < 0 || index >= FrameCount()) return {};
    const QImage& img = FFrames[size_t(index)].Image;
    if (!FTransparent || FFormat != TPictureFormat::Bmp || img.isNull()) return img;
    // A transparent bitmap leaves out the colour of its bottom-left pixel.
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    QRgb key = out.pixel(0, out.height() - 1) & 0xFFFFFF;
    for (int y = 0; y < out.height(); ++y) {
        auto* p = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((p[x] & 0xFFFFFF) == key) p[x] = 0;
    }
    return out;
}

TPictureFormat TOrvPicture::FormatFromCode(int code) {
    switch (code) {
        case 1:
            return TPictureFormat::Bmp;
        case 2:
            return TPictureFormat::Jpeg;
        case 3:
            return TPictureFormat::Gif;
        case 4:
            return TPictureFormat::Png;
        case 5:
            return TPictureFormat::Icon;
        case 6:
            return TPictureFormat::Cursor;
        case 7:
            return TPictureFormat::Metafile;
        case 8:
            return TPictureFormat::EnhMetafile;
        default:
            return TPictureFormat::None;
    }
}

TPictureFormat TOrvPicture::FormatFromExtension(const QString& path) {
    QString ext = QFileInfo(path).suffix().toLower();
    if (ext == u"bmp" || ext == u"dib") return TPictureFormat::Bmp;
    if (ext == u"jpg" || ext == u"jpeg" || ext == u"jpe" || ext == u"jfif") return TPictureFormat::Jpeg;
    if (ext == u"gif") return TPictureFormat::Gif;
    if (ext == u"png") return TPictureFormat::Png;
    if (ext == u"ico") return TPictureFormat::Icon;
    if (ext == u"cur") return TPictureFormat::Cursor;
    if (ext == u"wmf") return TPictureFormat::Metafile;
    if (ext == u"emf") return TPictureFormat::EnhMetafile;
    return TPictureFormat::None;
}

QString TOrvPicture::ExtensionOf(TPictureFormat format) {
    switch (format) {
        case TPictureFormat::Bmp:
            return QStringLiteral(".bmp");
        case TPictureFormat::Jpeg:
            return QStringLiteral(".jpg");
        case TPictureFormat::Gif:
            return QStringLiteral(".gif");
        case TPictureFormat::Png:
            return QStringLiteral(".png");
        case TPictureFormat::Icon:
            return QStringLiteral(".ico");
        case TPictureFormat::Cursor:
            return QStringLiteral(".cur");
        case TPictureFormat::Metafile:
            return QStringLiteral(".wmf");
        case TPictureFormat::EnhMetafile:
            return QStringLiteral(".emf");
        case TPictureFormat::None:
            break;
    }
    return QStringLiteral(".tmp");
}

bool TOrvPicture::Decode(const QByteArray& data, TPictureFormat format) {
    Clear();
    TDecodeResult r = DecodePicture(data, format);
    if (!r.Ok()) {
        FError = r.Error.isEmpty() ? QStringLiteral("picture could not be decoded") : r.Error;
        return false;
    }
    FFrames = std::move(r.Frames);
    FFormat = format;
    FSource = data;
    return true;
}

bool TOrvPicture::LoadFromFile(const QString& path) {
    TPictureFormat format = FormatFromExtension(path);
    if (format == TPictureFormat::None) {
        Clear();
        FError = QStringLiteral("unknown picture file extension: %1").arg(QFileInfo(path).fileName());
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Clear();
        FError = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.size() > MaxPictureFileBytes) {
        Clear();
        FError = QStringLiteral("picture file too large: %1").arg(path);
        return false;
    }
    return Decode(file.readAll(), format);
}

bool TOrvPicture::LoadFromData(const QByteArray& data) {
    TPictureFormat format = FormatFromCode(DetectPictureFormat(data.left(64)));
    if (format == TPictureFormat::None) {
        Clear();
        FError = QStringLiteral("unrecognised picture data");
        return false;
    }
    return Decode(data, format);
}

bool TOrvPicture::LoadFromStream(QIODevice& stream) {
    if (stream.size() > MaxPictureFileBytes) {
        Clear();
        FError = QStringLiteral("picture data too large");
        return false;
    }
    return LoadFromData(stream.readAll());
}

QByteArray TOrvPicture::SaveToBytes() const {
    if (IsEmpty()) return {};
    if (!FSource.isEmpty()) return FSource;
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    bool bmp = FFormat == TPictureFormat::Bmp;
    FFrames.front().Image.save(&buffer, bmp ? "BMP" : "PNG");
    return out;
}

bool TOrvPicture::SaveToStream(QIODevice& stream) const {
    QByteArray bytes = SaveToBytes();
    return stream.write(bytes) == bytes.size();
}

bool TOrvPicture::SaveToFile(const QString& path) const {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && SaveToStream(file);
}

void TOrvPicture::StripAlpha() {
    if (FFormat != TPictureFormat::Png || IsEmpty()) return;
    for (auto& f : FFrames)
        f.Image = f.Image.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32);
    FSource.clear(); // the saved form must match what is shown now
}

} // namespace kestrum
