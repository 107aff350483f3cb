#include "desktop/X11LanguageBroadcast.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>

#include "desktop/LanguageBroadcast.h"

namespace kestrum {

namespace {

uint32_t InternAtom(xcb_connection_t* c, const char* name) {
    auto cookie = xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply) return 0;
    const uint32_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// The broadcast is sent to the root windows for property-change listeners; add that interest to what this
// connection already selects there (Qt's own selection must stay).
void ListenOnRoots(xcb_connection_t* c) {
    constexpr uint32_t wanted = XCB_EVENT_MASK_PROPERTY_CHANGE;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it)) {
        const xcb_window_t root = it.data->root;
        xcb_get_window_attributes_reply_t* attrs =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr);
        const uint32_t mask = attrs ? attrs->your_event_mask : 0;
        std::free(attrs);
        if ((mask & wanted) == wanted) continue;
        const uint32_t values[] = {mask | wanted};
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, values);
    }
    xcb_flush(c);
}

} // namespace

TX11LanguageBroadcast::TX11LanguageBroadcast(void* connection, TOnMessage onMessage)
    : FOnMessage(std::move(onMessage)) {
    auto* c = static_cast<xcb_connection_t*>(connection);
    if (!c || xcb_connection_has_error(c)) return;
    FAtom = InternAtom(c, LanguageBroadcastName);
    if (!FAtom) return;
    ListenOnRoots(c);
    if (auto* app = QCoreApplication::instance()) {
        app->installNativeEventFilter(this);
        FInstalled = true;
    }
}

TX11LanguageBroadcast::~TX11LanguageBroadcast() {
    if (!FInstalled) return;
    if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
}

bool TX11LanguageBroadcast::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || !message) return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    // The high bit marks an event another client sent, which a broadcast always is.
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
    auto* cm = reinterpret_cast<xcb_client_message_event_t*>(event);
    if (cm->type != FAtom || cm->format != 32) return false;
    if (FOnMessage) FOnMessage(cm->type, cm->data.data32[0], cm->data.data32[1]);
    return true;
}

} // namespace kestrum
