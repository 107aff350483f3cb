#include "skin/OrvImageButton.h"

#include "skin/OrvGraphics.h"

namespace kestrum {

TOrvImageButton::TOrvImageButton(QWidget* parent) : TOrvCustomButton(parent) {}

void TOrvImageButton::SetStretch(bool value) {
    if (FStretch == value) return;
    FStretch = value;
    update();
}
void TOrvImageButton::SetTransparentColor(bool value) {
    if (FTransparentColor == value) return;
    FTransparentColor = value;
    update();
}
void TOrvImageButton::SetTransparentColorValue(TColor value) {
    if (FTransparentColorValue == value) return;
    FTransparentColorValue = value;
    update();
}
void TOrvImageButton::SetPictureAlign(TOrvAlign value) {
    if (FPictureAlign == value) return;
    FPictureAlign = value;
    update();
}
void TOrvImageButton::SetPictureX(int value) {
    if (FPictureX == value) return;
    FPictureX = value;
    update();
}
void TOrvImageButton::SetPictureY(int value) {
    if (FPictureY == value) return;
    FPictureY = value;
    update();
}
void TOrvImageButton::SetPicNormal(const TOrvPicture& value) {
    FPicNormal = value;
    update();
}
void TOrvImageButton::SetPicMouseHover(const TOrvPicture& value) {
    FPicMouseHover = value;
    update();
}
void TOrvImageButton::SetPicMouseDown(const TOrvPicture& value) {
    FPicMouseDown = value;
    update();
}
void TOrvImageButton::SetPicDisabled(const TOrvPicture& value) {
    FPicDisabled = value;
    update();
}
void TOrvImageButton::SetPicMask(const TOrvPicture& value) {
    FPicMask = value;
    RebuildMask();
    update();
}
void TOrvImageButton::SetMaskColor(TColor value) {
    FMaskColor = value;
    RebuildMask();
    update();
}

void TOrvImageButton::LoadPictures(const QString& normal, const QString& hover, const QString& down,
                                   const QString& disabled) {
    auto load = [](const QString& path) {
        TOrvPicture p;
        if (!path.isEmpty()) p.LoadFromFile(path);
        return p;
    };
    SetPicNormal(load(normal));
    SetPicMouseHover(load(hover));
    SetPicMouseDown(load(down));
    SetPicDisabled(load(disabled));
    if (!FPicNormal.IsEmpty()) resize(FPicNormal.Size());
}

void TOrvImageButton::RebuildMask() {
    if (FPicMask.IsEmpty()) {
        clearMask();
        return;
    }
    QImage bitmap;
    PictureToBitmap(&FPicMask, &bitmap);
    if (auto region = RegionFromBitmap(bitmap, FMaskColor, 0, 0))
        setMask(*region);
    else
        clearMask();
}

bool TOrvImageButton::GetStatePicture(TOrvPicture& picture) {
    const TOrvPicture* wanted = &FPicNormal;
    if (!isEnabled())
        wanted = &FPicDisabled;
    else if (Down())
        wanted = &FPicMouseDown;
    else if (Hover())
        wanted = &FPicMouseHover;
    if (wanted->IsEmpty()) wanted = &FPicNormal;
    if (wanted->IsEmpty()) return false;
    picture = *wanted;
    return true;
}

} // namespace kestrum
