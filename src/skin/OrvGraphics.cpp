#include "skin/OrvGraphics.h"

#include <QApplication>
#include <QFontDatabase>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <cmath>

#include "skin/OrvImage.h"
#include "skin/OrvPicture.h"

namespace kestrum {

uint32_t ColorToArgb(TColor color, uint8_t alpha) {
    TColor c = ResolveColor(color);
    return uint32_t(alpha) << 24 | (c & 0xFF) << 16 | (c >> 8 & 0xFF) << 8 | (c >> 16 & 0xFF);
}

std::optional<QFont> FontToGdiFont(const QFont* font) {
    if (!font) return std::nullopt;
    QFont f(*font);
    if (font->pointSizeF() > 0) f.setPointSizeF(std::trunc(font->pointSizeF())); // whole points
    if (!QFontDatabase::hasFamily(font->family())) {
        f.setFamily(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
        f.setStyleHint(QFont::SansSerif);
    }
    return f;
}

QImage PictureToGdiBitmap(const TOrvPicture* picture) {
    if (!picture || picture->Width() == 0 || picture->Height() == 0) return {};
    TOrvPicture copy;
    if (!copy.LoadFromData(picture->SaveToBytes())) return QImage(0, 0, QImage::Format_ARGB32);
    return copy.Image().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

void PictureToBitmap(const TOrvPicture* picture, QImage* bitmap) {
    if (!picture || !bitmap || picture->IsEmpty()) return;
    *bitmap = QImage(picture->Size(), QImage::Format_ARGB32_Premultiplied);
    bitmap->fill(Qt::black);
    QPainter p(bitmap);
    p.drawImage(0, 0, picture->DisplayImage());
}

namespace {
thread_local int ParentPaintDepth = 0;
} // namespace

void PaintParentBackground(QPainter& painter, QWidget* control) {
    QWidget* parent = control ? control->parentWidget() : nullptr;
    if (!parent || ParentPaintDepth > 16) return;
    ++ParentPaintDepth;
    QPoint origin = control->pos();
    QRect area = control->geometry().intersected(parent->rect());
    painter.save();
    painter.setClipRect(area.translated(-origin), Qt::IntersectClip);
    // A parent that paints no background of its own shows its own parent's.
    if (!parent->isWindow() && !parent->autoFillBackground()) {
        painter.save();
        painter.translate(-origin);
        PaintParentBackground(painter, parent);
        painter.restore();
    }
    if (!area.isEmpty()) {
        // render() places the top-left of the source region at the target offset.
        parent->render(&painter, area.topLeft() - origin, QRegion(area), QWidget::DrawWindowBackground);
        for (QObject* o : parent->children()) {
            if (o == control) break;
            auto* w = qobject_cast<QWidget*>(o);
            if (!w || w->isWindow() || !w->isVisible()) continue;
            QRect part = w->geometry().intersected(area);
            if (part.isEmpty()) continue;
            w->render(&painter, part.topLeft() - origin, QRegion(part.translated(-w->pos())),
                      QWidget::DrawWindowBackground | QWidget::DrawChildren);
        }
    }
    painter.restore();
    --ParentPaintDepth;
}

QWidget* OwnerFormWindow(QWidget* control) {
    return control ? control->window() : nullptr;
}

std::optional<QRegion> RegionFromBitmap(const QImage& bitmap, TColor key, int x0, int y0) {
    if (bitmap.isNull() || bitmap.width() == 0 || bitmap.height() == 0) return std::nullopt;
    QImage img = bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_ARGB32
                     ? bitmap
                     : bitmap.convertToFormat(QImage::Format_RGB32);
    QRegion region(x0, y0, img.width(), img.height());
    if (IsSystemColor(key)) return region;
    // 0x00BBGGRR to the 0x..RRGGBB layout of a 32-bit pixel
    uint32_t want = (key & 0xFF) << 16 | (key & 0xFF00) | (key >> 16 & 0xFF);
    QRegion cut;
    for (int y = 0; y < img.height(); ++y) {
        auto* row = reinterpret_cast<const uint32_t*>(img.constScanLine(y));
        int x = 0, w = img.width();
        while (x < w) {
            if ((row[x] & 0xFFFFFF) != want) {
                ++x;
                continue;
            }
            int a = x;
            while (x < w && (row[x] & 0xFFFFFF) == want) ++x;
            cut += QRect(x0 + a, y0 + y, x - a, 1);
        }
    }
    return region.subtracted(cut);
}

void TilePicture(TOrvImage* control, const TOrvPicture* picture) {
    if (!control || !picture || picture->IsEmpty()) return;
    int W = control->width(), H = control->height();
    int pw = picture->Width(), ph = picture->Height();
    // Exactly the control's size: the piece then shows the tiles one to one.
    QImage tiled(std::max(W, 1), std::max(H, 1), QImage::Format_ARGB32);
    tiled.fill(Qt::transparent);
    QImage tile = picture->DisplayImage();
    {
        QPainter p(&tiled);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        int cols = (W + pw - 1) / pw, rows = (H + ph - 1) / ph;
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < cols; ++c) p.drawImage(c * pw, r * ph, tile);
    }
    // Same kind as the source, so the piece treats its transparency the same way.
    control->SetPicture(TOrvPicture(tiled, picture->Format()));
}

void RenderControl(QWidget* control, QImage* bitmap) {
    if (!control || !bitmap) return;
    if (control->width() <= 0 || control->height() <= 0) {
        *bitmap = QImage();
        return;
    }
    *bitmap = QImage(control->size(), QImage::Format_ARGB32_Premultiplied);
    bitmap->fill(Qt::black);
    // A picture control paints straight into the bitmap: no pending layout or resize work is triggered.
    if (auto* image = qobject_cast<TOrvImage*>(control)) {
        QPainter p(bitmap);
        image->PaintTo(p);
        return;
    }
    control->render(bitmap, QPoint(), QRegion(), QWidget::RenderFlags());
}

namespace {
// Moves a window with the pointer while the button stays down, for window systems without their own move.
// It watches the application's events rather than the control's, so it can start from inside one of the
// control's own event filters without disturbing their order.
class TManualMove : public QObject {
public:
    TManualMove(QWidget* control, QPointF globalPress)
        : QObject(control),
          FControl(control),
          FWindow(control->window()),
          FStart(globalPress),
          FOrigin(control->window()->pos()) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched != FControl) return false;
        if (e->type() == QEvent::MouseMove) {
            auto* m = static_cast<QMouseEvent*>(e);
            if (FWindow && (m->buttons() & Qt::MouseButtonMask))
                FWindow->move(FOrigin + (m->globalPosition() - FStart).toPoint());
            return true;
        }
        if (e->type() == QEvent::MouseButtonRelease) {
            qApp->removeEventFilter(this); // done now, whenever the object itself goes
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> FControl;
    QPointer<QWidget> FWindow;
    QPointF FStart;
    QPoint FOrigin;
};

} // namespace

void StartWindowMove(QWidget* control, const QPointF& globalPress, const QPointF& globalNow) {
    if (!control) return;
    QWidget* form = control->window();
    // Catch up with the pointer first, so the window system's move starts from where the pointer is now.
    if (globalNow != globalPress) form->move(form->pos() + (globalNow - globalPress).toPoint());
    QWindow* handle = form->windowHandle();
    if (handle && handle->startSystemMove()) return;
    new TManualMove(control, globalNow);
}

} // namespace kestrum
