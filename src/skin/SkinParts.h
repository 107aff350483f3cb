#pragma once
// The smaller records of a skin: the eight frame pictures, the title and the size limits.
#include <QString>

#include "skin/OrvFont.h"
#include "skin/OrvPicture.h"

namespace kestrum {

class TOrvSkinManager;

enum TFramePiece { fpTopLeft, fpTop, fpTopRight, fpLeft, fpRight, fpBottomLeft, fpBottom, fpBottomRight };

class TSkinFrame {
public:
    // Assigning a PNG picture drops its alpha channel: the frame is drawn opaque, shaped by the key colour.
    const TOrvPicture& Picture(TFramePiece piece) const { return FPictures[piece]; }
    void SetPicture(TFramePiece piece, const TOrvPicture& value);
    const TOrvPicture& PicTopLeft() const { return FPictures[fpTopLeft]; }
    const TOrvPicture& PicTop() const { return FPictures[fpTop]; }
    const TOrvPicture& PicTopRight() const { return FPictures[fpTopRight]; }
    const TOrvPicture& PicLeft() const { return FPictures[fpLeft]; }
    const TOrvPicture& PicRight() const { return FPictures[fpRight]; }
    const TOrvPicture& PicBottomLeft() const { return FPictures[fpBottomLeft]; }
    const TOrvPicture& PicBottom() const { return FPictures[fpBottom]; }
    const TOrvPicture& PicBottomRight() const { return FPictures[fpBottomRight]; }

private:
    TOrvPicture FPictures[8];
};

class TSkinTitle {
public:
    explicit TSkinTitle(TOrvSkinManager* manager);

    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    int PosX() const { return FPosX; }
    void SetPosX(int value) { FPosX = value; }
    int PosY() const { return FPosY; }
    void SetPosY(int value) { FPosY = value; }
    QString Text() const { return FText; }
    // Also the form's caption and the label's text.
    void SetText(const QString& value);
    const TOrvFont& Font() const { return FFont; }
    void SetFont(const TOrvFont& value);

private:
    TOrvSkinManager* FManager;
    bool FVisible = true;
    int FPosX = -1, FPosY = -1;
    QString FText;
    TOrvFont FFont;
};

struct TSkinBounds {
    int MinWidth = 0, MinHeight = 0, MaxWidth = 0, MaxHeight = 0; // 0 or less: no limit
};

} // namespace kestrum
