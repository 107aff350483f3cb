#include "skin/SkinParts.h"

#include "skin/OrvSkinManager.h"
#include "skin/SkinButton.h"

namespace kestrum {

void TSkinFrame::SetPicture(TFramePiece piece, const TOrvPicture& value) {
    TOrvPicture copy = value;
    copy.StripAlpha();
    FPictures[piece] = copy;
}

TSkinTitle::TSkinTitle(TOrvSkinManager* manager) : FManager(manager) {
    FFont.Font.setBold(true);
}

void TSkinTitle::SetVisible(bool value) {
    FVisible = value;
    if (QLabel* label = FManager->TitleLabel()) label->setVisible(value);
}

void TSkinTitle::SetText(const QString& value) {
    if (FText == value && (!FManager->Form() || FManager->Form()->windowTitle() == value)) return;
    FText = value;
    if (QWidget* form = FManager->Form()) form->setWindowTitle(value);
    FManager->TitleChanged();
}

void TSkinTitle::SetFont(const TOrvFont& value) {
    FFont = value;
    FManager->TitleChanged();
}

// ---------------------------------------------------------------------------------------------- TSkinButton

void TSkinButton::Changed(bool pictures) {
    if (!FManager) return;
    if (pictures || FManager->CaptionButton(FKind)) FManager->LayoutCaption();
}

void TSkinButton::SetVisible(bool value) {
    FVisible = value;
    Changed(false);
}
void TSkinButton::SetPosX(int value) {
    FPosX = value;
    Changed(false);
}
void TSkinButton::SetPosY(int value) {
    FPosY = value;
    Changed(false);
}
void TSkinButton::SetPicNormal(const TOrvPicture& value) {
    FPicNormal = value;
    Changed(true);
}
void TSkinButton::SetPicDisabled(const TOrvPicture& value) {
    FPicDisabled = value;
    Changed(true);
}
void TSkinButton::SetPicMouseHover(const TOrvPicture& value) {
    FPicMouseHover = value;
    Changed(true);
}
void TSkinButton::SetPicMouseDown(const TOrvPicture& value) {
    FPicMouseDown = value;
    Changed(true);
}

void TSkinButton::Reset() {
    FVisible = true;
    FPosX = FPosY = -1;
    FPicNormal.Clear();
    FPicDisabled.Clear();
    FPicMouseHover.Clear();
    FPicMouseDown.Clear();
}

} // namespace kestrum
