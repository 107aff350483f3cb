#include "skin/OrvWindowShape.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace kestrum {

namespace {
bool OnWayland() {
    return QGuiApplication::platformName().startsWith(u"wayland"_qs);
}

// Asks for the minimized state once the window is first exposed, then goes.
class TMinimizeOnExpose : public QObject {
public:
    TMinimizeOnExpose(QWidget& form, QWindow* window) : QObject(window), FForm(&form) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        auto* window = static_cast<QWindow*>(watched);
        if (e->type() == QEvent::Expose && window->isExposed()) {
            window->removeEventFilter(this);
            // After the first frame the exposure paints: a window without content is not on screen yet.
            QTimer::singleShot(0, this, [this] {
                if (FForm && FForm->isVisible()) FForm->setWindowState(FForm->windowState() | Qt::WindowMinimized);
                deleteLater();
            });
        }
        return false;
    }

private:
    QPointer<QWidget> FForm;
};
} // namespace

bool TOrvWindowShape::CanShape() {
    return !OnWayland();
}

bool TOrvWindowShape::CanUnminimize() {
    return !OnWayland();
}

bool TOrvWindowShape::PrepareTranslucentCorners(QWidget& form) {
    if (CanShape() || !form.isWindow()) return false;
    // With an alpha channel the surface starts out clear, and the painting of the window and all its
    // children is clipped to the mask: what lies outside it stays see-through, while the mask still tells
    // the compositor where the window takes the pointer.
    if (!form.testAttribute(Qt::WA_TranslucentBackground)) form.setAttribute(Qt::WA_TranslucentBackground);
    return true;
}

void TOrvWindowShape::MinimizeShownWindow(QWidget& form) {
    QWindow* window = form.windowHandle();
    if (CanUnminimize() || !window || window->isExposed()) {
        form.setWindowState(form.windowState() | Qt::WindowMinimized);
        return;
    }
    // Not minimized yet in the toolkit's view either: the request must still be a change when it is made.
    form.setWindowState(form.windowState() & ~Qt::WindowMinimized);
    new TMinimizeOnExpose(form, window);
}

} // namespace kestrum
