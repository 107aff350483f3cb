#include "store/KSPressureSettings.h"

#include <algorithm>

#include "support/IniFile.h"

namespace kestrum {

TKSPressureSettings LoadPressureSettings(const QString& path) {
    TKSPressureSettings s;
    TIniFile ini(path);
    const QString section = QString::fromLatin1(KSPressureSection);
    if (!ini.SectionExists(section)) return s;
    auto integer = [&](const char* key, int def, int lo, int hi) {
        return std::clamp(ini.ReadInteger(section, QLatin1String(key), def), lo, hi);
    };
    s.AutoFree = ini.ReadInteger(section, u"AutoFree"_qs, 0) != 0;
    s.FreeLevel = integer("FreeLevel", s.FreeLevel, 1, 100);
    s.FreeHoldSeconds = integer("FreeHoldSeconds", s.FreeHoldSeconds, 5, 600);
    s.Warn = ini.ReadInteger(section, u"Warn"_qs, 1) != 0;
    s.WarnLevel = integer("WarnLevel", s.WarnLevel, 1, 100);
    return s;
}

} // namespace kestrum
