#pragma once
#include <QString>
#include <cstdint>

namespace kestrum {

// Hotkey value: bits 0-7 virtual-key code, 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt, 0x10000 Win.
enum : uint32_t { HotKey_Shift = 0x2000, HotKey_Ctrl = 0x4000, HotKey_Alt = 0x8000, HotKey_Win = 0x10000 };

struct TSplitHotKey {
    uint32_t Modifiers = 0; // platform::HotKeyMod_* flags (Alt 1, Control 2, Shift 4, Win 8)
    uint8_t VirtualKey = 0;
    bool operator==(const TSplitHotKey&) const = default;
};

TSplitHotKey SplitHotKey(uint32_t value);
// The value of a pressed combination: the modifier flags turned back into value bits, plus the key code.
uint32_t JoinHotKey(uint32_t modifiers, uint8_t virtualKey);

bool IsMediaKey(uint32_t virtualKey);
// The fixed English name of a media key; empty for other codes.
QString MediaKeyName(uint32_t virtualKey);

// Display text such as Ctrl+Alt+M: modifiers in the order Ctrl, Shift, Alt, Win, each followed by "+".
// Localized text uses the unit's modifier names and the current language's key names; otherwise fixed
// US English names.
QString HotKeyToText(uint32_t value, bool localized);

// Sets the unit's localized modifier names (the Win name follows the capitalization of the Alt name).
void SetHotKeyModifierNames(const QString& shift, const QString& ctrl, const QString& alt);
// Fills the localized modifier names from the application's loaded translations; call once at start-up.
void InitHotKeyNames();

} // namespace kestrum
