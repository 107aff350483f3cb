#include "store/KSSettings.h"

#include <QDir>
#include <QFileInfo>

#include "support/IniFile.h"
#include "support/KSUtils.h"

namespace kestrum {

void ResetSettings(TKSSettings& s) {
    s = TKSSettings{};
}

bool LoadSettings(TKSSettings& s, const QString& path) {
    ResetSettings(s);
    if (!QFileInfo(path).isFile()) return false;
    // One read of the section; each key falls back to its default when missing or unparsable.
    TIniFile ini(path);
    QString section = QString::fromLatin1(KSSettingsSection);
    auto values = ini.ReadSectionValues(section);
    auto text = [&](const char* key) -> QString {
        for (auto& kv : values)
            if (kv.first.compare(QLatin1String(key), Qt::CaseInsensitive) == 0) return kv.second;
        return {};
    };
    auto integer = [&](const char* key, int def) { return ini::ParseInteger(text(key), def); };
    auto boolean = [&](const char* key, bool def) { return integer(key, def ? 1 : 0) != 0; };

    s.Language = integer("Language", s.Language);
    s.AutoStart = boolean("AutoStart", s.AutoStart);
    s.ShowTrayIcon = boolean("ShowTrayIcon", s.ShowTrayIcon);
    s.DynTrayIcon = boolean("DynTrayIcon", s.DynTrayIcon);
    s.UseHotKey = boolean("UseHotKey", s.UseHotKey);
    s.HotKeyValue = static_cast<uint16_t>(integer("HotKeyValue", s.HotKeyValue) & 0xFFFF);
    s.SleepEnabled = boolean("SleepEnabled", s.SleepEnabled);
    s.SleepValue = integer("SleepValue", s.SleepValue);
    s.AntiDisturb = boolean("AntiDisturb", s.AntiDisturb);
    return true;
}

bool SaveSettings(const TKSSettings& s, const QString& path) {
    QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) return false;
    TIniFile ini(path);
    QString section = QString::fromLatin1(KSSettingsSection);
    auto b = [](bool v) { return v ? u"1"_qs : u"0"_qs; };
    const std::pair<const char*, QString> keys[] = {
        {"Language", QString::number(s.Language)},
        {"AutoStart", b(s.AutoStart)},
        {"ShowTrayIcon", b(s.ShowTrayIcon)},
        {"DynTrayIcon", b(s.DynTrayIcon)},
        {"UseHotKey", b(s.UseHotKey)},
        {"HotKeyValue", QString::number(s.HotKeyValue)},
        {"SleepEnabled", b(s.SleepEnabled)},
        {"SleepValue", QString::number(s.SleepValue)},
        {"AntiDisturb", b(s.AntiDisturb)},
    };
    for (auto& [key, value] : keys)
        if (!ini.WriteString(section, QString::fromLatin1(key), value)) return false;
    return true;
}

QString SettingsPath() {
    return GetAppDir() + u"Config/Config.ini"_qs;
}

} // namespace kestrum
