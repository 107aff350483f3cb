#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/IHotKeys.h"
#include "platform/linux/X11HotKeyAtoms.h"
#include "platform/linux/X11KeyMap.h"

namespace kestrum::platform {

namespace {

// Which modifier bits Alt, the Windows key and NumLock sit on; they depend on the server's modifier map.
struct TModMasks {
    uint16_t Alt = XCB_MOD_MASK_1;
    uint16_t Super = XCB_MOD_MASK_4;
    uint16_t NumLock = XCB_MOD_MASK_2;
};

class TX11HotKeys final : public IHotKeys {
public:
    explicit TX11HotKeys(xcb_connection_t* c) : Conn(c) {
        if (!Conn || xcb_connection_has_error(Conn)) {
            Conn = nullptr;
            return;
        }
        const xcb_setup_t* setup = xcb_get_setup(Conn);
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
        if (!it.rem) {
            Conn = nullptr;
            return;
        }
        Root = it.data->root;
        Syms = xcb_key_symbols_alloc(Conn);
    }
    ~TX11HotKeys() override {
        if (Conn) {
            for (const auto& g : Grabs) Ungrab(g);
            xcb_flush(Conn);
        }
        if (Syms) xcb_key_symbols_free(Syms);
    }

    uint16_t AddAtom(const std::string& name) override { return Atoms.Add(name); }
    void DeleteAtom(uint16_t atom) override { Atoms.Delete(atom); }

    bool Register(uint16_t id, uint32_t modifiers, uint8_t virtualKey) override {
        if (!Conn || !Syms || xcb_connection_has_error(Conn)) return false;
        uint32_t sym = VirtualKeyToKeySym(virtualKey);
        if (!sym) return false;
        TGrab g{id, modifiers, virtualKey, {}, 0};
        if (xcb_keycode_t* codes = xcb_key_symbols_get_keycode(Syms, sym)) {
            for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k)
                if (std::find(g.Codes.begin(), g.Codes.end(), *k) == g.Codes.end()) g.Codes.push_back(*k);
            free(codes);
        }
        if (g.Codes.empty()) return false;
        Masks = ReadModMasks();
        g.XMods = ToXMods(modifiers);
        // The X server lets a client grab the same combination twice; the system-wide rule is one owner.
        for (const auto& o : Grabs)
            if (o.XMods == g.XMods)
                for (auto k : g.Codes)
                    if (std::find(o.Codes.begin(), o.Codes.end(), k) != o.Codes.end()) return false;

        std::vector<xcb_void_cookie_t> cookies;
        for (auto k : g.Codes)
            for (uint16_t lock : LockVariants())
                cookies.push_back(
                    xcb_grab_key_checked(Conn, 1, Root, g.XMods | lock, k, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        bool ok = true;
        for (auto cookie : cookies) {
            // BadAccess: another client holds the combination; any other error refuses it as well.
            if (xcb_generic_error_t* e = xcb_request_check(Conn, cookie)) {
                ok = false;
                free(e);
            }
        }
        if (!ok) {
            // Leave nothing half-grabbed: ungrabbing only ever touches this client's own grabs.
            Ungrab(g);
            return false;
        }
        Grabs.push_back(std::move(g));
        return true;
    }

    bool Unregister(uint16_t id) override {
        bool found = false;
        for (auto it = Grabs.begin(); it != Grabs.end();) {
            if (it->Id == id) {
                if (Conn) Ungrab(*it);
                it = Grabs.erase(it);
                found = true;
            } else {
                ++it;
            }
        }
        return found;
    }

    std::optional<THotKeyPress> TranslateEvent(const void* nativeEvent) override {
        if (!Conn || !nativeEvent) return std::nullopt;
        auto* ev = static_cast<const xcb_generic_event_t*>(nativeEvent);
        uint8_t type = ev->response_type & 0x7F;
        if (type == XCB_MAPPING_NOTIFY) {
            if (Syms) xcb_refresh_keyboard_mapping(Syms, (xcb_mapping_notify_event_t*)ev);
            return std::nullopt;
        }
        if (type != XCB_KEY_PRESS) return std::nullopt;
        auto* kp = reinterpret_cast<const xcb_key_press_event_t*>(ev);
        uint16_t relevant = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | Masks.Alt | Masks.Super;
        for (const auto& g : Grabs)
            if ((kp->state & relevant) == g.XMods &&
                std::find(g.Codes.begin(), g.Codes.end(), kp->detail) != g.Codes.end())
                return THotKeyPress{g.Id, g.Modifiers, g.VirtualKey};
        return std::nullopt;
    }

private:
    struct TGrab {
        uint16_t Id;
        uint32_t Modifiers;
        uint8_t VirtualKey;
        std::vector<xcb_keycode_t> Codes;
        uint16_t XMods;
    };

    uint16_t ToXMods(uint32_t m) const {
        uint16_t x = 0;
        if (m & HotKeyMod_Shift) x |= XCB_MOD_MASK_SHIFT;
        if (m & HotKeyMod_Control) x |= XCB_MOD_MASK_CONTROL;
        if (m & HotKeyMod_Alt) x |= Masks.Alt;
        if (m & HotKeyMod_Win) x |= Masks.Super;
        return x;
    }

    // A press must match with NumLock and CapsLock in either state.
    std::vector<uint16_t> LockVariants() const {
        std::vector<uint16_t> v{0, XCB_MOD_MASK_LOCK};
        if (Masks.NumLock) {
            v.push_back(Masks.NumLock);
            v.push_back(Masks.NumLock | XCB_MOD_MASK_LOCK);
        }
        return v;
    }

    // Waits until the server has released the grabs: another program may take the combination right after.
    void Ungrab(const TGrab& g) {
        xcb_void_cookie_t last{};
        for (auto k : g.Codes)
            for (uint16_t lock : LockVariants()) last = xcb_ungrab_key_checked(Conn, k, Root, g.XMods | lock);
        free(xcb_request_check(Conn, last));
    }

    TModMasks ReadModMasks() {
        TModMasks m;
        xcb_get_modifier_mapping_reply_t* r =
            xcb_get_modifier_mapping_reply(Conn, xcb_get_modifier_mapping(Conn), nullptr);
        if (!r) return m;
        xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(r);
        int per = r->keycodes_per_modifier;
        bool alt = false, super = false, num = false;
        for (int mod = 3; mod < 8; ++mod) { // Mod1..Mod5
            for (int i = 0; i < per; ++i) {
                xcb_keycode_t code = codes[mod * per + i];
                if (!code) continue;
                for (int col = 0; col < 4; ++col) {
                    xcb_keysym_t s = xcb_key_symbols_get_keysym(Syms, code, col);
                    uint16_t bit = static_cast<uint16_t>(1u << mod);
                    if (s == 0xFF7F && !num) m.NumLock = bit, num = true;
                    if ((s == 0xFFE9 || s == 0xFFEA) && !alt) m.Alt = bit, alt = true;
                    if ((s == 0xFFEB || s == 0xFFEC) && !super) m.Super = bit, super = true;
                }
            }
        }
        if (!num) m.NumLock = 0;
        free(r);
        return m;
    }

    xcb_connection_t* Conn = nullptr;
    xcb_window_t Root = 0;
    xcb_key_symbols_t* Syms = nullptr;
    TModMasks Masks;
    TX11HotKeyAtoms Atoms;
    std::vector<TGrab> Grabs;
};

} // namespace

std::unique_ptr<IHotKeys> MakeX11HotKeys(void* connection) {
    return std::make_unique<TX11HotKeys>(static_cast<xcb_connection_t*>(connection));
}

} // namespace kestrum::platform
