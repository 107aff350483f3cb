// libFuzzer target for the settings file: any Config.ini loads; saving the record and loading again gives
// the same record, and every other section of the file reads as before.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "store/KSSettings.h"
#include "support/IniFile.h"

using namespace kestrum;

namespace {

bool Same(const TKSSettings& a, const TKSSettings& b) {
    return a.Language == b.Language && a.AutoStart == b.AutoStart && a.ShowTrayIcon == b.ShowTrayIcon &&
           a.DynTrayIcon == b.DynTrayIcon && a.UseHotKey == b.UseHotKey && a.HotKeyValue == b.HotKeyValue &&
           a.SleepEnabled == b.SleepEnabled && a.SleepValue == b.SleepValue && a.AntiDisturb == b.AntiDisturb;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const QString path = fuzz::Folder() + QStringLiteral("Config/Config.ini");
    fuzz::WriteFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    TKSSettings loaded;
    fuzz::Check(bool(LoadSettings(loaded, path)));
    TIniFile ini(path);
    const int language = ini.ReadInteger(u"LANGUAGE"_qs, u"Language"_qs, 0);
    fuzz::Check(bool(SaveSettings(loaded, path)));
    TKSSettings again;
    again.SleepValue = 12345;
    fuzz::Check(bool(LoadSettings(again, path)));
    fuzz::Check(Same(loaded, again));
    fuzz::Check(ini.ReadInteger(u"LANGUAGE"_qs, u"Language"_qs, 0) == language);
    return 0;
}
