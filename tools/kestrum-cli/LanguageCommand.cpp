#include "LanguageCommand.h"

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "desktop/LanguageBroadcast.h"

using namespace kestrum;

namespace {

constexpr int EXIT_OK = 0, EXIT_USAGE = 1, EXIT_NO_DISPLAY = 6;

} // namespace

// The broadcast goes to every root window for the programs listening for property changes there, as a
// registered window message goes to every top-level window: whoever knows the message takes it.
int LanguageCommand(const QStringList& args) {
    bool ok = false;
    const uint id = args.size() == 1 ? args[0].toUInt(&ok) : 0;
    if (!ok || id > 0xFFFF) {
        std::fprintf(stderr, "kestrum-cli: language wants one language number from 0 to 65535, e.g. 1031\n");
        return EXIT_USAGE;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        std::fprintf(stderr, "kestrum-cli: no X display to send to (is DISPLAY set?)\n");
        return EXIT_NO_DISPLAY;
    }
    const char* name = LanguageBroadcastName;
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!reply) {
        xcb_disconnect(c);
        std::fprintf(stderr, "kestrum-cli: the X server refused the message name\n");
        return EXIT_NO_DISPLAY;
    }
    const uint32_t message = reply->atom;
    std::free(reply);
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it)) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = it.data->root;
        event.type = message;
        event.data.data32[0] = 1; // wParam: any value but 0
        event.data.data32[1] = LanguageBroadcastLParam(message, uint16_t(id));
        xcb_send_event(c, 0, it.data->root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char*>(&event));
    }
    // Wait for the server to take the events before the connection goes.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    xcb_disconnect(c);
    std::printf("Language %u announced.\n", id);
    return EXIT_OK;
}
