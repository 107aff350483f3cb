#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QWindow>

#include "app/KSCmdLine.h"
#include "app/KSOptimizeFlow.h"
#include "app/frmKSAbout.h"
#include "app/frmKSMain.h"
#include "app/frmKSSettings.h"
#include "common/FakePortal.h"
#include "common/PrivateSessionBus.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "common/Weston.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakePlatform.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"

using namespace kestrum;

namespace {

// One compositor for the whole program: the toolkit connects to a display once.
test::TWeston* Compositor() {
    static test::TWeston* weston = [] {
        auto* w = new test::TWeston;
        if (w->Running()) {
            qputenv("WAYLAND_DISPLAY", w->Socket().toLocal8Bit());
            qputenv("QT_QPA_PLATFORM", "wayland");
        }
        return w;
    }();
    return weston;
}

void Settle(int ms) {
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The pixels of a screenshot that belong to some window, and how many carry the skin's key colour.
struct TShot {
    QRect Windows;
    int KeyColoured = 0;
    QImage Image;
    explicit TShot(QImage image) : Image(std::move(image)) {
        for (int y = 0; y < Image.height(); ++y)
            for (int x = 0; x < Image.width(); ++x) {
                const QRgb p = Image.pixel(x, y) | 0xff000000;
                if (p == test::TWeston::Background) continue;
                Windows |= QRect(x, y, 1, 1);
                if (p == qRgb(255, 0, 255)) ++KeyColoured;
            }
    }
    bool Desktop(int x, int y) const { return (Image.pixel(x, y) | 0xff000000) == test::TWeston::Background; }
};

struct WaylandWindow : ::testing::Test {
    test::TTestHome Home;
    platform::TFakeHandles Fakes;
    platform::TPlatform Plat = platform::MakeFakePlatform(&Fakes);
    TKSSettings Settings;
    std::unique_ptr<TKSLogMgr> History;
    std::unique_ptr<TFormKSMain> Main;
    int Runs = 0;

    void SetUp() override {
        ASSERT_TRUE(Compositor()->Running()) << "weston did not start: " << Compositor()->Log().toStdString();
        test::EnsureQtApp();
        ASSERT_TRUE(QGuiApplication::platformName().startsWith(u"wayland"_qs));
    }
    void Create(QStringList args, bool trayAvailable = false) {
        History = std::make_unique<TKSLogMgr>(Home.Path());
        Main = std::make_unique<TFormKSMain>(Plat, Settings, args);
        Main->SetHistory(History.get());
        Main->SetTrayAvailableProbe([trayAvailable] { return trayAvailable; });
        Main->OptimizeFlow()->SetExecutor([](std::function<void()> work) { work(); });
        Main->OptimizeFlow()->SetRunner([this](const TKSOptimizeFlow::TProgress&) {
            ++Runs;
            return TFreeRunReport{};
        });
        Main->FormCreate();
        Settle(800);
    }
    // Starts with Alt+M as the hotkey, no key grabs to be had, and `bus` as the session bus.
    void CreateWithPortal(const test::TPrivateSessionBus& bus, const QByteArray& moreConfig = {}) {
        const QByteArray previous = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().toLocal8Bit());
        auto* keys = static_cast<platform::TFakeHotKeys*>(Plat.HotKeys.get());
        for (uint32_t m = 0; m < 16; ++m)
            for (int vk = 0; vk < 256; ++vk) keys->Taken.insert({m, uint8_t(vk)});
        QDir().mkpath(Home.File("Config"));
        QFile config(Home.File("Config/Config.ini"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[KESTRUM]\nUseHotKey=1\nHotKeyValue=32845\n" + moreConfig); // Alt+M
        config.close();
        Create({"Kestrum"});
        qputenv("DBUS_SESSION_BUS_ADDRESS", previous);
    }
    void TearDown() override {
        Main.reset();
        History.reset();
        Settle(100);
    }
};

} // namespace

TEST_F(WaylandWindow, CornersAreSeeThroughNotKeyColouredForTheWindowAndItsDialog) {
    Create({"Kestrum"});
    TShot main(Compositor()->Screenshot());
    ASSERT_FALSE(main.Image.isNull());
    ASSERT_EQ(main.Windows.size(), QSize(800, 600)) << "the window is not on screen as a whole";
    EXPECT_EQ(main.KeyColoured, 0);
    // The outermost corner pixels show the desktop through the window; the edges between them do not.
    const QRect r = main.Windows;
    for (QPoint corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
        EXPECT_TRUE(main.Desktop(corner.x(), corner.y())) << corner.x() << "," << corner.y();
    EXPECT_FALSE(main.Desktop(r.center().x(), r.top()));

    // The about box, a child of the main window, is cut the same way.
    TFormKSAbout about(Main.get(), Main->MultiLangs(), *Plat.FileVersion, *Plat.Shell);
    about.show();
    Settle(800);
    TShot both(Compositor()->Screenshot());
    EXPECT_EQ(both.KeyColoured, 0);
    EXPECT_EQ(about.windowHandle()->transientParent(), Main->windowHandle());
}

TEST_F(WaylandWindow, SecondStartShowsTheWindowClosedWithoutATray) {
    Settings.ShowTrayIcon = true;
    Create({"Kestrum"});
    ASSERT_FALSE(TShot(Compositor()->Screenshot()).Windows.isEmpty());
    // × with no notification area minimizes; the compositor then shows nothing of the window.
    Main->close();
    Settle(800);
    EXPECT_TRUE(TShot(Compositor()->Screenshot()).Windows.isEmpty());

    Main->HandOver(EncodeHandOver(THandOver{PopupCodeOptimize, false}), u"token-from-the-launcher"_qs);
    Settle(800);
    TShot back(Compositor()->Screenshot());
    EXPECT_EQ(back.Windows.size(), QSize(800, 600));
    EXPECT_EQ(Main->ActiveTabIndex(), 1);
    EXPECT_FALSE(Main->isMinimized());
}

TEST_F(WaylandWindow, OptimizeSwitchStartsOutOfSightAndWritesAManualRecord) {
    Create({"Kestrum", "-optimize"});
    EXPECT_EQ(Runs, 1);
    QFile day(History->DayFile(QDate::currentDate()));
    ASSERT_TRUE(day.open(QIODevice::ReadOnly));
    EXPECT_TRUE(day.readAll().contains("\"Memory was optimized manually.\""));
    EXPECT_TRUE(TShot(Compositor()->Screenshot()).Windows.isEmpty());
}

// No session grants a key grab here: the status line and the settings dialog say what to bind instead, and
// the dialog still closes with Ok.
TEST_F(WaylandWindow, HotkeyPointsToTheShortcutCommandAndLeavesTheSettingsDialogFree) {
    auto* keys = static_cast<platform::TFakeHotKeys*>(Plat.HotKeys.get());
    for (uint32_t m = 0; m < 16; ++m)
        for (int vk = 0; vk < 256; ++vk) keys->Taken.insert({m, uint8_t(vk)});
    QDir().mkpath(Home.File("Config"));
    QFile config(Home.File("Config/Config.ini"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[KESTRUM]\nUseHotKey=1\nHotKeyValue=32845\n"); // Alt+M
    config.close();
    Create({"Kestrum"});
    EXPECT_TRUE(Main->StartupNotice().contains(u"\"kestrum -optimize\" to Alt+M"_qs))
        << Main->StartupNotice().toStdString();

    TFormKSSettings dialog(Main.get(), Settings, Main->MultiLangs(), Main->ConfigPath());
    dialog.show();
    Settle(800);
    EXPECT_EQ(TShot(Compositor()->Screenshot()).KeyColoured, 0);
    // The body is the dialog's own colour, not a view of whatever lies behind it.
    const QImage own = dialog.grab().toImage();
    EXPECT_EQ(own.pixelColor(20, own.height() / 2), QColor(230, 240, 255));
    dialog.btnOkClick();
    EXPECT_FALSE(dialog.HotKeyFailed());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    auto* label = dialog.findChild<QLabel*>(u"lblHotKey"_qs);
    ASSERT_TRUE(label);
    EXPECT_TRUE(label->text().contains(u"kestrum -optimize"_qs));
    EXPECT_LE(label->geometry().right(), dialog.width());

    // No hotkey wanted any more: the advice leaves the status line.
    dialog.findChild<QCheckBox*>(u"chkHotKey"_qs)->click();
    dialog.btnApplyClick();
    EXPECT_FALSE(Main->StartupNotice().contains(u"kestrum -optimize"_qs)) << Main->StartupNotice().toStdString();
}

// Where the desktop's portal offers global shortcuts it holds the hotkey: its activation frees memory once,
// the status line and the settings dialog name its trigger, and a closed session brings the advice back.
TEST_F(WaylandWindow, ShortcutPortalHoldsTheHotkeyAndItsActivationRunsOnce) {
    test::TPrivateSessionBus bus;
    ASSERT_TRUE(bus.Running());
    test::TFakePortal portal(bus.Connect());
    ASSERT_TRUE(portal.Start());
    portal.ChosenTrigger = u"Alt+M (desktop)"_qs;
    CreateWithPortal(bus);
    auto notice = [&] { return Main->StartupNotice(); };
    EXPECT_TRUE(notice().contains(u"shortcut portal: Alt+M (desktop)"_qs)) << notice().toStdString();
    ASSERT_EQ(portal.BoundShortcuts.size(), 1);
    EXPECT_EQ(portal.BoundShortcuts[0].Properties.value(u"preferred_trigger"_qs).toString(), u"ALT+m"_qs);

    portal.Activate(portal.LastSession, u"optimize"_qs);
    Settle(300);
    EXPECT_EQ(Runs, 1);
    QFile day(History->DayFile(QDate::currentDate()));
    ASSERT_TRUE(day.open(QIODevice::ReadOnly));
    EXPECT_TRUE(day.readAll().contains("\"Memory was optimized manually.\""));

    // The dialog keeps the binding on Ok and says who holds it.
    TFormKSSettings dialog(Main.get(), Settings, Main->MultiLangs(), Main->ConfigPath());
    dialog.show();
    Settle(300);
    dialog.btnOkClick();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(portal.Calls.count(u"BindShortcuts"_qs), 1);
    auto* label = dialog.findChild<QLabel*>(u"lblHotKey"_qs);
    ASSERT_TRUE(label);
    EXPECT_FALSE(label->isHidden());
    EXPECT_TRUE(label->text().contains(u"shortcut portal: Alt+M (desktop)"_qs)) << label->text().toStdString();
    EXPECT_NE(label->palette().color(QPalette::WindowText), QColor(Qt::red)); // no problem to flag

    portal.CloseSession(portal.LastSession);
    Settle(300);
    EXPECT_TRUE(notice().contains(u"kestrum -optimize"_qs)) << notice().toStdString();
    EXPECT_TRUE(label->text().contains(u"kestrum -optimize"_qs)) << label->text().toStdString();
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
    portal.Activate(portal.LastSession, u"optimize"_qs);
    Settle(200);
    EXPECT_EQ(Runs, 1);
}

// A portal of version 2 has a shortcut dialog of its own: the settings dialog offers it for the bound session.
// Version 1 has none, and the button stays away.
TEST_F(WaylandWindow, SettingsOfferTheDesktopsShortcutDialogFromPortalVersionTwo) {
    for (const uint version : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        test::TPrivateSessionBus bus;
        ASSERT_TRUE(bus.Running());
        test::TFakePortal portal(bus.Connect());
        portal.Version = version;
        ASSERT_TRUE(portal.Start());
        CreateWithPortal(bus);
        ASSERT_EQ(portal.Calls.count(u"BindShortcuts"_qs), 1);
        { // the dialog ends before the window that owns it
            TFormKSSettings dialog(Main.get(), Settings, Main->MultiLangs(), Main->ConfigPath());
            dialog.show();
            Settle(200);
            auto* button = dialog.findChild<QPushButton*>(u"btnDesktopShortcut"_qs);
            ASSERT_TRUE(button);
            EXPECT_EQ(button->isVisible(), version >= 2);
            if (version >= 2) {
                EXPECT_FALSE(button->text().isEmpty());
                button->click();
                Settle(300);
                EXPECT_TRUE(portal.Calls.contains(u"ConfigureShortcuts "_qs + portal.LastSession))
                    << portal.Calls.join(u',').toStdString();
                // The session ends: nothing left to configure.
                portal.CloseSession(portal.LastSession);
                Settle(300);
                EXPECT_FALSE(button->isVisible());
            }
        }
        Main.reset();
        Settle(100);
    }
}

// The desktop lists the shortcut under the name in the user's language, not the built-in English.
TEST_F(WaylandWindow, ShortcutPortalGetsTheDescriptionOfTheLoadedLanguage) {
    test::TPrivateSessionBus bus;
    ASSERT_TRUE(bus.Running());
    test::TFakePortal portal(bus.Connect());
    ASSERT_TRUE(portal.Start());
    QDir().mkpath(Home.File("Langs/1031"));
    QFile pack(Home.File("Langs/1031/Kestrum.ini"));
    ASSERT_TRUE(pack.open(QIODevice::WriteOnly));
    pack.write("[LANG_ITEMS]\nString.HotKeyPortalDescription=Speicher jetzt optimieren\n");
    pack.close();
    CreateWithPortal(bus, "[LANGUAGE]\nLanguage=1031\n");
    ASSERT_EQ(portal.BoundShortcuts.size(), 1);
    EXPECT_EQ(portal.BoundShortcuts[0].Properties.value(u"description"_qs).toString(), u"Speicher jetzt optimieren"_qs);
    EXPECT_EQ(portal.Calls.count(u"BindShortcuts"_qs), 1); // bound once, not again after the language came
}
