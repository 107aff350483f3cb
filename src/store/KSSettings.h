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

// Puts the defaults into the record.
void ResetSettings(TKSSettings& settings);
// Defaults, then the file's values; true when the file existed.
bool LoadSettings(TKSSettings& settings, const QString& path);
// Writes all nine keys in their order; false when the folder or a key could not be written.
bool SaveSettings(const TKSSettings& settings, const QString& path);
// GetAppDir() + "Config/Config.ini".
QString SettingsPath();

} // namespace kestrum
