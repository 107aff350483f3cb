#include "platform/linux/X11KeyMap.h"

namespace kestrum::platform {

uint32_t VirtualKeyToKeySym(uint8_t vk) {
    if (vk >= '0' && vk <= '9') return vk;                     // XK_0..XK_9
    if (vk >= 'A' && vk <= 'Z') return vk - 'A' + 'a';         // XK_a..XK_z: the keycode is that of the letter key
    if (vk >= 0x60 && vk <= 0x69) return 0xFFB0 + (vk - 0x60); // keypad digits
    if (vk >= 0x70 && vk <= 0x87) return 0xFFBE + (vk - 0x70); // F1..F24
    switch (vk) {
        case 0x08:
            return 0xFF08; // BackSpace
        case 0x09:
            return 0xFF09; // Tab
        case 0x0C:
            return 0xFF0B; // Clear
        case 0x0D:
            return 0xFF0D; // Return
        case 0x10:
            return 0xFFE1; // Shift_L
        case 0x11:
            return 0xFFE3; // Control_L
        case 0x12:
            return 0xFFE9; // Alt_L
        case 0x13:
            return 0xFF13; // Pause
        case 0x14:
            return 0xFFE5; // Caps_Lock
        case 0x1B:
            return 0xFF1B; // Escape
        case 0x20:
            return 0x0020; // space
        case 0x21:
            return 0xFF55; // Prior (Page Up)
        case 0x22:
            return 0xFF56; // Next (Page Down)
        case 0x23:
            return 0xFF57; // End
        case 0x24:
            return 0xFF50; // Home
        case 0x25:
            return 0xFF51; // Left
        case 0x26:
            return 0xFF52; // Up
        case 0x27:
            return 0xFF53; // Right
        case 0x28:
            return 0xFF54; // Down
        case 0x29:
            return 0xFF60; // Select
        case 0x2A:
            return 0xFF61; // Print
        case 0x2B:
            return 0xFF62; // Execute
        case 0x2C:
            return 0xFF61; // Print (Print Screen)
        case 0x2D:
            return 0xFF63; // Insert
        case 0x2E:
            return 0xFFFF; // Delete
        case 0x2F:
            return 0xFF6A; // Help
        case 0x5B:
            return 0xFFEB; // Super_L
        case 0x5C:
            return 0xFFEC; // Super_R
        case 0x5D:
            return 0xFF67; // Menu
        case 0x5F:
            return 0x1008FF2F; // XF86Sleep
        case 0x6A:
            return 0xFFAA; // KP_Multiply
        case 0x6B:
            return 0xFFAB; // KP_Add
        case 0x6C:
            return 0xFFAC; // KP_Separator
        case 0x6D:
            return 0xFFAD; // KP_Subtract
        case 0x6E:
            return 0xFFAE; // KP_Decimal
        case 0x6F:
            return 0xFFAF; // KP_Divide
        case 0x90:
            return 0xFF7F; // Num_Lock
        case 0x91:
            return 0xFF14; // Scroll_Lock
        case 0xA6:
            return 0x1008FF26; // XF86Back
        case 0xA7:
            return 0x1008FF27; // XF86Forward
        case 0xA8:
            return 0x1008FF29; // XF86Refresh
        case 0xA9:
            return 0x1008FF28; // XF86Stop
        case 0xAA:
            return 0x1008FF1B; // XF86Search
        case 0xAB:
            return 0x1008FF30; // XF86Favorites
        case 0xAC:
            return 0x1008FF18; // XF86HomePage
        case 0xAD:
            return 0x1008FF12; // XF86AudioMute
        case 0xAE:
            return 0x1008FF11; // XF86AudioLowerVolume
        case 0xAF:
            return 0x1008FF13; // XF86AudioRaiseVolume
        case 0xB0:
            return 0x1008FF17; // XF86AudioNext
        case 0xB1:
            return 0x1008FF16; // XF86AudioPrev
        case 0xB2:
            return 0x1008FF15; // XF86AudioStop
        case 0xB3:
            return 0x1008FF14; // XF86AudioPlay
        case 0xB4:
            return 0x1008FF19; // XF86Mail
        case 0xB5:
            return 0x1008FF32; // XF86AudioMedia
        case 0xB6:
            return 0x1008FF33; // XF86MyComputer (Launch Application 1)
        case 0xB7:
            return 0x1008FF1D; // XF86Calculator (Launch Application 2)
        case 0xBA:
            return ';';
        case 0xBB:
            return '=';
        case 0xBC:
            return ',';
        case 0xBD:
            return '-';
        case 0xBE:
            return '.';
        case 0xBF:
            return '/';
        case 0xC0:
            return '`';
        case 0xDB:
            return '[';
        case 0xDC:
            return '\\';
        case 0xDD:
            return ']';
        case 0xDE:
            return '\'';
        case 0xE2:
            return '<'; // the extra key beside left Shift on 102-key keyboards
        default:
            return 0;
    }
}

} // namespace kestrum::platform
