#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrum::platform {

// Modifier flags of a grab, the layout the hotkey manager registers with.
enum : uint32_t { HotKeyMod_Alt = 1, HotKeyMod_Control = 2, HotKeyMod_Shift = 4, HotKeyMod_Win = 8 };

// One press of a registered grab: the grab's id and the combination that was pressed.
struct THotKeyPress {
    uint16_t Id = 0;
    uint32_t Modifiers = 0; // HotKeyMod_* flags
    uint8_t VirtualKey = 0; // Windows virtual-key code
    bool operator==(const THotKeyPress&) const = default;
};

// System-wide key grabs. Keys are named by Windows virtual-key codes so the stored hotkey values stay portable.
class IHotKeys {
public:
    virtual ~IHotKeys() = default;
    // A 16-bit id for a name: equal names give the same id while it is held; each AddAtom needs one DeleteAtom.
    // 0 when no id is left.
    virtual uint16_t AddAtom(const std::string& name) = 0;
    virtual void DeleteAtom(uint16_t atom) = 0;
    // Grabs the combination system-wide under `id`. False when the combination is taken (by another program or
    // an earlier grab), the key has no counterpart on this system, or there is no window system; nothing stays
    // grabbed then.
    virtual bool Register(uint16_t id, uint32_t modifiers, uint8_t virtualKey) = 0;
    // Releases every grab made under `id`; false when there was none.
    virtual bool Unregister(uint16_t id) = 0;
    // Looks at one native event of the window-system connection (an xcb_generic_event_t* on X11) and answers
    // the press it is, when it presses a registered grab.
    virtual std::optional<THotKeyPress> TranslateEvent(const void* nativeEvent) = 0;
};

// `connection` is the xcb_connection_t* of the application; nullptr gives grabs that always fail.
std::unique_ptr<IHotKeys> MakeX11HotKeys(void* connection);

} // namespace kestrum::platform
