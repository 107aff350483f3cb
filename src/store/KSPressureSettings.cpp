#include "store/KSPressureSettings.h"

#include <QDir>
#include <QFileInfo>
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

bool SavePressureSettings(const TKSPressureSettings& s, const QString& path) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    TIniFile ini(path);
    auto b = [](bool v) { return v ? u"1"_qs : u"0"_qs; };
    return ini
        .WriteStrings(QString::fromLatin1(KSPressureSection),
                      {{u"AutoFree"_qs, b(s.AutoFree)},
                       {u"FreeLevel"_qs, QString::number(s.FreeLevel)},
                       {u"FreeHoldSeconds"_qs, QString::number(s.FreeHoldSeconds)},
                       {u"Warn"_qs, b(s.Warn)},
                       {u"WarnLevel"_qs, QString::number(s.WarnLevel)}})
        .isEmpty();
}

} // namespace kestrum
