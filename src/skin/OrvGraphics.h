#pragma once
// Stateless helpers the skinned controls share: colours, fonts, pictures to images, showing what lies behind a
// control, cutting a key colour out of a region, tiling, rendering a control off-screen, moving a form.
#include <QFont>
#include <QImage>
#include <QRegion>
#include <cstdint>
#include <optional>

#include "skin/OrvColor.h"

class QPainter;
class QWidget;
class QMouseEvent;

namespace kestrum {

class TOrvPicture;
class TOrvImage;

// alpha << 24 | red << 16 | green << 8 | blue; system colours are resolved first.
uint32_t ColorToArgb(TColor color, uint8_t alpha);
// The font with whole points; a face that is not installed falls back to the generic sans-serif family.
std::optional<QFont> FontToGdiFont(const QFont* font);
// The picture's first frame decoded again from the bytes it saves as; a null image when there is none, and an
// image of size 0 when the bytes cannot be decoded.
QImage PictureToGdiBitmap(const TOrvPicture* picture);
// Sizes `bitmap` to the picture and draws the picture at (0, 0) over black.
void PictureToBitmap(const TOrvPicture* picture, QImage* bitmap);
// Draws, into `painter` (whose origin is the control's top-left), what the control's parent shows behind the
// control: the parent itself, then the siblings stacked below the control. Without a parent nothing is drawn.
void PaintParentBackground(QPainter& painter, QWidget* control);
// The top-level window the control belongs to.
QWidget* OwnerFormWindow(QWidget* control);
// The rectangle (x0, y0, width, height) minus every pixel of `bitmap` whose colour is `key`; none for an empty
// bitmap. A system colour never matches.
std::optional<QRegion> RegionFromBitmap(const QImage& bitmap, TColor key, int x0 = 0, int y0 = 0);
// Replaces the control's picture by the picture tiled over the control's size.
void TilePicture(TOrvImage* control, const TOrvPicture* picture);
// The control painted into `bitmap`, sized to the control, over black.
void RenderControl(QWidget* control, QImage* bitmap);
// Starts moving the control's top-level window as if its caption had been pressed: the window system's own
// move when it offers one, else the window follows the pointer until the button is released. `globalNow` is
// where the pointer is at the start when that differs from the press (the move began on a later motion).
void StartWindowMove(QWidget* control, const QPointF& globalPress, const QPointF& globalNow);
inline void StartWindowMove(QWidget* control, const QPointF& globalPress) {
    StartWindowMove(control, globalPress, globalPress);
}

} // namespace kestrum
