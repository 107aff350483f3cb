#pragma once
#include <QString>
#include <cstdint>

namespace kestrum {

// What the user chose about protection, kept in section PROTECTION of Config.ini beside the program's
// other settings: the selection mode of every run and the switches of the automatic protection.
struct TKSProtectionSettings {
    uint8_t SelectionMode = 3; // 0 all, 1 trim-only list, 2 all but the never-trim list, 3 smart
    bool ProtectGames = true;
    bool ProtectFullScreen = true;
    bool ProtectForeground = true;

    // Missing or unreadable values keep the defaults; a mode out of range gives the smart mode.
    static TKSProtectionSettings Load();
    // One atomic write of the section; false when the file could not be written.
    bool Save() const;
    static QString FileName();
};

} // namespace kestrum
