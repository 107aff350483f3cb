#pragma once
// The picture button: a state picture per state (normal, hover, pressed, disabled), placed or stretched, an
// optional key colour, and an optional mask picture that shapes the button.
#include "skin/OrvCustomButton.h"
#include "skin/OrvPicture.h"

namespace kestrum {

class TOrvImageButton : public TOrvCustomButton {
    Q_OBJECT
public:
    explicit TOrvImageButton(QWidget* parent = nullptr);

    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool TransparentColor() const { return FTransparentColor; }
    void SetTransparentColor(bool value);
    TColor TransparentColorValue() const { return FTransparentColorValue; }
    void SetTransparentColorValue(TColor value);
    TOrvAlign PictureAlign() const { return FPictureAlign; }
    void SetPictureAlign(TOrvAlign value);
    int PictureX() const { return FPictureX; }
    void SetPictureX(int value);
    int PictureY() const { return FPictureY; }
    void SetPictureY(int value);

    const TOrvPicture& PicNormal() const { return FPicNormal; }
    void SetPicNormal(const TOrvPicture& value);
    const TOrvPicture& PicMouseHover() const { return FPicMouseHover; }
    void SetPicMouseHover(const TOrvPicture& value);
    const TOrvPicture& PicMouseDown() const { return FPicMouseDown; }
    void SetPicMouseDown(const TOrvPicture& value);
    const TOrvPicture& PicDisabled() const { return FPicDisabled; }
    void SetPicDisabled(const TOrvPicture& value);
    const TOrvPicture& PicMask() const { return FPicMask; }
    void SetPicMask(const TOrvPicture& value);
    TColor MaskColor() const { return FMaskColor; }
    void SetMaskColor(TColor value);

    // Loads the four state pictures from files (an empty path leaves that picture empty) and sizes the button
    // to the normal picture.
    void LoadPictures(const QString& normal, const QString& hover, const QString& down, const QString& disabled);

protected:
    bool GetStatePicture(TOrvPicture& picture) override;

private:
    void RebuildMask();

    TOrvPicture FPicNormal, FPicMouseHover, FPicMouseDown, FPicDisabled, FPicMask;
    TColor FMaskColor = clBlack;
};

} // namespace kestrum
