#pragma once
#include <QObject>
#include <QSystemTrayIcon>
#include <cstdint>
#include <functional>

namespace kestrum {

// Turns the tray icon's activations into one Show/Hide per gesture. Tray hosts report a double click
// differently: the XEmbed icon sends a Trigger for the first press (and, with Qt 6, for the second one
// too) before its DoubleClick, while a StatusNotifierItem host sends Activate (Trigger) per click and has
// no double click at all. So the first Trigger or DoubleClick toggles at once, and whatever else arrives
// within the double-click interval after it belongs to the same gesture.
class TKSTrayGesture : public QObject {
    Q_OBJECT
public:
    // `toggle` shows or hides the window; `clock` gives milliseconds (tests step it by hand).
    TKSTrayGesture(std::function<void()> toggle, QObject* parent = nullptr);

    void SetClock(std::function<int64_t()> clock) { FClock = std::move(clock); }
    // The interval that joins clicks into one gesture (the desktop's double-click interval by default).
    void SetInterval(int ms) { FInterval = ms; }
    int Interval() const { return FInterval; }

    // Connect to QSystemTrayIcon::activated.
    void Activated(QSystemTrayIcon::ActivationReason reason);

private:
    std::function<void()> FToggle;
    std::function<int64_t()> FClock;
    int FInterval;
    int64_t FLastToggle = 0;
    bool FToggled = false;
};

} // namespace kestrum
