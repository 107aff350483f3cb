#include "app/KSGnomeShortcutOffer.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QStandardPaths>

#include "desktop/GnomeKeybinding.h"
#include "desktop/HotKeyText.h"
#include "i18n/OrvMultiLangs.h"
#include "support/KSUtils.h"

namespace kestrum {

TKSGnomeShortcutOffer::TKSGnomeShortcutOffer(QWidget* dialog, const QRect& geometry, const TOrvMultiLangs* langs)
    : QObject(dialog), FDialog(dialog), FLangs(langs), FButton(new QPushButton(dialog)) {
    FButton->setObjectName(u"btnGnomeShortcut"_qs);
    FButton->setGeometry(geometry);
    FButton->setAutoDefault(false);
    FButton->hide();
    connect(FButton, &QPushButton::clicked, this, [this] { Offer(); });
}

bool TKSGnomeShortcutOffer::OnGnome() {
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':');
    for (const QString& d : desktops)
        if (d.compare(u"GNOME"_qs, Qt::CaseInsensitive) == 0) return true;
    return false;
}

QString TKSGnomeShortcutOffer::Command() {
    const QString installed = QStandardPaths::findExecutable(u"kestrum"_qs);
    const QString program = installed.isEmpty() ? QCoreApplication::applicationFilePath() : installed;
    return (program.contains(u' ') ? u'"' + program + u'"' : program) + u" -optimize"_qs;
}

void TKSGnomeShortcutOffer::Update(bool needed, uint32_t value) {
    FValue = value;
    FButton->setVisible(needed && OnGnome() && !TGnomeKeybinding::ToBinding(value).isEmpty());
}

void TKSGnomeShortcutOffer::ApplyTexts() {
    if (FLangs) FButton->setText(FLangs->GetText(u"FormKSSettings.btnGnomeShortcut.Caption"_qs));
}

bool TKSGnomeShortcutOffer::Offer() {
    const QString binding = TGnomeKeybinding::ToBinding(FValue);
    if (binding.isEmpty() || !FLangs) return false;
    const QString keys = HotKeyToText(FValue, true);
    const QString command = Command();
    const QString caption = FLangs->GetText(u"FormKSSettings.btnGnomeShortcut.Caption"_qs);
    if (ShowMessageBox(FDialog, FLangs->FormatText(u"String.GnomeShortcutAsk"_qs, {keys, command}), caption, 0x24, 0) !=
        6)
        return false;
    QString error;
    const bool ok =
        TGnomeKeybinding().Apply(FLangs->GetText(u"String.HotKeyPortalDescription"_qs), command, binding, &error);
    if (ok)
        ShowMessageBox(FDialog, FLangs->FormatText(u"String.GnomeShortcutAdded"_qs, {keys, command}), caption, 0x40, 0);
    else
        ShowMessageBox(FDialog, FLangs->FormatText(u"String.GnomeShortcutFailed"_qs, {error}), caption, 0x30, 0);
    return ok;
}

} // namespace kestrum
