#pragma once
// A second X client of the test: it plays "another program" that grabs keys and opens windows.
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "desktop/X11Connection.h"
#include "common/QtApp.h"

namespace kestrum::test {

// A QApplication on the X server named by DISPLAY; false (skip the test) when there is none.
inline bool EnsureX11App() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    if (!QCoreApplication::instance()) qputenv("QT_QPA_PLATFORM", "xcb");
    EnsureQtApp();
    return QtX11Connection() != nullptr;
}

// Spins the Qt event loop until `done` answers true or `ms` pass.
inline bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

inline bool Xdotool(const QStringList& args) {
    return QProcess::execute("xdotool", args) == 0;
}

class TXClient {
public:
    xcb_connection_t* C = xcb_connect(nullptr, nullptr);
    xcb_screen_t* Screen = xcb_setup_roots_iterator(xcb_get_setup(C)).data;
    xcb_key_symbols_t* Syms = xcb_key_symbols_alloc(C);

    ~TXClient() {
        xcb_key_symbols_free(Syms);
        xcb_disconnect(C);
    }
    bool Ok() const { return !xcb_connection_has_error(C); }

    // Grabs the key of `keysym` with exactly `mods` on the root window; false on BadAccess.
    bool Grab(uint16_t mods, xcb_keysym_t keysym) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(Syms, keysym);
        xcb_keycode_t code = codes ? codes[0] : 0;
        free(codes);
        auto err = xcb_request_check(
            C, xcb_grab_key_checked(C, 1, Screen->root, mods, code, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        free(err);
        return err == nullptr;
    }
    void Ungrab(uint16_t mods, xcb_keysym_t keysym) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(Syms, keysym);
        if (codes) xcb_ungrab_key(C, codes[0], Screen->root, mods);
        free(codes);
        xcb_flush(C);
    }
    uint16_t PointerMask() {
        auto* r = xcb_query_pointer_reply(C, xcb_query_pointer(C, Screen->root), nullptr);
        uint16_t m = r ? r->mask : 0;
        free(r);
        return m;
    }

    xcb_atom_t Atom(const char* name) {
        auto* r = xcb_intern_atom_reply(C, xcb_intern_atom(C, 0, strlen(name), name), nullptr);
        xcb_atom_t a = r ? r->atom : 0;
        free(r);
        return a;
    }
    void SetAtoms(xcb_window_t w, const char* prop, std::vector<xcb_atom_t> values) {
        xcb_change_property(C, XCB_PROP_MODE_REPLACE, w, Atom(prop), XCB_ATOM_ATOM, 32, values.size(), values.data());
    }

    struct TWindowSpec {
        int X = 0, Y = 0, Width = 100, Height = 100;
        bool FullScreenState = false; // asks the window manager for full-screen
        bool Undecorated = false;     // no frame (Motif hints)
        bool Maximized = false;       // asks the window manager to maximize it
        const char* Type = nullptr;   // _NET_WM_WINDOW_TYPE_*
    };
    // Opens a window as an ordinary program would and returns it once mapped.
    xcb_window_t Open(const TWindowSpec& s) {
        xcb_window_t w = xcb_generate_id(C);
        uint32_t values[] = {Screen->black_pixel};
        xcb_create_window(C, XCB_COPY_FROM_PARENT, w, Screen->root, s.X, s.Y, s.Width, s.Height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, Screen->root_visual, XCB_CW_BACK_PIXEL, values);
        // Position and size chosen by the program (USPosition | USSize | PPosition | PSize).
        uint32_t hints[18] = {1 | 2 | 4 | 8, uint32_t(s.X), uint32_t(s.Y), uint32_t(s.Width), uint32_t(s.Height)};
        xcb_change_property(C, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_NORMAL_HINTS, XCB_ATOM_WM_SIZE_HINTS, 32, 18,
                            hints);
        uint32_t pid = uint32_t(getpid());
        xcb_change_property(C, XCB_PROP_MODE_REPLACE, w, Atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        if (s.FullScreenState) SetAtoms(w, "_NET_WM_STATE", {Atom("_NET_WM_STATE_FULLSCREEN")});
        if (s.Maximized)
            SetAtoms(w, "_NET_WM_STATE", {Atom("_NET_WM_STATE_MAXIMIZED_VERT"), Atom("_NET_WM_STATE_MAXIMIZED_HORZ")});
        if (s.Type) SetAtoms(w, "_NET_WM_WINDOW_TYPE", {Atom(s.Type)});
        if (s.Undecorated) {
            uint32_t motif[5] = {2, 0, 0, 0, 0}; // flags: decorations; decorations: none
            xcb_atom_t a = Atom("_MOTIF_WM_HINTS");
            xcb_change_property(C, XCB_PROP_MODE_REPLACE, w, a, a, 32, 5, motif);
        }
        xcb_map_window(C, w);
        xcb_flush(C);
        return w;
    }
    // Asks the window manager to make the window the active one.
    void Activate(xcb_window_t w) {
        xcb_client_message_event_t ev{};
        ev.response_type = XCB_CLIENT_MESSAGE;
        ev.format = 32;
        ev.window = w;
        ev.type = Atom("_NET_ACTIVE_WINDOW");
        ev.data.data32[0] = 2; // from a pager: obeyed without focus-stealing checks
        ev.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(C, 0, Screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&ev));
        xcb_flush(C);
    }
    void Close(xcb_window_t w) {
        xcb_destroy_window(C, w);
        xcb_flush(C);
    }
};

// Shows the first output, made primary, in a 1024x768 mode while the root window keeps its size, as a
// smaller primary monitor beside empty space would; everything is put back on destruction.
class TSmallPrimary {
public:
    explicit TSmallPrimary(TXClient& x) : X(x) {
        xcb_connection_t* c = X.C;
        auto* r = xcb_randr_get_screen_resources_current_reply(
            c, xcb_randr_get_screen_resources_current(c, X.Screen->root), nullptr);
        if (!r || !r->num_crtcs || !r->num_outputs) {
            free(r);
            return;
        }
        Crtc = xcb_randr_get_screen_resources_current_crtcs(r)[0];
        Output = xcb_randr_get_screen_resources_current_outputs(r)[0];
        free(r);
        auto* ci = xcb_randr_get_crtc_info_reply(c, xcb_randr_get_crtc_info(c, Crtc, XCB_CURRENT_TIME), nullptr);
        if (!ci) return;
        OldMode = ci->mode;
        free(ci);
        auto* p = xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, X.Screen->root), nullptr);
        OldPrimary = p ? p->output : 0;
        free(p);

        xcb_randr_mode_info_t mi{};
        mi.width = 1024, mi.height = 768, mi.dot_clock = 65000000, mi.htotal = 1344, mi.vtotal = 806;
        const char name[] = "kestrum-test-1024x768";
        mi.name_len = sizeof name - 1;
        auto* m =
            xcb_randr_create_mode_reply(c, xcb_randr_create_mode(c, X.Screen->root, mi, mi.name_len, name), nullptr);
        if (!m) return;
        Mode = m->mode;
        free(m);
        xcb_randr_add_output_mode(c, Output, Mode);
        Ok = SetMode(Mode);
        xcb_randr_set_output_primary(c, X.Screen->root, Output);
        xcb_flush(c);
    }
    ~TSmallPrimary() {
        if (!Mode) return;
        if (OldMode) SetMode(OldMode);
        xcb_randr_set_output_primary(X.C, X.Screen->root, OldPrimary);
        free(xcb_request_check(X.C, xcb_randr_delete_output_mode_checked(X.C, Output, Mode)));
        free(xcb_request_check(X.C, xcb_randr_destroy_mode_checked(X.C, Mode)));
    }
    bool Ok = false;

private:
    bool SetMode(xcb_randr_mode_t mode) {
        auto* r =
            xcb_randr_set_crtc_config_reply(X.C,
                                            xcb_randr_set_crtc_config(X.C, Crtc, XCB_CURRENT_TIME, XCB_CURRENT_TIME, 0,
                                                                      0, mode, XCB_RANDR_ROTATION_ROTATE_0, 1, &Output),
                                            nullptr);
        bool ok = r && r->status == XCB_RANDR_SET_CONFIG_SUCCESS;
        free(r);
        return ok;
    }
    TXClient& X;
    xcb_randr_crtc_t Crtc = 0;
    xcb_randr_output_t Output = 0, OldPrimary = 0;
    xcb_randr_mode_t Mode = 0, OldMode = 0;
};

} // namespace kestrum::test
