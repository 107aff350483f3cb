#pragma once
#include <QString>

namespace kestrum {

// The memory-pressure settings, in a section of Config.ini of their own ("PRESSURE") so the program's
// main section keeps its nine keys. Hand-edited values outside their range are brought back into it.
struct TKSPressureSettings {
    bool AutoFree = false;    // free automatically when pressure stays high (key AutoFree)
    int FreeLevel = 10;       // percent of time tasks waited, 10-second average (FreeLevel, 1 … 100)
    int FreeHoldSeconds = 30; // how long it must stay that high (FreeHoldSeconds, 5 … 600)
    bool Warn = true;         // the early warning (Warn)
    int WarnLevel = 10;       // percent, as FreeLevel (WarnLevel, 1 … 100)
};

inline constexpr const char* KSPressureSection = "PRESSURE";

// Defaults, then whatever the file holds; a missing file or section gives the defaults.
TKSPressureSettings LoadPressureSettings(const QString& path);

} // namespace kestrum
