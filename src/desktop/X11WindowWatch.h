#pragma once
#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

namespace kestrum {

// Tells when the desktop's windows change in a way that may start or end a full-screen program: another
// window becomes the active one, or the active window's state (_NET_WM_STATE) or size changes. Listens on
// Qt's own X connection, so the events arrive on the UI thread; lets every event through.
class TX11WindowWatch final : public QAbstractNativeEventFilter {
public:
    // `connection`: Qt's xcb_connection_t* (nullptr: no X server; the watch then stays inactive).
    TX11WindowWatch(void* connection, std::function<void()> changed);
    ~TX11WindowWatch() override;
    TX11WindowWatch(const TX11WindowWatch&) = delete;
    TX11WindowWatch& operator=(const TX11WindowWatch&) = delete;

    // Whether window changes are reported (an X server with a window manager that publishes the active window).
    bool Active() const { return FActive; }
    // The active window as last reported by the window manager (0: none).
    uint32_t ActiveWindowId() const { return FActiveWindow; }
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void Follow(uint32_t window);
    uint32_t ActiveWindow();

    void* FConn = nullptr;
    std::function<void()> FChanged;
    bool FActive = false;
    uint32_t FRoot = 0, FAtomActive = 0, FAtomState = 0;
    uint32_t FActiveWindow = 0;
    uint32_t FFollowed = 0;     // the active window whose state and size are watched
    uint32_t FFollowedMask = 0; // the events this connection had selected on it before
};

} // namespace kestrum
