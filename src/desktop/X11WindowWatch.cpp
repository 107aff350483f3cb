#include "desktop/X11WindowWatch.h"

#include <xcb/xcb.h>
#include <QCoreApplication>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kestrum {

namespace {

xcb_connection_t* Conn(void* c) {
    return static_cast<xcb_connection_t*>(c);
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr), &free);
    return r ? r->atom : 0;
}

// The events this connection selects on `w` now (0 when the window is gone).
uint32_t OwnMask(xcb_connection_t* c, xcb_window_t w) {
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> a(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr), &free);
    return a ? a->your_event_mask : 0;
}

// Selects `mask` on `w`; a window that went away meanwhile is no error worth reporting.
void Select(xcb_connection_t* c, xcb_window_t w, uint32_t mask) {
    const xcb_void_cookie_t cookie = xcb_change_window_attributes_checked(c, w, XCB_CW_EVENT_MASK, &mask);
    xcb_discard_reply(c, cookie.sequence);
}

constexpr uint32_t kFollowMask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;

} // namespace

TX11WindowWatch::TX11WindowWatch(void* connection, std::function<void()> changed)
    : FConn(connection), FChanged(std::move(changed)) {
    xcb_connection_t* c = Conn(FConn);
    if (!c || xcb_connection_has_error(c)) return;
    const xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    if (!it.rem) return;
    FRoot = it.data->root;
    FAtomActive = Atom(c, "_NET_ACTIVE_WINDOW");
    FAtomState = Atom(c, "_NET_WM_STATE");
    if (!FAtomActive) return;
    // Added to what Qt itself selects on the root window, never in its place.
    Select(c, FRoot, OwnMask(c, FRoot) | XCB_EVENT_MASK_PROPERTY_CHANGE);
    xcb_flush(c);
    FActive = true;
    if (auto* app = QCoreApplication::instance()) app->installNativeEventFilter(this);
    FActiveWindow = ActiveWindow();
    Follow(FActiveWindow);
}

TX11WindowWatch::~TX11WindowWatch() {
    if (!FActive) return;
    if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
    Follow(0);
}

uint32_t TX11WindowWatch::ActiveWindow() {
    xcb_connection_t* c = Conn(FConn);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, FRoot, FAtomActive, XCB_ATOM_WINDOW, 0, 1), nullptr), &free);
    if (!r || r->format != 32 || xcb_get_property_value_length(r.get()) < 4) return 0;
    return *static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
}

// Watches the state and size of `window` (0: none) instead of the window watched so far.
void TX11WindowWatch::Follow(uint32_t window) {
    if (window == FFollowed) return;
    xcb_connection_t* c = Conn(FConn);
    // The previous one gets back the events selected on it before (Qt's own, when it is one of ours).
    if (FFollowed) Select(c, FFollowed, FFollowedMask);
    FFollowed = 0;
    if (window && window != FRoot) {
        FFollowedMask = OwnMask(c, window);
        Select(c, window, FFollowedMask | kFollowMask);
        FFollowed = window;
    }
    xcb_flush(c);
}

bool TX11WindowWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* e = static_cast<const xcb_generic_event_t*>(message);
    switch (e->response_type & 0x7f) {
        case XCB_PROPERTY_NOTIFY: {
            const auto* p = static_cast<const xcb_property_notify_event_t*>(message);
            if (p->window == FRoot && p->atom == FAtomActive) {
                FActiveWindow = ActiveWindow();
                Follow(FActiveWindow);
                if (FChanged) FChanged();
            } else if (p->window == FFollowed && FFollowed && p->atom == FAtomState) {
                if (FChanged) FChanged();
            }
            break;
        }
        case XCB_CONFIGURE_NOTIFY: {
            const auto* n = static_cast<const xcb_configure_notify_event_t*>(message);
            if (FFollowed && n->window == FFollowed && FChanged) FChanged();
            break;
        }
        case XCB_DESTROY_NOTIFY: {
            const auto* d = static_cast<const xcb_destroy_notify_event_t*>(message);
            if (FFollowed && d->window == FFollowed) FFollowed = 0;
            break;
        }
        default:
            break;
    }
    return false;
}

} // namespace kestrum
