#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/IDesktop.h"

namespace kestrum::platform {

namespace {

template <typename T>
using TReply = std::unique_ptr<T, decltype(&free)>;

template <typename T>
TReply<T> Own(T* p) {
    return TReply<T>(p, &free);
}

// The desktop seen through the window manager's published root properties (EWMH).
class TX11Desktop final : public IDesktop {
public:
    explicit TX11Desktop(xcb_connection_t* c) : Conn(c) {
        if (!Conn || xcb_connection_has_error(Conn)) {
            Conn = nullptr;
            return;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(Conn));
        if (!it.rem) {
            Conn = nullptr;
            return;
        }
        Root = it.data->root;
        const char* names[] = {"_NET_ACTIVE_WINDOW", "_NET_WM_PID", "_NET_WM_WINDOW_TYPE",
                               "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_WINDOW_TYPE_DOCK"};
        xcb_intern_atom_cookie_t cookies[5];
        for (int i = 0; i < 5; ++i) cookies[i] = xcb_intern_atom(Conn, 0, strlen(names[i]), names[i]);
        xcb_atom_t* out[] = {&ActiveWindow, &WmPid, &WindowType, &TypeDesktop, &TypeDock};
        for (int i = 0; i < 5; ++i)
            if (auto r = Own(xcb_intern_atom_reply(Conn, cookies[i], nullptr))) *out[i] = r->atom;
        const xcb_query_extension_reply_t* randr = xcb_get_extension_data(Conn, &xcb_randr_id);
        HasRandr = randr && randr->present;
    }

    TWindowId ForegroundWindow() override {
        if (!Conn || !ActiveWindow) return 0;
        auto v = Property32(Root, ActiveWindow, XCB_ATOM_WINDOW);
        return v.empty() ? 0 : v[0];
    }

    uint32_t WindowProcessId(TWindowId w) override {
        if (!Conn || !w || !WmPid) return 0;
        auto v = Property32(static_cast<xcb_window_t>(w), WmPid, XCB_ATOM_CARDINAL);
        return v.empty() ? 0 : v[0];
    }

    // The client area in root coordinates: the window manager's frame is not part of it, so a decorated
    // maximized window never equals the screen.
    std::optional<TRect> WindowRect(TWindowId w) override {
        if (!Conn || !w) return std::nullopt;
        auto win = static_cast<xcb_window_t>(w);
        auto geo = xcb_get_geometry(Conn, win);
        auto tr = xcb_translate_coordinates(Conn, win, Root, 0, 0);
        auto g = Own(xcb_get_geometry_reply(Conn, geo, nullptr));
        auto t = Own(xcb_translate_coordinates_reply(Conn, tr, nullptr));
        if (!g || !t) return std::nullopt;
        return TRect{t->dst_x, t->dst_y, t->dst_x + g->width, t->dst_y + g->height};
    }

    bool IsShellWindow(TWindowId w) override {
        if (!Conn || !w || !WindowType) return false;
        for (uint32_t type : Property32(static_cast<xcb_window_t>(w), WindowType, XCB_ATOM_ATOM))
            if ((TypeDesktop && type == TypeDesktop) || (TypeDock && type == TypeDock)) return true;
        return false;
    }

    TRect PrimaryScreenRect() override {
        if (!Conn) return {};
        if (HasRandr) {
            auto p = Own(xcb_randr_get_output_primary_reply(Conn, xcb_randr_get_output_primary(Conn, Root), nullptr));
            if (p && p->output) {
                auto o = Own(xcb_randr_get_output_info_reply(
                    Conn, xcb_randr_get_output_info(Conn, p->output, XCB_CURRENT_TIME), nullptr));
                if (o && o->crtc) {
                    auto c = Own(xcb_randr_get_crtc_info_reply(
                        Conn, xcb_randr_get_crtc_info(Conn, o->crtc, XCB_CURRENT_TIME), nullptr));
                    if (c && c->width && c->height) return {c->x, c->y, c->x + c->width, c->y + c->height};
                }
            }
        }
        // No primary output: the whole root window, read now so a resized screen is seen.
        auto g = Own(xcb_get_geometry_reply(Conn, xcb_get_geometry(Conn, Root), nullptr));
        if (!g) return {};
        return {0, 0, g->width, g->height};
    }

private:
    std::vector<uint32_t> Property32(xcb_window_t w, xcb_atom_t prop, xcb_atom_t type) {
        auto r = Own(xcb_get_property_reply(Conn, xcb_get_property(Conn, 0, w, prop, type, 0, 64), nullptr));
        if (!r || r->format != 32 || r->type != type) return {};
        auto* data = static_cast<const uint32_t*>(xcb_get_property_value(r.get()));
        int n = xcb_get_property_value_length(r.get()) / 4;
        return std::vector<uint32_t>(data, data + n);
    }

    xcb_connection_t* Conn = nullptr;
    xcb_window_t Root = 0;
    xcb_atom_t ActiveWindow = 0, WmPid = 0, WindowType = 0, TypeDesktop = 0, TypeDock = 0;
    bool HasRandr = false;
};

} // namespace

std::unique_ptr<IDesktop> MakeX11Desktop(void* connection) {
    return std::make_unique<TX11Desktop>(static_cast<xcb_connection_t*>(connection));
}

} // namespace kestrum::platform
