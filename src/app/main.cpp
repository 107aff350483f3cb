#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFontDatabase>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <cstdio>

#include "app/KSActivationToken.h"
#include "app/KSCmdLine.h"
#include "app/KSDisplayProbe.h"
#include "app/KSSessionEnd.h"
#include "app/KSSingleInst.h"
#include "app/KSTrayRestart.h"
#include "app/frmKSMain.h"
#include "desktop/HotKeyText.h"
#include "desktop/TrayHostWatch.h"
#include "desktop/X11Connection.h"
#include "freeservice/FreeServiceClient.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/Platform.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"
#include "support/KSUtils.h"

using namespace kestrum;

namespace {

QStringList RawArguments(int argc, char* argv[]) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    return args;
}

std::string RuntimeDir() {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty()) dir = QDir::tempPath() + u"/kestrum-"_qs + QString::number(getuid());
    return dir.toStdString();
}

void LoadTahoma() {
    // Debian's fonts-wine ships a Tahoma-compatible face; the windows are laid out for Tahoma 8 pt.
    for (const char* f : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(f));
}

int PlatformMessageBox(void* owner, const QString& text, const QString& caption, unsigned flags, unsigned,
                       const TOrvMultiLangs* langs) {
    QMessageBox box(static_cast<QWidget*>(owner));
    box.setWindowTitle(caption);
    box.setText(text);
    switch (flags & 0xF0) {
        case 0x10:
            box.setIcon(QMessageBox::Critical);
            break;
        case 0x20:
            box.setIcon(QMessageBox::Question);
            break;
        case 0x30:
            box.setIcon(QMessageBox::Warning);
            break;
        case 0x40:
            box.setIcon(QMessageBox::Information);
            break;
    }
    switch (flags & 0x0F) {
        case 4:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case 1:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    // The buttons speak the interface's language, not the toolkit's.
    if (langs) {
        const std::pair<QMessageBox::StandardButton, const char*> names[] = {
            {QMessageBox::Yes, "String.Button.Yes"},
            {QMessageBox::No, "String.Button.No"},
            {QMessageBox::Ok, "String.Button.Ok"},
            {QMessageBox::Cancel, "String.Button.Cancel"}};
        for (const auto& [id, key] : names)
            if (QAbstractButton* b = box.button(id); b && !langs->GetText(QString::fromLatin1(key)).isEmpty())
                b->setText(langs->GetText(QString::fromLatin1(key)));
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return 6;
        case QMessageBox::No:
            return 7;
        case QMessageBox::Cancel:
            return 2;
        default:
            return 1;
    }
}

// The program from the toolkit's start to its end. `restart` is filled when the program is to be executed
// anew (a tray host appeared after the start).
int Run(int argc, char* argv[], const QStringList& args, std::unique_ptr<platform::ISingleInstance> single,
        QStringList& restart) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Kestrum"_qs);
    QApplication::setApplicationDisplayName(u"Kestrum"_qs);
    QApplication::setQuitOnLastWindowClosed(false); // hiding to the tray is not an end
    LoadTahoma();
    InitHotKeyNames();
    // Without the right to trim other processes, freeing runs go to the freeing service.
    SetFreeRunDelegate(std::make_shared<TFreeServiceClient>());

    platform::TLinuxPlatformOptions options;
    options.DataDir = GetAppDir().toStdString();
    options.RuntimeDir = RuntimeDir();
    options.OwnVersion = KESTRUM_FILE_VERSION;
    options.XcbConnection = QtX11Connection();
    platform::TPlatform plat = platform::MakeLinuxPlatform(options);
    plat.SingleInstance = std::move(single);
    TKSSingleInstance instance(*plat.SingleInstance);

    // The history exists before the window and ends after it; each record is appended when it is made.
    std::unique_ptr<TKSLogMgr> history = TKSLogMgr::Create();
    TKSSettings settings;
    // Asked before the window builds its tray icon, the same moment the toolkit asks its own question.
    TTrayHostWatch trayHost(QDBusConnection::sessionBus());
    const bool toolkitSawHost = trayHost.HostRegistered();
    TFormKSMain main(plat, settings, args);
    // A StatusNotifierItem icon is only as present as its host; an XEmbed icon is followed by the toolkit.
    main.SetTrayAvailableProbe([&trayHost, toolkitSawHost] {
        return QSystemTrayIcon::isSystemTrayAvailable() && (!toolkitSawHost || trayHost.HostRegistered());
    });
    // Only where the toolkit saw no host: a new process would otherwise see the same and restart again.
    TKSTrayRestart trayRestart(
        [&] { return !toolkitSawHost && settings.ShowTrayIcon && trayHost.HostRegistered() && !main.InTray(); },
        [&main] { return main.QuietForRestart(); });
    QObject::connect(&trayHost, &TTrayHostWatch::HostChanged, &main, [&main, &trayRestart] {
        main.TrayHostChanged();
        trayRestart.Consider();
    });
    QObject::connect(&trayRestart, &TKSTrayRestart::RestartNow, &main, [&main, &args, &restart] {
        restart = TKSTrayRestart::Arguments(args);
        main.mniTrayIconExitClick();
    });
    SetPlatformMessageBox(
        [&main](void* owner, const QString& text, const QString& caption, unsigned flags, unsigned language) {
            return PlatformMessageBox(owner, text, caption, flags, language, main.MultiLangs());
        });
    main.SetHistory(history.get());
    instance.Listen([&main](long long code) {
        main.HandOver(code, TKSActivationToken::Take(QString::fromStdString(RuntimeDir())));
    });
    // A log-out, SIGTERM or SIGHUP ends the program like the tray's Exit, not like a close to the tray.
    TKSSessionEnd sessionEnd;
    QObject::connect(&sessionEnd, &TKSSessionEnd::EndRequested, &main, &TFormKSMain::mniTrayIconExitClick);
    main.FormCreate();
    int rc = app.exec();
    instance.Release();
    return rc;
}

} // namespace

int main(int argc, char* argv[]) {
    const QStringList args = RawArguments(argc, argv);

    // Single instance first: a second start hands its tab code over and ends before it opens anything.
    // The marker it takes here is kept for the whole run.
    std::unique_ptr<platform::ISingleInstance> single = platform::MakeLinuxSingleInstance(RuntimeDir());
    // A second start also leaves the launcher's activation token, so the running copy may take the focus.
    if (!TKSSingleInstance(*single).Check(EncodeHandOver(HandOverFromArguments(args)), [] {
            TKSActivationToken::Store(QString::fromStdString(RuntimeDir()), TKSActivationToken::FromEnvironment());
        }))
        return 0;

    const TKSDisplayChoice display = TKSDisplayProbe().Choose(QProcessEnvironment::systemEnvironment());
    if (!display.Usable) {
        std::fputs(qPrintable(display.Message), stderr);
        return 2;
    }
    if (!display.Platform.isEmpty()) qputenv("QT_QPA_PLATFORM", display.Platform.toLocal8Bit());
    TKSDisplayProbe::PrepareToolkit();

    QStringList restart;
    const int rc = Run(argc, argv, args, std::move(single), restart);
    // Everything is closed and the marker given up: the new process takes both over.
    if (!restart.isEmpty()) TKSTrayRestart::Exec(restart);
    return rc;
}

