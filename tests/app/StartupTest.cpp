#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QSystemTrayIcon>

#include <QLabel>
#include <QTemporaryDir>
#include <thread>
#include "app/KSActivationToken.h"
#include "app/KSCmdLine.h"
#include "app/KSDisplayProbe.h"
#include "app/KSSingleInst.h"
#include "desktop/OrvAntiDisturb.h"
#include "app/frmKSMain.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "engine/MemoryOptimize.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeProcesses.h"
#include "skin/OrvImageButton.h"
#include "store/KSSettings.h"
#include "support/IniFile.h"
#include "support/KSUtils.h"

using namespace kestrum;

TEST(CommandLine, ParsePopupCode) {
    struct {
        QStringList args;
        int want;
    } cases[] = {
        {{"k", "-popup", "73826"}, 73826},
        {{"k", "-POPUP", "73825"}, 73825},
        {{"k", "-popup"}, 0},                        // last argument: no code
        {{"k", "-popup", "abc", "-popup", "5"}, 5},  // not a number: the scan goes on
        {{"k", "-popup", "-popup", "73826"}, 73826}, // the next argument is scanned again
        {{"k", "", "-popup", "73826"}, 0},           // the scan ends at the first empty argument
        {{"k", "-popupx", "73826"}, 0},
        {{"k", "-regrun"}, 0},
    };
    for (auto& c : cases) EXPECT_EQ(ParsePopupCode(c.args), c.want) << c.args.join(' ').toStdString();
    EXPECT_EQ(TabIndexForPopupCode(73825), 0);
    EXPECT_EQ(TabIndexForPopupCode(73826), 1);
    EXPECT_EQ(TabIndexForPopupCode(5), -1);
    EXPECT_EQ(TabIndexForPopupCode(0), -1);
}

TEST(CommandLine, HandOverCarriesTheTabCodeAndTheOptimizeRequest) {
    struct {
        QStringList args;
        int code;
        bool optimize;
    } cases[] = {
        {{"k"}, 0, false},
        {{"k", "-popup", "73826"}, 73826, false},
        {{"k", "-OPTIMIZE"}, 0, true},
        {{"k", "-optimize", "-popup", "73825"}, 73825, true},
        {{"k", "-popup", "-5"}, -5, false}, // any code the switch gives travels unchanged
    };
    for (auto& c : cases) {
        const long long message = EncodeHandOver(HandOverFromArguments(c.args));
        const THandOver back = DecodeHandOver(message);
        EXPECT_EQ(back.PopupCode, c.code) << c.args.join(' ').toStdString();
        EXPECT_EQ(back.Optimize, c.optimize) << c.args.join(' ').toStdString();
    }
    // A plain tab code is the same message an older start sends.
    EXPECT_EQ(EncodeHandOver(THandOver{73826, false}), 73826);
}

TEST(SingleInstance, ActivationTokenIsLeftForTheRunningCopyOnce) {
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_TRUE(TKSActivationToken::Store(dir.path(), u"kwin-12_TIME4242"_qs));
    EXPECT_EQ(TKSActivationToken::Take(dir.path()), u"kwin-12_TIME4242"_qs);
    EXPECT_EQ(TKSActivationToken::Take(dir.path()), QString()); // used up
    EXPECT_EQ(TKSActivationToken::StartupIdTime(u"kwin-12_TIME4242"_qs), 4242u);
    EXPECT_EQ(TKSActivationToken::StartupIdTime(u"0123abcd"_qs), 0u);
    // Nothing that is not a token, and nothing in a folder others may enter.
    EXPECT_FALSE(TKSActivationToken::Store(dir.path(), u"two words"_qs));
    EXPECT_FALSE(TKSActivationToken::Store(dir.path(), QString()));
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                          QFileDevice::ReadOther | QFileDevice::ExeOther);
    EXPECT_FALSE(TKSActivationToken::Store(dir.path(), u"abc"_qs));
}

// Which window system start-up asks for, given what answers: a dead one is skipped, none at all is an error.
TEST(CommandLine, DisplayChoiceSkipsWhatDoesNotAnswer) {
    struct {
        const char* display;
        const char* wayland;
        const char* platform;
        bool xUp, waylandUp;
        bool usable;
        const char* chosen;
    } cases[] = {
        {":0", "", "", true, false, true, ""},
        {":0", "wayland-0", "", true, true, true, ""},     // the toolkit's own first choice
        {":0", "wayland-0", "", true, false, true, "xcb"}, // the compositor is gone: X11 instead
        {"", "wayland-0", "", false, false, false, ""},
        {":0", "", "", false, false, false, ""},
        {":0", "", "xcb", false, false, false, ""},                // asked for, and dead
        {":0", "", "offscreen", false, false, true, ""},           // nothing to connect to
        {":0", "wayland-0", "wayland;xcb", true, false, true, ""}, // the user's own list stays as it is
        {"", "", "", false, false, false, ""},
    };
    for (auto& c : cases) {
        TKSDisplayProbe probe;
        probe.X11Reachable = [&](const QString&) { return c.xUp; };
        probe.WaylandReachable = [&](const QString&) { return c.waylandUp; };
        probe.WaylandPluginInstalled = [] { return true; };
        QProcessEnvironment env;
        env.insert("XDG_RUNTIME_DIR", "/run/user/1");
        if (*c.display) env.insert("DISPLAY", c.display);
        if (*c.wayland) env.insert("WAYLAND_DISPLAY", c.wayland);
        if (*c.platform) env.insert("QT_QPA_PLATFORM", c.platform);
        const TKSDisplayChoice choice = probe.Choose(env);
        const std::string what = std::string(c.display) + " " + c.wayland + " " + c.platform;
        EXPECT_EQ(choice.Usable, c.usable) << what;
        EXPECT_EQ(choice.Platform, QString::fromLatin1(c.chosen)) << what;
        if (!c.usable) EXPECT_TRUE(choice.Message.startsWith("Kestrum needs a graphical display")) << what;
    }
    QProcessEnvironment env;
    env.insert("XDG_RUNTIME_DIR", "/run/user/1");
    env.insert("WAYLAND_DISPLAY", "wayland-1");
    EXPECT_EQ(TKSDisplayProbe::WaylandSocketPath(env), "/run/user/1/wayland-1");
    env.insert("WAYLAND_DISPLAY", "/tmp/w/sock");
    EXPECT_EQ(TKSDisplayProbe::WaylandSocketPath(env), "/tmp/w/sock");
}

TEST(SingleInstance, SecondStartHandsItsCodeToTheFirst) {
    auto registry = std::make_shared<platform::TFakeSingleInstance::TRegistry>();
    platform::TFakeSingleInstance a(registry), b(registry);
    TKSSingleInstance first(a), second(b);
    long long got = 0;
    ASSERT_TRUE(first.Check(0));
    first.Listen([&](long long code) { got = code; });
    EXPECT_FALSE(second.Check(73826));
    a.Poll();
    EXPECT_EQ(got, 73826);
    first.Release();
    EXPECT_TRUE(second.Check(0)); // the marker is free again
}

namespace {

struct TMainFixture : ::testing::Test {
    test::TTestHome Home;
    platform::TFakeHandles Fakes;
    platform::TPlatform Plat = platform::MakeFakePlatform(&Fakes);
    TKSSettings Settings;

    void SetUp() override { test::EnsureQtApp(); }

    void WriteConfig(const QByteArray& text) {
        QDir().mkpath(Home.File("Config"));
        QFile f(Home.File("Config/Config.ini"));
        f.open(QIODevice::WriteOnly);
        f.write(text);
    }
};

} // namespace

TEST_F(TMainFixture, CreationAppliesSettingsLanguageAndPopupTab) {
    WriteConfig("[LANGUAGE]\nLanguage=1031\n[KESTRUM]\nShowTrayIcon=0\nDynTrayIcon=0\n");
    TFormKSMain w(Plat, Settings, {"Kestrum", "-popup", "73826"});
    w.FormCreate();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.size(), QSize(800, 600));
    EXPECT_EQ(w.ActiveTabIndex(), 1);
    EXPECT_FALSE(Settings.ShowTrayIcon);
    EXPECT_FALSE(w.TrayIcon()->isVisible());
    EXPECT_EQ(w.TrayPictureIndex(), 0);
    EXPECT_EQ(w.LanguageId(), 1031);
    EXPECT_EQ(w.LanguagePackPath(), Home.File("Langs/1031/Kestrum.ini"));
    // Shown: the program's own working set is trimmed once the window has painted, not before (the first
    // paint would fault the pages straight back), and not on the window's thread (a page-out to a disk takes
    // a tenth of a second and more).
    EXPECT_TRUE(Fakes.Processes->TrimmedSoFar().empty());
    QDeadlineTimer deadline(5000);
    while (Fakes.Processes->TrimmedSoFar().empty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(Fakes.Processes->TrimmedSoFar(), std::vector<uint32_t>{Fakes.Processes->OwnId});
    ASSERT_EQ(Fakes.Processes->TrimThreads.size(), 1u); // written with Trimmed, under the same lock
    EXPECT_NE(Fakes.Processes->TrimThreads[0], std::this_thread::get_id());
}

TEST_F(TMainFixture, GarbageConfigStartsWithDefaults) {
    WriteConfig(
        "[KESTRUM]\nAutoStart=\xff\xfe "
        "junk\nShowTrayIcon=maybe\nHotKeyValue=0xZZ\nSleepValue=1e9\n[LANGUAGE]\nLanguage=x\n");
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    EXPECT_TRUE(Settings.AutoStart);
    EXPECT_TRUE(Settings.ShowTrayIcon);
    EXPECT_EQ(Settings.HotKeyValue, 32845);
    EXPECT_EQ(Settings.SleepValue, 30);
    EXPECT_EQ(w.LanguageId(), 0);
    EXPECT_EQ(w.ActiveTabIndex(), 0);
}

TEST_F(TMainFixture, UnusableConfigIsSaidInTheStatusLineAndLeftAlone) {
    QDir().mkpath(Home.File("Config/Config.ini")); // a folder where the file should be
    TFormKSMain w(Plat, Settings, {"Kestrum", "-regrun"});
    w.FormCreate();
    QCoreApplication::processEvents();
    const QString status = w.findChild<QLabel*>("lblStatusInfo")->text();
    EXPECT_TRUE(status.contains("Config.ini")) << status.toStdString();
    EXPECT_EQ(Settings.SleepValue, 30); // the defaults
    EXPECT_TRUE(QFileInfo(Home.File("Config/Config.ini")).isDir());
}

TEST_F(TMainFixture, ARegrunSaveThatFailsIsSaidWithoutALanguagePack) {
    // Nothing to read (no file), but the folder cannot be made: a file sits where it should be.
    QFile blocker(Home.File("Config"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TFormKSMain w(Plat, Settings, {"Kestrum", "-regrun"});
    w.FormCreate();
    QCoreApplication::processEvents();
    ASSERT_FALSE(QFileInfo::exists(Home.File("Langs")));
    const QString status = w.findChild<QLabel*>("lblStatusInfo")->text();
    EXPECT_TRUE(status.contains("Settings file unusable")) << status.toStdString();
    EXPECT_TRUE(Settings.AutoStart); // the in-memory record keeps the new values
}

TEST_F(TMainFixture, RegrunWritesAllNineKeysWithTrayAndAutoStartOn) {
    WriteConfig("[KESTRUM]\nShowTrayIcon=0\nAutoStart=0\n");
    TFormKSMain w(Plat, Settings, {"Kestrum", "-REGRUN"});
    w.FormCreate();
    TIniFile ini(Home.File("Config/Config.ini"));
    EXPECT_EQ(ini.ReadSection("KESTRUM"),
              (QStringList{"ShowTrayIcon", "AutoStart", "Language", "DynTrayIcon", "UseHotKey", "HotKeyValue",
                           "SleepEnabled", "SleepValue", "AntiDisturb"}));
    EXPECT_EQ(ini.ReadString("KESTRUM", "ShowTrayIcon", ""), "1");
    EXPECT_EQ(ini.ReadString("KESTRUM", "AutoStart", ""), "1");
}

TEST_F(TMainFixture, CloseHidesWithTrayIconAndEndsWithout) {
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.SetTrayAvailableProbe([] { return true; });
    w.FormCreate();
    ASSERT_TRUE(Settings.ShowTrayIcon);
    QCloseEvent hideIt;
    QCoreApplication::sendEvent(&w, &hideIt);
    EXPECT_FALSE(hideIt.isAccepted());
    EXPECT_FALSE(w.isVisible());

    w.mniTrayIconShowHideClick(); // comes back
    EXPECT_TRUE(w.isVisible());
    w.mniTrayIconShowHideClick(); // and goes again
    EXPECT_FALSE(w.isVisible());
    w.HandOver(73825); // a second start brings it forward
    EXPECT_TRUE(w.isVisible());

    Settings.ShowTrayIcon = false;
    QCloseEvent endIt;
    QCoreApplication::sendEvent(&w, &endIt);
    EXPECT_TRUE(endIt.isAccepted());
}

TEST_F(TMainFixture, ExitFromTrayClosesEvenWithTrayIcon) {
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    w.mniTrayIconExitClick();
    EXPECT_TRUE(w.ExitRequested());
    EXPECT_FALSE(w.isVisible());
}

TEST_F(TMainFixture, AutostartWithTrayIconStaysInTheTray) {
    TFormKSMain w(Plat, Settings, {"Kestrum", "-autostart"});
    w.SetTrayAvailableProbe([] { return true; });
    w.FormCreate();
    EXPECT_FALSE(w.isVisible());
    Settings.ShowTrayIcon = false;
    WriteConfig("[KESTRUM]\nShowTrayIcon=0\n");
    TFormKSMain v(Plat, Settings, {"Kestrum", "-autostart"});
    v.FormCreate();
    EXPECT_TRUE(v.isVisible());
    EXPECT_TRUE(v.isMinimized());
}

TEST_F(TMainFixture, UpgradeOfferOnlyWhenTheUpdaterExists) {
    int asked = 0;
    SetMessageBoxHook([&](void*, const QString&, const QString&, unsigned, unsigned) { return ++asked, 6; });
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    QCoreApplication::processEvents();
    SetMessageBoxHook({});
    // The test program's folder has no updater: nobody is asked and nothing is started.
    ASSERT_FALSE(QFile::exists(GetProgramDir() + "Fetchup"));
    EXPECT_EQ(asked, 0);
    for (const std::string& line : Fakes.Shell->Launched) // only the auto-start launcher ran
        EXPECT_EQ(line.find("Fetchup"), std::string::npos) << line;
}

TEST_F(TMainFixture, PartsMeetInTheCreationSequence) {
    // The shipped German pack, the hotkey and the do-not-disturb switch from the settings.
    QDir().mkpath(Home.File("Langs/1031"));
    ASSERT_TRUE(QFile::copy(KESTRUM_SOURCE_DIR "/Langs/1031/Kestrum.ini", Home.File("Langs/1031/Kestrum.ini")));
    WriteConfig("[LANGUAGE]\nLanguage=1031\n[KESTRUM]\nUseHotKey=1\nHotKeyValue=32845\nAntiDisturb=0\n");
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    EXPECT_EQ(w.findChild<TOrvImageButton*>("btnTabOptimize")->Caption(), "Optimieren");
    EXPECT_TRUE(w.findChild<QLabel*>("lblStatusVersion")->text().contains("1.2.3.4"));
    auto* keys = static_cast<platform::TFakeHotKeys*>(Plat.HotKeys.get());
    ASSERT_EQ(keys->Grabs.size(), 1u);
    EXPECT_EQ(keys->Grabs[0].VirtualKey, 'M');
    EXPECT_FALSE(w.AntiDisturb()->Enabled());
    EXPECT_EQ(w.KSCore()->SelectionMode(), TMemoryOptimize::MODE_SMART);
}

TEST_F(TMainFixture, EnglishDefaultsWithoutAPack) {
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    EXPECT_EQ(w.findChild<TOrvImageButton*>("btnTabOverview")->Caption(), "Usage");
    EXPECT_EQ(w.findChild<QLabel*>("lblStatusVersion")->text(), "Kestrum Version: 1.2.3.4");
    EXPECT_TRUE(static_cast<platform::TFakeHotKeys*>(Plat.HotKeys.get())->Grabs.empty());
    EXPECT_TRUE(w.AntiDisturb()->Enabled());
}

// The toolkit is told to send the window's changes in the requests, unless the user already chose either way.
TEST(DisplayProbe, PrepareToolkitKeepsTheUsersChoice) {
    const QByteArray saved = qgetenv("QT_XCB_NO_MITSHM");
    const bool wasSet = qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM");
    for (const char* users : {static_cast<const char*>(nullptr), "0", ""}) {
        if (users)
            qputenv("QT_XCB_NO_MITSHM", users);
        else
            qunsetenv("QT_XCB_NO_MITSHM");
        kestrum::TKSDisplayProbe::PrepareToolkit();
        EXPECT_EQ(qgetenv("QT_XCB_NO_MITSHM"), QByteArray(users ? users : "1"));
    }
    if (wasSet)
        qputenv("QT_XCB_NO_MITSHM", saved);
    else
        qunsetenv("QT_XCB_NO_MITSHM");
}
