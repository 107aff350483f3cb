#include "store/KSSettings.h"

#include <QDir>
#include <QFileInfo>

#include "support/DataFolder.h"
#include "support/IniFile.h"
#include "support/KSUtils.h"

namespace kestrum {

void ResetSettings(TKSSettings& s) {
    s = TKSSettings{};
}

namespace {

TSettingsResult Failure(const QString& why, const char* consequence) {
    return {TSettingsResult::Failed,
            QStringLiteral("Settings file unusable: %1; %2.").arg(why, QString::fromLatin1(consequence))};
}

} // namespace

TSettingsResult LoadSettings(TKSSettings& s, const QString& path) {
    ResetSettings(s);
    if (const QString why = DataPathProblem(path); !why.isEmpty())
        return Failure(why, "running on the default settings, the file is left as it is");
    TIniFile ini(path);
    if (const QString problem = ini.Problem(); !problem.isEmpty())
        return Failure(problem, "running on the default settings, the file is left as it is");
    if (!ini.Exists()) return {TSettingsResult::Missing, {}};
    // One read of the section; each key falls back to its default when missing or unparsable.
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
    return {};
}

TSettingsResult SaveSettings(const TKSSettings& s, const QString& path) {
    QString folder = QFileInfo(path).absolutePath();
    if (const QString why = DataPathProblem(path); !why.isEmpty()) return Failure(why, "the settings are not saved");
    if (!QDir().mkpath(folder))
        return Failure(QStringLiteral("the folder %1 cannot be made").arg(folder), "the settings are not saved");
    TIniFile ini(path);
    QString section = QString::fromLatin1(KSSettingsSection);
    auto b = [](bool v) { return v ? u"1"_qs : u"0"_qs; };
    const std::vector<std::pair<QString, QString>> keys = {
        {u"Language"_qs, QString::number(s.Language)},
        {u"AutoStart"_qs, b(s.AutoStart)},
        {u"ShowTrayIcon"_qs, b(s.ShowTrayIcon)},
        {u"DynTrayIcon"_qs, b(s.DynTrayIcon)},
        {u"UseHotKey"_qs, b(s.UseHotKey)},
        {u"HotKeyValue"_qs, QString::number(s.HotKeyValue)},
        {u"SleepEnabled"_qs, b(s.SleepEnabled)},
        {u"SleepValue"_qs, QString::number(s.SleepValue)},
        {u"AntiDisturb"_qs, b(s.AntiDisturb)},
    };
    // One replacement of the whole file: a crash mid-save leaves the old settings or the new, never a mix.
    if (const QString problem = ini.WriteStrings(section, keys); !problem.isEmpty())
        return Failure(problem, "the settings are not saved");
    return {};
}

QString SettingsPath() {
    return GetAppDir() + u"Config/Config.ini"_qs;
}

} // namespace kestrum
