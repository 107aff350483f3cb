#include "store/KSProtectionSettings.h"

#include <QDir>
#include <QFileInfo>

#include "support/IniFile.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {
const QString kSection = QStringLiteral("PROTECTION");
}

QString TKSProtectionSettings::FileName() {
    return GetAppDir() + QStringLiteral("Config/Config.ini");
}

TKSProtectionSettings TKSProtectionSettings::Load() {
    TKSProtectionSettings s;
    const TIniFile ini(FileName());
    const int mode = ini.ReadInteger(kSection, QStringLiteral("SelectionMode"), s.SelectionMode);
    s.SelectionMode = mode >= 0 && mode <= 3 ? static_cast<uint8_t>(mode) : 3;
    s.ProtectGames = ini.ReadBool(kSection, QStringLiteral("ProtectGames"), s.ProtectGames);
    s.ProtectFullScreen = ini.ReadBool(kSection, QStringLiteral("ProtectFullScreen"), s.ProtectFullScreen);
    s.ProtectForeground = ini.ReadBool(kSection, QStringLiteral("ProtectForeground"), s.ProtectForeground);
    return s;
}

bool TKSProtectionSettings::Save() const {
    QDir().mkpath(QFileInfo(FileName()).path());
    auto b = [](bool v) { return v ? QStringLiteral("1") : QStringLiteral("0"); };
    TIniFile ini(FileName());
    return ini
        .WriteStrings(kSection, {{QStringLiteral("SelectionMode"), QString::number(SelectionMode)},
                                 {QStringLiteral("ProtectGames"), b(ProtectGames)},
                                 {QStringLiteral("ProtectFullScreen"), b(ProtectFullScreen)},
                                 {QStringLiteral("ProtectForeground"), b(ProtectForeground)}})
        .isEmpty();
}

} // namespace kestrum
