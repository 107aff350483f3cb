#include "skin/OrvSkinManager.h"

#include <QGuiApplication>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QWindow>

#include "skin/OrvGraphics.h"
#include "skin/OrvImage.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvWindowShape.h"

namespace kestrum {

namespace {
enum { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// The outline shown while the grip is dragged: a 4-pixel frame in a halftone pattern, on top of everything.
class TResizeOutline : public QWidget {
public:
    TResizeOutline()
        : QWidget(nullptr,
                  Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_ShowWithoutActivating);
    }
    void Track(const QRect& r) {
        setGeometry(r);
        QRegion frame(rect());
        if (r.width() > 8 && r.height() > 8) frame -= QRegion(rect().adjusted(4, 4, -4, -4));
        setMask(frame);
        if (!isVisible()) show();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.fillRect(rect(), QBrush(Qt::black, Qt::Dense4Pattern));
    }
};
} // namespace

TOrvSkinManager::TOrvSkinManager(QWidget* form)
    : QObject(form),
      FForm(form),
      FIcon(this, TSkinButtonKind::Icon),
      FBtnMin(this, TSkinButtonKind::Minimize),
      FBtnMax(this, TSkinButtonKind::Maximize),
      FBtnClose(this, TSkinButtonKind::Close),
      FTitle(this) {
    if (!form) return;
    QPalette pal = form->palette();
    pal.setColor(QPalette::Window, ToQColor(clWhite));
    form->setPalette(pal);
    form->setAutoFillBackground(true);
    form->setWindowFlags(form->windowFlags() | Qt::FramelessWindowHint);
}

TOrvSkinManager::~TOrvSkinManager() {
    if (FForm) FForm->removeEventFilter(this);
    delete FOutline;
}

TOrvImageButton* TOrvSkinManager::CaptionButton(TSkinButtonKind kind) const {
    switch (kind) {
        case TSkinButtonKind::Icon:
            return FIconButton;
        case TSkinButtonKind::Minimize:
            return FBtnMinControl;
        case TSkinButtonKind::Maximize:
            return FBtnMaxControl;
        case TSkinButtonKind::Close:
            return FBtnCloseControl;
    }
    return nullptr;
}

TSkinButton& TOrvSkinManager::SkinButton(TSkinButtonKind kind) {
    switch (kind) {
        case TSkinButtonKind::Icon:
            return FIcon;
        case TSkinButtonKind::Minimize:
            return FBtnMin;
        case TSkinButtonKind::Maximize:
            return FBtnMax;
        case TSkinButtonKind::Close:
            break;
    }
    return FBtnClose;
}

// ------------------------------------------------------------------------------------------ properties

void TOrvSkinManager::SetBackColor(TColor value) {
    FBackColor = value;
    if (!FForm) return;
    QPalette pal = FForm->palette();
    pal.setColor(QPalette::Window, ToQColor(value));
    FForm->setPalette(pal);
}

void TOrvSkinManager::SetFormStyle(TFormStyle value) {
    FFormStyle = value;
    UpdateGripCursor();
}

void TOrvSkinManager::SetTransColor(bool value) {
    FTransColor = value;
    UpdateRegion();
}

void TOrvSkinManager::SetTransColorValue(TColor value) {
    FTransColorValue = value;
    UpdateRegion();
}

void TOrvSkinManager::UpdateGripCursor() {
    if (FGrip) FGrip->setCursor(FFormStyle == fsSizeable ? Qt::SizeFDiagCursor : Qt::ArrowCursor);
}

// ------------------------------------------------------------------------------------------ anchors

void TOrvSkinManager::Anchor(QWidget* control, int anchors) {
    if (!control || !FForm) return;
    QRect g = control->geometry();
    QSize s = FForm->size();
    TAnchor a{control, anchors, g.x(), g.y(), s.width() - (g.x() + g.width()), s.height() - (g.y() + g.height())};
    for (auto& existing : FAnchors)
        if (existing.Control == control) {
            existing = a;
            return;
        }
    FAnchors.push_back(a);
}

void TOrvSkinManager::ApplyAnchors(QSize size) {
    for (auto& a : FAnchors) {
        if (!a.Control) continue;
        QRect g = a.Control->geometry();
        int x = g.x(), y = g.y(), w = g.width(), h = g.height();
        if ((a.Anchors & akLeft) && (a.Anchors & akRight))
            w = std::max(0, size.width() - a.Left - a.Right);
        else if (a.Anchors & akRight)
            x = size.width() - a.Right - w;
        if ((a.Anchors & akTop) && (a.Anchors & akBottom))
            h = std::max(0, size.height() - a.Top - a.Bottom);
        else if (a.Anchors & akBottom)
            y = size.height() - a.Bottom - h;
        a.Control->setGeometry(x, y, w, h);
    }
}

// ------------------------------------------------------------------------------------------ layout

void TOrvSkinManager::EnsureCaptionControls() {
    if (!FForm) return;
    auto make = [this](QPointer<TOrvImageButton>& slot, bool tabStop) {
        if (slot) return;
        slot = new TOrvImageButton(FForm);
        slot->SetTransparent(true);
        slot->SetTabStop(tabStop);
        slot->installEventFilter(this);
    };
    make(FIconButton, true); // the icon stays a tab stop
    make(FBtnMinControl, false);
    make(FBtnMaxControl, false);
    make(FBtnCloseControl, false);
    if (!FCaptionWired) {
        FCaptionWired = true;
        connect(FBtnMinControl, &TOrvCustomButton::OnClick, this, &TOrvSkinManager::Minimize);
        connect(FBtnMaxControl, &TOrvCustomButton::OnClick, this, &TOrvSkinManager::ToggleMaximize);
        connect(FBtnCloseControl, &TOrvCustomButton::OnClick, this, &TOrvSkinManager::CloseForm);
    }
    if (!FTitleLabel) {
        FTitleLabel = new QLabel(FForm);
        FTitleLabel->setAttribute(Qt::WA_TranslucentBackground);
        FTitleLabel->installEventFilter(this);
    }
}

void TOrvSkinManager::LayoutCaption() {
    EnsureCaptionControls();
    LayoutIcon();
    LayoutButtons();
    LayoutTitle();
}

void TOrvSkinManager::LayoutIcon() {
    TOrvImageButton* b = FIconButton;
    if (!b) return;
    b->SetPicNormal(FIcon.PicNormal());
    b->SetPicDisabled(FIcon.PicDisabled());
    b->SetPicMouseHover(FIcon.PicMouseHover());
    b->SetPicMouseDown(FIcon.PicMouseDown());
    int x = FIcon.PosX(), y = FIcon.PosY();
    if (x == -1 && y == -1) x = 2, y = 2;
    b->setGeometry(x, y, FIcon.PicNormal().Width(), FIcon.PicNormal().Height());
    b->setVisible(FIcon.Visible());
    Anchor(b, akLeft | akTop);
}

void TOrvSkinManager::LayoutButtons() {
    if (!FForm || !FBtnCloseControl) return;
    int W = FForm->width();
    bool defaults = FBtnMin.PosX() == -1 && FBtnMin.PosY() == -1 && FBtnMax.PosX() == -1 && FBtnMax.PosY() == -1 &&
                    FBtnClose.PosX() == -1 && FBtnClose.PosY() == -1;
    auto place = [&](TSkinButton& s, TOrvImageButton* b, int defaultLeft) {
        b->SetPicNormal(s.PicNormal());
        b->SetPicDisabled(s.PicDisabled());
        b->SetPicMouseHover(s.PicMouseHover());
        b->SetPicMouseDown(s.PicMouseDown());
        int w = s.PicNormal().Width(), h = s.PicNormal().Height();
        if (defaults)
            b->setGeometry(defaultLeft, 2, w, h);
        else
            b->setGeometry(s.PosX(), s.PosY(), w, h);
        b->setVisible(s.Visible());
        Anchor(b, akTop | akRight);
    };
    int closeW = FBtnClose.PicNormal().Width(), maxW = FBtnMax.PicNormal().Width();
    int minW = FBtnMin.PicNormal().Width();
    int closeLeft = W - closeW - 2;
    int maxLeft = W - maxW - 2 - (FBtnClose.Visible() ? closeW + 2 : 0);
    int minLeft = W - minW - 2 - (FBtnClose.Visible() ? closeW + 2 : 0) - (FBtnMax.Visible() ? maxW + 2 : 0);
    place(FBtnClose, FBtnCloseControl, closeLeft);
    place(FBtnMax, FBtnMaxControl, maxLeft);
    place(FBtnMin, FBtnMinControl, minLeft);
}

int TOrvSkinManager::AccentRoom(const QLabel& label, const QString& text) {
    const QFontMetrics fm(label.font());
    return std::max(0, -fm.tightBoundingRect(text).top() - fm.ascent());
}

void TOrvSkinManager::LayoutTitle() {
    QLabel* label = FTitleLabel;
    if (!label || !FForm) return;
    label->setFont(FTitle.Font().Font);
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, FTitle.Font().Color);
    label->setPalette(pal);
    label->setText(FTitle.Text());
    label->adjustSize(); // sized to its text
    int x = FTitle.PosX(), y = FTitle.PosY();
    if (x == -1 && y == -1) {
        const TOrvPicture& icon = FIcon.PicNormal();
        if (FIcon.Visible() && icon.Width() > 0 && icon.Height() > 0 && FIconButton) {
            QRect ig = FIconButton->geometry();
            x = ig.x() + ig.width() + 2;
            y = std::max(ig.y(), ig.y() + (ig.height() - label->height()) / 2);
        } else {
            x = 2, y = 2;
        }
    }
    int right = FForm->width();
    for (auto kind : {TSkinButtonKind::Minimize, TSkinButtonKind::Maximize, TSkinButtonKind::Close}) {
        TSkinButton& s = SkinButton(kind);
        TOrvImageButton* b = CaptionButton(kind);
        if (b && s.Visible() && s.PicNormal().Width() > 0 && s.PicNormal().Height() > 0)
            right = std::min(right, b->x());
    }
    int width = std::max(0, right - x - 2);
    // Accents on capitals ("Ü", "À") may reach above the font's ascent: room for them above and below, with
    // the text (centred in the label) where it was.
    const int room = AccentRoom(*label, FTitle.Text());
    label->setGeometry(x, y - room, width, label->height() + 2 * room);
    FTitleRoom = room;
    // Ellipsis when the text does not fit.
    label->setText(label->fontMetrics().elidedText(FTitle.Text(), Qt::ElideRight, width));
    label->setVisible(FTitle.Visible());
    Anchor(label, akLeft | akTop);
}

void TOrvSkinManager::TitleChanged() {
    if (!FTitleLabel) return;
    QRect before = FTitleLabel->geometry();
    FTitleLabel->setFont(FTitle.Font().Font);
    QPalette pal = FTitleLabel->palette();
    pal.setColor(QPalette::WindowText, FTitle.Font().Color);
    FTitleLabel->setPalette(pal);
    FTitleLabel->setText(FTitle.Text());
    FTitleLabel->adjustSize(); // a new text or font sizes the label to its text again
    // The text stays where it was: the room for accents above it changes the label's top.
    const int room = AccentRoom(*FTitleLabel, FTitle.Text());
    FTitleLabel->setGeometry(before.x(), before.y() + FTitleRoom - room, FTitleLabel->width(),
                             FTitleLabel->height() + 2 * room);
    FTitleRoom = room;
}

void TOrvSkinManager::LayoutFrame() {
    if (!FForm) return;
    int W = FForm->width(), H = FForm->height();
    for (int i = 0; i < 8; ++i) {
        if (FPieces[i]) continue;
        auto* piece = new TOrvImage(FForm);
        piece->SetStretch(true);
        piece->SetTransparent(true);
        piece->installEventFilter(this);
        FPieces[i] = piece;
    }
    auto sz = [this](TFramePiece p) { return FFrame.Picture(p).Size(); };
    QSize tl = sz(fpTopLeft), tr = sz(fpTopRight), bl = sz(fpBottomLeft), br = sz(fpBottomRight);
    QSize t = sz(fpTop), b = sz(fpBottom), l = sz(fpLeft), r = sz(fpRight);
    QRect geo[8];
    geo[fpTopLeft] = QRect(0, 0, tl.width(), tl.height());
    geo[fpTopRight] = QRect(W - tr.width(), 0, tr.width(), tr.height());
    geo[fpTop] = QRect(tl.width(), 0, std::max(0, W - tl.width() - tr.width()), t.height());
    geo[fpBottomLeft] = QRect(0, H - bl.height(), bl.width(), bl.height());
    geo[fpBottomRight] = QRect(W - br.width(), H - br.height(), br.width(), br.height());
    geo[fpBottom] = QRect(bl.width(), H - b.height(), std::max(0, W - bl.width() - br.width()), b.height());
    geo[fpLeft] = QRect(0, tl.height(), l.width(), std::max(0, H - tl.height() - bl.height()));
    geo[fpRight] = QRect(W - r.width(), tr.height(), r.width(), std::max(0, H - tr.height() - br.height()));
    static const int anchors[8] = {akLeft | akTop,
                                   akLeft | akTop | akRight,
                                   akTop | akRight,
                                   akLeft | akTop | akBottom,
                                   akTop | akRight | akBottom,
                                   akLeft | akBottom,
                                   akLeft | akRight | akBottom,
                                   akRight | akBottom};
    for (int i = 0; i < 8; ++i) {
        TOrvImage* piece = FPieces[i];
        piece->setGeometry(geo[i]);
        piece->SetPicture(FFrame.Picture(TFramePiece(i)));
        piece->show();
        piece->lower(); // beneath every other control
        Anchor(piece, anchors[i]);
    }
    if (!FGrip) {
        FGrip = new QWidget(FForm);
        FGrip->installEventFilter(this);
    }
    FGrip->setGeometry(W - 7, H - 7, 7, 7);
    FGrip->raise();
    FGrip->show();
    UpdateGripCursor();
    Anchor(FGrip, akRight | akBottom);
    RetileEdges();
}

void TOrvSkinManager::RetileEdges() {
    auto tile = [this](TFramePiece p, bool horizontal) {
        TOrvImage* piece = FPieces[p];
        const TOrvPicture& pic = FFrame.Picture(p);
        if (!piece || pic.IsEmpty()) return;
        if (horizontal ? pic.Width() > 1 : pic.Height() > 1) TilePicture(piece, &pic);
    };
    tile(fpTop, true);
    tile(fpBottom, true);
    tile(fpLeft, false);
    tile(fpRight, false);
}

void TOrvSkinManager::UpdateRegion() {
    if (!FForm || !FApplied || FShaping) return;
    QScopedValueRollback guard(FShaping, true);
    int W = FForm->width(), H = FForm->height();
    FShapedSize = FForm->size();
    if (!FTransColor) {
        FRegion = QRegion();
        FForm->clearMask(); // the whole window
        return;
    }
    // Where the window system cannot cut the window, the pieces are cut instead, so the key colour is
    // never painted and the see-through surface shows there.
    const bool cutPieces = TOrvWindowShape::PrepareTranslucentCorners(*FForm);
    QRegion region;
    for (auto& piece : FPieces) {
        if (!piece) continue;
        if (cutPieces) piece->clearMask(); // the whole picture, key colour included, is looked at
        QImage bitmap;
        RenderControl(piece, &bitmap);
        if (auto r = RegionFromBitmap(bitmap, FTransColorValue, 0, 0)) {
            region += r->translated(piece->pos());
            if (cutPieces) piece->setMask(*r);
        }
    }
    auto g = [this](TFramePiece p) { return FPieces[p] ? FPieces[p]->geometry() : QRect(); };
    auto rightEdge = [](const QRect& r) { return r.x() + r.width(); };
    auto bottomEdge = [](const QRect& r) { return r.y() + r.height(); };
    int left = std::min({rightEdge(g(fpTopLeft)), rightEdge(g(fpLeft)), rightEdge(g(fpBottomLeft))});
    int top = std::min({bottomEdge(g(fpTopLeft)), bottomEdge(g(fpTop)), bottomEdge(g(fpTopRight))});
    int right = std::max({W - g(fpTopRight).width(), W - g(fpRight).width(), W - g(fpBottomRight).width()});
    int bottom = std::max({H - g(fpBottomLeft).height(), H - g(fpBottom).height(), H - g(fpBottomRight).height()});
    if (right > left && bottom > top) region += QRect(left, top, right - left, bottom - top);
    FRegion = region;
    if (region.isEmpty()) {
        FForm->clearMask();
        return;
    }
    FForm->setMask(region);
}

void TOrvSkinManager::ApplySkin() {
    if (!FForm) return;
    QWidget* form = FForm;
    // 1. window style
    Qt::WindowFlags flags = form->windowFlags() | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint;
    flags.setFlag(Qt::WindowMinimizeButtonHint, FBtnMin.Visible());
    flags.setFlag(Qt::WindowMaximizeButtonHint, FBtnMax.Visible());
    if (flags != form->windowFlags()) {
        bool shown = form->isVisible();
        form->setWindowFlags(flags);
        if (shown) form->show();
    }
    SetBackColor(FBackColor);
    form->setAutoFillBackground(true);
    form->setWindowTitle(FTitle.Text());
    // 2.-5. frame, icon, caption buttons, title
    LayoutFrame();
    LayoutCaption();
    // 6. size limits: minimums first, then maximums
    int w = form->width(), h = form->height();
    if (FBounds.MinWidth > 0 && w < FBounds.MinWidth) w = FBounds.MinWidth;
    if (FBounds.MinHeight > 0 && h < FBounds.MinHeight) h = FBounds.MinHeight;
    if (FBounds.MaxWidth > 0 && w > FBounds.MaxWidth) w = FBounds.MaxWidth;
    if (FBounds.MaxHeight > 0 && h > FBounds.MaxHeight) h = FBounds.MaxHeight;
    // 7. the controls' mouse events are watched through this object's event filter (set when created)
    // 8. watch the form's own events
    if (!FHooked) {
        form->installEventFilter(this);
        FHooked = true;
    }
    if (w != form->width() || h != form->height()) {
        form->resize(w, h);
        ApplyAnchors(form->size());
        RetileEdges();
    }
    // 9.-11.
    FApplied = true;
    UpdateRegion();
    form->update();
}

// ------------------------------------------------------------------------------------------ actions

void TOrvSkinManager::Minimize() {
    if (!FForm) return;
    FOwnStateChange = true;
    FForm->setWindowState((FForm->windowState() & ~Qt::WindowActive) | Qt::WindowMinimized);
    FOwnStateChange = false;
    emit OnMinimized();
}

void TOrvSkinManager::ToggleMaximize() {
    if (!FForm || FFormStyle == fsFixed) return;
    FOwnStateChange = true;
    bool wasMax = FForm->isMaximized();
    if (wasMax)
        FForm->setWindowState(FForm->windowState() & ~Qt::WindowMaximized);
    else
        FForm->setWindowState(FForm->windowState() | Qt::WindowMaximized);
    FOwnStateChange = false;
    if (FGrip) FGrip->setEnabled(wasMax);
    if (wasMax)
        emit OnRestored();
    else
        emit OnMaximized();
}

void TOrvSkinManager::CloseForm() {
    if (FForm) FForm->close();
}

QPoint TOrvSkinManager::ClampGripPoint(QPoint p, QPoint o, const TSkinBounds& b) {
    int x = p.x(), y = p.y();
    if (b.MinWidth > 0) x = std::max(x, o.x() + b.MinWidth);
    if (b.MinHeight > 0) y = std::max(y, o.y() + b.MinHeight);
    if (b.MaxWidth > 0) x = std::min(x, o.x() + b.MaxWidth);
    if (b.MaxHeight > 0) y = std::min(y, o.y() + b.MaxHeight);
    return {x, y};
}

// ------------------------------------------------------------------------------------------ events

bool TOrvSkinManager::eventFilter(QObject* watched, QEvent* e) {
    if (watched == FForm) return FormEvent(e);
    if (watched == FGrip) {
        GripEvent(e);
        return false;
    }
    if (auto* w = qobject_cast<QWidget*>(watched)) return ControlEvent(w, e);
    return false;
}

bool TOrvSkinManager::FormEvent(QEvent* e) {
    switch (e->type()) {
        case QEvent::Paint:
            // A see-through window gets no background of its own from the toolkit: the back colour is laid
            // inside the shape, under whatever the form paints itself.
            if (FForm->testAttribute(Qt::WA_TranslucentBackground) && !FRegion.isEmpty()) {
                QPainter p(FForm);
                p.setClipRegion(FRegion & static_cast<QPaintEvent*>(e)->region());
                p.fillRect(FForm->rect(), FForm->palette().color(QPalette::Window));
            }
            break;
        case QEvent::Resize: {
            // The resize a hidden form gets when first shown is usually to the size it was laid out for.
            if (FApplied && static_cast<QResizeEvent*>(e)->size() == FShapedSize) break;
            ApplyAnchors(static_cast<QResizeEvent*>(e)->size());
            // Buttons placed by position keep their place against the right edge.
            for (auto kind : {TSkinButtonKind::Minimize, TSkinButtonKind::Maximize, TSkinButtonKind::Close}) {
                TSkinButton& s = SkinButton(kind);
                if (s.PosX() != -1 && CaptionButton(kind)) s.PosXRef() = CaptionButton(kind)->x();
            }
            RetileEdges();
            UpdateRegion();
            break;
        }
        case QEvent::WindowStateChange: {
            Qt::WindowStates now = FForm->windowState();
            auto old = static_cast<QWindowStateChangeEvent*>(e)->oldState();
            // A maximized window is placed on the work area by the window system (which keeps panels and
            // docks free); setting its geometry here would end the maximized state again.
            if (!FOwnStateChange && now != old) {
                if (now & Qt::WindowMinimized)
                    emit OnMinimized();
                else if (now & Qt::WindowMaximized)
                    emit OnMaximized();
                else if (old & (Qt::WindowMinimized | Qt::WindowMaximized))
                    emit OnRestored();
            }
            break;
        }
        case QEvent::WindowTitleChange:
            if (FForm->windowTitle() != FTitle.Text()) FTitle.SetText(FForm->windowTitle());
            break;
        default:
            break;
    }
    return false;
}

bool TOrvSkinManager::ControlEvent(QWidget* control, QEvent* e) {
    // Only presses and double clicks matter. Everything else passes before the control is compared with the
    // toolkit's own: a control being destroyed sends events too, and is no longer of its class by then.
    if (e->type() != QEvent::MouseButtonPress && e->type() != QEvent::MouseButtonDblClick) return false;
    bool caption = control == FTitleLabel || control == FPieces[fpTopLeft] || control == FPieces[fpTop] ||
                   control == FPieces[fpTopRight];
    bool icon = control == FIconButton;
    if (!caption && !icon) {
        // caption buttons: their clicks
        return false;
    }
    switch (e->type()) {
        case QEvent::MouseButtonPress:
            if (icon) {
                static const QMetaMethod iconClick = QMetaMethod::fromSignal(&TOrvSkinManager::OnIconClick);
                if (isSignalConnected(iconClick)) {
                    emit OnIconClick();
                    return false;
                }
            }
            // Only now is the event known to be a mouse event.
            StartWindowMove(control, static_cast<QMouseEvent*>(e)->globalPosition());
            return false;
        case QEvent::MouseButtonDblClick:
            if (caption) {
                ToggleMaximize();
                return true;
            }
            return false;
        default:
            return false;
    }
}

void TOrvSkinManager::GripEvent(QEvent* e) {
    if (!FForm || FFormStyle != fsSizeable || !FGrip->isEnabled()) return;
    if (e->type() != QEvent::MouseButtonPress && e->type() != QEvent::MouseMove &&
        e->type() != QEvent::MouseButtonRelease)
        return;
    auto* m = static_cast<QMouseEvent*>(e);
    QPoint origin = FForm->geometry().topLeft();
    QPoint p = ClampGripPoint(m->globalPosition().toPoint(), origin, FBounds);
    if (e->type() == QEvent::MouseButtonPress && m->button() == Qt::LeftButton) {
        FGripTracking = true;
        FGripFixed = origin;
    } else if (e->type() == QEvent::MouseMove && FGripTracking && (m->buttons() & Qt::LeftButton)) {
        if (!FOutline) FOutline = new TResizeOutline();
        static_cast<TResizeOutline*>(FOutline.data())->Track(QRect(FGripFixed, p).normalized());
    } else if (e->type() == QEvent::MouseButtonRelease && m->button() == Qt::LeftButton && FGripTracking) {
        FGripTracking = false;
        if (FOutline) FOutline->hide();
        FForm->resize(std::max(1, p.x() - origin.x()), std::max(1, p.y() - origin.y()));
    }
}

} // namespace kestrum
