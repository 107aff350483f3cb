#pragma once
// The caption icon or one caption button of a skinned window: visibility, position and four state pictures.
// Changing them re-runs the manager's caption layout; the raw accessors let a state document store and restore
// the values without a layout pass.
#include "skin/OrvPicture.h"

namespace kestrum {

class TOrvSkinManager;

enum class TSkinButtonKind { Icon, Minimize, Maximize, Close };

class TSkinButton {
public:
    TSkinButton(TOrvSkinManager* manager, TSkinButtonKind kind) : FManager(manager), FKind(kind) {}
    virtual ~TSkinButton() = default;

    TOrvSkinManager* Manager() const { return FManager; }
    TSkinButtonKind Kind() const { return FKind; }

    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    int PosX() const { return FPosX; }
    void SetPosX(int value);
    int PosY() const { return FPosY; }
    void SetPosY(int value);
    const TOrvPicture& PicNormal() const { return FPicNormal; }
    void SetPicNormal(const TOrvPicture& value);
    const TOrvPicture& PicDisabled() const { return FPicDisabled; }
    void SetPicDisabled(const TOrvPicture& value);
    const TOrvPicture& PicMouseHover() const { return FPicMouseHover; }
    void SetPicMouseHover(const TOrvPicture& value);
    const TOrvPicture& PicMouseDown() const { return FPicMouseDown; }
    void SetPicMouseDown(const TOrvPicture& value);

    // Raw state, for loading and saving: no layout runs.
    void Reset(); // Visible, PosX = PosY = -1, no pictures
    bool& VisibleRef() { return FVisible; }
    int& PosXRef() { return FPosX; }
    int& PosYRef() { return FPosY; }
    TOrvPicture& PicNormalRef() { return FPicNormal; }
    TOrvPicture& PicDisabledRef() { return FPicDisabled; }
    TOrvPicture& PicMouseHoverRef() { return FPicMouseHover; }
    TOrvPicture& PicMouseDownRef() { return FPicMouseDown; }

private:
    void Changed(bool pictures);

    TOrvSkinManager* FManager;
    TSkinButtonKind FKind;
    bool FVisible = true;
    int FPosX = -1, FPosY = -1;
    TOrvPicture FPicNormal, FPicDisabled, FPicMouseHover, FPicMouseDown;
};

} // namespace kestrum
