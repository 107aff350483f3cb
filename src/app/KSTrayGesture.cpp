#include "app/KSTrayGesture.h"

#include <QApplication>
#include <QDateTime>
#include <QStyleHints>

namespace kestrum {

TKSTrayGesture::TKSTrayGesture(std::function<void()> toggle, QObject* parent)
    : QObject(parent),
      FToggle(std::move(toggle)),
      FClock([] { return QDateTime::currentMSecsSinceEpoch(); }),
      FInterval(QGuiApplication::styleHints()->mouseDoubleClickInterval()) {}

void TKSTrayGesture::Activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick) return;
    const int64_t now = FClock();
    // A click that follows the last toggle within the interval is the rest of the same gesture. Measured
    // from the gesture's first click, so a third click after the interval is a gesture of its own.
    if (FToggled && now - FLastToggle >= 0 && now - FLastToggle <= FInterval) return;
    FToggled = true;
    FLastToggle = now;
    if (FToggle) FToggle();
}

} // namespace kestrum
