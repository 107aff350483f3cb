#pragma once
#include <QString>
#include <cstdint>

namespace kestrum {

// The nine settings of the program's own section of Config.ini. One record lives as long as the program;
// the main window and the settings dialog read and assign its fields directly.
struct TKSSettings {
    int32_t Language = -1; // kept for the file format only
    bool AutoStart = true;
    bool ShowTrayIcon = true;
    bool DynTrayIcon = true;
    bool UseHotKey = false;
    uint16_t HotKeyValue = 32845; // Alt+M
    bool SleepEnabled = true;
    int32_t SleepValue = 30; // minutes between background optimizations; -1 removes the spacing
    bool AntiDisturb = true;
};

inline constexpr const char* KSSettingsSection = "KESTRUM";

// What became of a load or a save. True only for Ok: a missing file is no error but reads as false.
struct TSettingsResult {
    enum TState {
        Ok,
        Missing, // no file yet: the defaults, nothing to say
        Failed,  // the file cannot be used (read or written); Message says why, for the user
    };
    TState State = Ok;
    QString Message;
    explicit operator bool() const { return State == Ok; }
};

// Puts the defaults into the record.
void ResetSettings(TKSSettings& settings);
// Defaults, then the file's values; Ok when the file existed and was read. A file that is there but cannot
// be read leaves the defaults and gives Failed with the reason.
TSettingsResult LoadSettings(TKSSettings& settings, const QString& path);
// Writes all nine keys in their order in one replacement of the file, keeping every other line: the file
// holds either the old or the new settings, never a mix. Failed (and nothing written) when the folder cannot
// be made, the file cannot be written, or a file is there that cannot be read.
TSettingsResult SaveSettings(const TKSSettings& settings, const QString& path);
// GetAppDir() + "Config/Config.ini".
QString SettingsPath();

} // namespace kestrum
