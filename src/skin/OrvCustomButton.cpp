#include "skin/OrvCustomButton.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyleOptionFocusRect>

#include "skin/OrvGraphics.h"
#include "skin/OrvPicture.h"

namespace kestrum {

TOrvCustomButton::TOrvCustomButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::TabFocus); // a tab stop; a left press takes the focus itself, in its own order
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
    FFontMouseHover = FFontMouseDown = FFontDisabled = TOrvFont{font(), FFontColor};
    FActive = FDefault;
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusMoved(now); });
    WatchForm();
}

TOrvCustomButton::~TOrvCustomButton() {
    // The focus moves away while the widget part is torn down, after this object has ended: the
    // connection must not reach it then.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

// ------------------------------------------------------------------------------------------ properties

void TOrvCustomButton::SetCaption(const QString& value) {
    if (FCaption == value) return;
    FCaption = value;
    setWindowTitle(value); // the caption is the control's window text
    update();
}
void TOrvCustomButton::SetTextAlign(TOrvAlign value) {
    if (FTextAlign == value) return;
    FTextAlign = value;
    update();
}
void TOrvCustomButton::SetTextX(int value) {
    if (FTextX == value) return;
    FTextX = value;
    update();
}
void TOrvCustomButton::SetTextY(int value) {
    if (FTextY == value) return;
    FTextY = value;
    update();
}
void TOrvCustomButton::SetMultiLines(bool value) {
    if (FMultiLines == value) return;
    FMultiLines = value;
    update();
}
void TOrvCustomButton::SetEnableStatesFont(bool value) {
    if (FEnableStatesFont == value) return;
    FEnableStatesFont = value;
    update();
}
void TOrvCustomButton::SetFont(const TOrvFont& value) {
    setFont(value.Font);
    FFontColor = value.Color;
    update();
}
void TOrvCustomButton::SetFontColor(const QColor& value) {
    FFontColor = value;
    update();
}
void TOrvCustomButton::SetFontMouseHover(const TOrvFont& value) {
    FFontMouseHover = value;
    update();
}
void TOrvCustomButton::SetFontMouseDown(const TOrvFont& value) {
    FFontMouseDown = value;
    update();
}
void TOrvCustomButton::SetFontDisabled(const TOrvFont& value) {
    FFontDisabled = value;
    update();
}
void TOrvCustomButton::SetShowDisabledShadow(bool value) {
    if (FShowDisabledShadow == value) return;
    FShowDisabledShadow = value;
    update();
}
void TOrvCustomButton::SetTransparent(bool value) {
    if (FTransparent == value) return;
    FTransparent = value;
    update();
}
void TOrvCustomButton::SetFocusedRectMargin(int value) {
    if (FFocusedRectMargin == value) return;
    FFocusedRectMargin = value;
    update();
}
void TOrvCustomButton::SetColor(TColor value) {
    if (FColor == value) return;
    FColor = value;
    update();
}
void TOrvCustomButton::SetDefault(bool value) {
    FDefault = value;
    // Every button of the form recomputes whether it answers Enter.
    QWidget* form = window();
    for (auto* b : form->findChildren<TOrvCustomButton*>()) b->FocusMoved(form->focusWidget());
    FocusMoved(form->focusWidget());
}
void TOrvCustomButton::SetTabStop(bool value) {
    setFocusPolicy(value ? Qt::TabFocus : Qt::NoFocus);
}

void TOrvCustomButton::SetDrawFocused(bool value) {
    if (FDrawFocused == value) return;
    FDrawFocused = value;
    update();
}
void TOrvCustomButton::SetDrawBorder(bool value) {
    if (FDrawBorder == value) return;
    FDrawBorder = value;
    update();
}

QChar TOrvCustomButton::AcceleratorOf(const QString& caption) {
    for (int i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != u'&') continue;
        if (caption[i + 1] == u'&') {
            ++i;
            continue;
        }
        return caption[i + 1].toLower();
    }
    return {};
}

// ------------------------------------------------------------------------------------------ click and keys

void TOrvCustomButton::Click() {
    if (FDown) {
        FDown = false;
        FHover = true;
        repaint();
    }
    QPointer<TOrvCustomButton> self(this);
    if (parentWidget()) {
        QWidget* form = window();
        form->setProperty("ModalResult", FModalResult);
        // A modal dialog closes with a result other than 0, as a modal form does.
        if (auto* dialog = qobject_cast<QDialog*>(form); dialog && FModalResult != 0 && dialog->isModal())
            dialog->done(FModalResult);
    }
    if (self) emit OnClick();
}

bool TOrvCustomButton::CanTakeFocus() const {
    return isEnabled() && isVisible();
}

void TOrvCustomButton::WatchForm() {
    QWidget* form = window();
    if (form == FWatchedForm) return;
    if (FWatchedForm) FWatchedForm->removeEventFilter(this);
    FWatchedForm = form;
    if (form != this) form->installEventFilter(this);
}

void TOrvCustomButton::FocusMoved(QWidget* now) {
    if (now && now->window() != window()) return;
    bool active = FDefault;
    if (qobject_cast<QPushButton*>(now)) active = false; // a focused standard push button takes Enter itself
    if (active != FActive) {
        FActive = active;
        update();
    }
}

bool TOrvCustomButton::HandleFormKey(QKeyEvent* e) {
    Qt::KeyboardModifiers mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    int key = e->key();
    if (mods == Qt::NoModifier && CanTakeFocus()) {
        if (((key == Qt::Key_Return || key == Qt::Key_Enter) && FActive) || (key == Qt::Key_Escape && FCancel)) {
            Click();
            return true;
        }
    }
    QChar accel = AcceleratorOf(FCaption);
    QString text = e->text();
    if (!accel.isNull() && isEnabled() && (mods & ~Qt::AltModifier) == 0) {
        QChar typed = text.size() == 1 ? text[0].toLower() : QChar();
        if (typed.isNull() && key >= Qt::Key_A && key <= Qt::Key_Z) typed = QChar(u'a' + (key - Qt::Key_A));
        if (typed == accel) {
            Click();
            return true;
        }
    }
    return false;
}

bool TOrvCustomButton::eventFilter(QObject* watched, QEvent* e) {
    if (watched == FWatchedForm && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (!k->isAutoRepeat() && HandleFormKey(k)) return true;
    }
    return QWidget::eventFilter(watched, e);
}

bool TOrvCustomButton::event(QEvent* e) {
    switch (e->type()) {
        case QEvent::WindowTitleChange:
            // A change of the window text by any means is the caption.
            if (FCaption != windowTitle()) {
                FCaption = windowTitle();
                update();
            }
            break;
        case QEvent::ParentChange:
        case QEvent::Show:
            WatchForm();
            break;
        default:
            break;
    }
    return QWidget::event(e);
}

void TOrvCustomButton::keyPressEvent(QKeyEvent* e) {
    int key = e->key();
    bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (enter || key == Qt::Key_Space) {
        if (e->isAutoRepeat()) return;
        if (enter) {
            // The form's default button answers Enter before the focused one.
            for (auto* b : window()->findChildren<TOrvCustomButton*>())
                if (b != this && b->FActive && b->HandleFormKey(e)) return;
        }
        if (isEnabled()) {
            FDown = true;
            FHover = false;
            repaint();
        }
        return;
    }
    QWidget::keyPressEvent(e);
}

void TOrvCustomButton::keyReleaseEvent(QKeyEvent* e) {
    int key = e->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
        if (e->isAutoRepeat()) return;
        if (FDown && isEnabled()) {
            FDown = false;
            repaint();
            Click();
        }
        return;
    }
    QWidget::keyReleaseEvent(e);
}

void TOrvCustomButton::focusInEvent(QFocusEvent* e) {
    update();
    QWidget::focusInEvent(e);
}
void TOrvCustomButton::focusOutEvent(QFocusEvent* e) {
    update();
    QWidget::focusOutEvent(e);
}
void TOrvCustomButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            // A disabled button sees no release: do not leave it pressed for when it comes back.
            FDown = FLeftPressed = false;
            FHover = FPointerInside = false;
        }
        update();
    }
    QWidget::changeEvent(e);
}

// ------------------------------------------------------------------------------------------ mouse

void TOrvCustomButton::PointerEntered() {
    FPointerInside = true;
    FDown = false;
    FHover = true;
    repaint();
    emit OnMouseEnter();
}

void TOrvCustomButton::PointerLeft() {
    FPointerInside = false;
    if (FDown) return; // held down and dragged out: nothing changes until the release
    FHover = false;
    repaint();
    emit OnMouseExit();
}

void TOrvCustomButton::enterEvent(QEnterEvent* e) {
    if (!FPointerInside) PointerEntered();
    QWidget::enterEvent(e);
}

void TOrvCustomButton::leaveEvent(QEvent* e) {
    if (FPointerInside) PointerLeft();
    QWidget::leaveEvent(e);
}

void TOrvCustomButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        FDown = true;
        FHover = false;
        FLeftPressed = true;
        if (focusPolicy() != Qt::NoFocus && CanTakeFocus()) setFocus(Qt::MouseFocusReason);
        repaint();
    }
    emit OnMouseDown(e);
}

void TOrvCustomButton::mouseDoubleClickEvent(QMouseEvent* e) {
    mousePressEvent(e); // no double clicks: a quick second press is another press
}

void TOrvCustomButton::mouseMoveEvent(QMouseEvent* e) {
    QPointF p = e->position();
    // Qt holds back enter and leave while a button is held; the pointer's own position decides here.
    bool inside = p.x() >= 0 && p.y() >= 0 && p.x() <= width() && p.y() <= height();
    emit OnMouseMove(e);
    if (inside && !FPointerInside)
        PointerEntered();
    else if (!inside && FPointerInside)
        PointerLeft();
    if (!inside && !FDown && FHover) {
        FHover = false;
        repaint();
    }
}

void TOrvCustomButton::mouseReleaseEvent(QMouseEvent* e) {
    QPointer<TOrvCustomButton> self(this);
    QPointF p = e->position();
    if (e->button() == Qt::LeftButton) {
        bool clicked = FLeftPressed && rect().contains(p.toPoint());
        FLeftPressed = false;
        if (clicked) Click(); // the click comes before the release bookkeeping and OnMouseUp
        if (!self) return;
    }
    bool inside = p.x() >= 0 && p.y() >= 0 && p.x() <= width() && p.y() <= height();
    FDown = false;
    FHover = inside;
    FPointerInside = inside;
    repaint();
    emit OnMouseUp(e);
}

// ------------------------------------------------------------------------------------------ painting

bool TOrvCustomButton::GetStatePicture(TOrvPicture&) {
    return false;
}

void TOrvCustomButton::PaintPicture(QPainter& canvas, const TOrvPicture& picture) {
    int pw = picture.Width(), ph = picture.Height();
    if (pw == 0 || ph == 0) return;
    QPoint at = AlignItem(FPictureAlign, size(), {pw, ph}, {FPictureX, FPictureY});
    QImage img = picture.DisplayImage();
    if (FStretch)
        canvas.drawImage(QRect(at.x(), at.y(), width() - at.x(), height() - at.y()), img);
    else
        canvas.drawImage(at, img);
}

void TOrvCustomButton::PaintBorder(QPainter& canvas) {
    canvas.save();
    canvas.setPen(isEnabled() ? QColor(Qt::black) : ToQColor(clGray));
    canvas.setBrush(Qt::NoBrush);
    canvas.drawRect(0, 0, width() - 1, height() - 1);
    canvas.restore();
}

void TOrvCustomButton::PaintFocusRect(QPainter& canvas) {
    int m = FFocusedRectMargin;
    QRect r = rect().adjusted(m, m, -m, -m);
    canvas.save();
    QPen pen(QColor(Qt::black));
    pen.setStyle(Qt::DotLine);
    canvas.setPen(pen);
    canvas.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    canvas.drawRect(r.adjusted(0, 0, -1, -1));
    canvas.restore();
}

void TOrvCustomButton::PaintCaption(QPainter& canvas) {
    int W = width(), H = height();
    QRect client(0, 0, W, H);
    QRect custom(QPoint(FTextX, FTextY), QPoint(W - 1, H - 1));
    int h = Qt::AlignLeft, v = Qt::AlignTop;
    QRect r = client;
    switch (FTextAlign) {
        case OrvAlign_TopLeft:
            break;
        case OrvAlign_TopCenter:
            h = Qt::AlignHCenter;
            break;
        case OrvAlign_TopRight:
            h = Qt::AlignRight;
            break;
        case OrvAlign_MiddleLeft:
            v = Qt::AlignVCenter;
            break;
        case OrvAlign_MiddleCenter:
            h = Qt::AlignHCenter, v = Qt::AlignVCenter;
            break;
        case OrvAlign_MiddleRight:
            h = Qt::AlignRight, v = Qt::AlignVCenter;
            break;
        case OrvAlign_BottomLeft:
            v = Qt::AlignBottom;
            break;
        case OrvAlign_BottomCenter:
            h = Qt::AlignHCenter, v = Qt::AlignBottom;
            break;
        case OrvAlign_BottomRight:
            h = Qt::AlignRight, v = Qt::AlignBottom;
            break;
        case OrvAlign_CustomTop:
            r = QRect(QPoint(FTextX, 0), custom.bottomRight());
            break;
        case OrvAlign_CustomMiddle:
            r = QRect(QPoint(FTextX, 0), custom.bottomRight()), v = Qt::AlignVCenter;
            break;
        case OrvAlign_CustomBottom:
            r = QRect(QPoint(FTextX, 0), custom.bottomRight()), v = Qt::AlignBottom;
            break;
        case OrvAlign_CustomLeft:
            r = QRect(QPoint(0, FTextY), custom.bottomRight());
            break;
        case OrvAlign_CustomCenter:
            r = QRect(QPoint(0, FTextY), custom.bottomRight()), h = Qt::AlignHCenter;
            break;
        case OrvAlign_CustomRight:
            r = QRect(QPoint(0, FTextY), custom.bottomRight()), h = Qt::AlignRight;
            break;
        case OrvAlign_Custom:
            r = custom;
            break;
    }
    bool customRect = FTextAlign > OrvAlign_BottomRight;
    int flags = Qt::TextShowMnemonic | Qt::TextExpandTabs | h;
    if (FMultiLines)
        flags |= Qt::TextWordWrap | Qt::AlignTop; // vertical placement works on one line only
    else
        flags |= Qt::TextSingleLine | v;

    TOrvFont f{font(), FFontColor};
    bool shadow = false;
    if (!isEnabled()) {
        if (FEnableStatesFont) f = FFontDisabled;
        shadow = FShowDisabledShadow;
    } else if (FDown) {
        if (FEnableStatesFont) f = FFontMouseDown;
        if (!customRect) r.translate(1, 1); // the caption follows the press
    } else if (FHover) {
        if (FEnableStatesFont) f = FFontMouseHover;
    }
    canvas.save();
    canvas.setFont(f.Font);
    canvas.setPen(f.Color);
    canvas.drawText(r, flags, FCaption);
    if (shadow) {
        canvas.setPen(ToQColor(clGray));
        canvas.drawText(r.translated(1, 1), flags, FCaption);
    }
    canvas.restore();
}

QImage TOrvCustomButton::ComposeFace() {
    QImage buffer(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    if (FTransparent) {
        buffer.fill(Qt::transparent);
        QPainter p(&buffer);
        PaintParentBackground(p, this);
    } else {
        buffer.fill(ToQColor(FColor));
    }
    TOrvPicture picture;
    try {
        if (GetStatePicture(picture)) {
            QImage layer = buffer.copy();
            {
                QPainter lp(&layer);
                PaintPicture(lp, picture);
            }
            if (FTransparentColor) {
                // Only the layer pixels that differ from the key colour reach the face.
                QRgb key = qRgb(FTransparentColorValue & 0xFF, FTransparentColorValue >> 8 & 0xFF,
                                FTransparentColorValue >> 16 & 0xFF) &
                           0xFFFFFF;
                for (int y = 0; y < layer.height(); ++y) {
                    auto* src = reinterpret_cast<const QRgb*>(layer.constScanLine(y));
                    auto* dst = reinterpret_cast<QRgb*>(buffer.scanLine(y));
                    for (int x = 0; x < layer.width(); ++x)
                        if ((src[x] & 0xFFFFFF) != key) dst[x] = src[x];
                }
            } else {
                buffer = layer;
            }
        }
    } catch (...) {
        // A picture that cannot be drawn leaves the face without it.
    }
    QPainter p(&buffer);
    if (FDrawBorder) PaintBorder(p);
    if (FDrawFocused && hasFocus() && focusPolicy() != Qt::NoFocus) PaintFocusRect(p);
    if (!FCaption.trimmed().isEmpty()) PaintCaption(p);
    return buffer;
}

void TOrvCustomButton::paintEvent(QPaintEvent*) {
    QImage face = ComposeFace();
    QPainter p(this);
    p.drawImage(0, 0, face);
}

} // namespace kestrum
