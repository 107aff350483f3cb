// The settings dialog on a real X server: real key grabs against another X client, and a user's clicks
// and keys from xdotool.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QSystemTrayIcon>

#include "app/KSHotKeyEdit.h"
#include "app/KSOptimizeFlow.h"
#include "app/frmKSAbout.h"
#include "app/frmKSSettings.h"
#include "common/DialogFixture.h"
#include "desktop/OrvAntiDisturb.h"
#include "gui_x11/XClient.h"
#include "platform/IHotKeys.h"
#include "skin/OrvImageButton.h"

using namespace kestrum;
using test::WaitFor;
using test::Xdotool;

namespace {

constexpr uint16_t XCtrl = XCB_MOD_MASK_CONTROL, XAlt = XCB_MOD_MASK_1;

struct SettingsOnX : test::TDialogFixture {
    std::unique_ptr<TFormKSMain> Main;

    void SetUp() override {
        if (!test::EnsureX11App()) GTEST_SKIP() << "no X server (DISPLAY)";
        Plat.HotKeys = platform::MakeX11HotKeys(QtX11Connection());
    }
    void Start() {
        Main = std::make_unique<TFormKSMain>(Plat, Settings, QStringList{"Kestrum"});
        Main->SetTrayAvailableProbe([] { return true; }); // a notification area to hide in
        Main->FormCreate();
        WaitFor([&] { return Main->isVisible(); });
    }
    // Runs `steps` inside the dialog's modal loop once it is on screen and active.
    void WithOpenDialog(std::function<void(TFormKSSettings&)> steps) {
        test::WhenReady(
            [&] {
                TFormKSSettings* d = Main->FormSettings();
                return d && d->isVisible() && d->isActiveWindow();
            },
            [&, steps] { steps(*Main->FormSettings()); });
        Main->SettingsCommand();
    }
    // On the widget's centre; on its box for a check box (only the box and its text take clicks).
    static bool ClickOn(QWidget* w) {
        const QPoint local = qobject_cast<QCheckBox*>(w) ? QPoint(7, w->height() / 2) : w->rect().center();
        const QPoint p = w->mapToGlobal(local);
        return Xdotool({"mousemove", "--sync", QString::number(p.x()), QString::number(p.y())}) &&
               Xdotool({"click", "1"});
    }
};

} // namespace

TEST_F(SettingsOnX, HotKeyHeldByAnotherClientShowsTheLabelAndCancelLeavesNoKey) {
    WriteConfig("[KESTRUM]\nUseHotKey=1\nHotKeyValue=32845\n");
    Start();
    test::TXClient other;
    ASSERT_TRUE(other.Ok());
    ASSERT_FALSE(other.Grab(XAlt, 'm')); // ours since start-up
    bool labelShown = false, stayedOpen = false, closed = false;
    WithOpenDialog([&](TFormKSSettings& d) {
        auto* edit = d.findChild<TKSHotKeyEdit*>("hkHotKey");
        edit->setFocus();
        WaitFor([&] { return edit->hasFocus(); });
        ASSERT_TRUE(Xdotool({"key", "--clearmodifiers", "ctrl+alt+k"}));
        ASSERT_TRUE(WaitFor([&] { return edit->HotKey() == (0xC000 | 'K'); })) << edit->HotKey();
        ASSERT_TRUE(other.Grab(XCtrl | XAlt, 'k')); // another program takes it first
        ASSERT_TRUE(ClickOn(d.findChild<TOrvImageButton*>("btnOk")));
        labelShown = WaitFor([&] { return d.findChild<QLabel*>("lblHotKey")->isVisible(); });
        WaitFor([] { return false; }, 200);
        stayedOpen = d.isVisible();
        ASSERT_TRUE(ClickOn(d.findChild<TOrvImageButton*>("btnCancel")));
        closed = WaitFor([&] { return !d.isVisible(); });
    });
    EXPECT_TRUE(labelShown);
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(closed);
    // Neither the old key nor the new one is ours now.
    EXPECT_TRUE(other.Grab(XAlt, 'm'));
    other.Ungrab(XAlt, 'm');
    other.Ungrab(XCtrl | XAlt, 'k');
}

// While the edit has the keyboard the program's own grab is let go: pressing the current hotkey records it
// and frees nothing; once the edit loses the focus the hotkey works again.
TEST_F(SettingsOnX, TheCurrentHotKeyTypedIntoTheEditIsRecordedNotRun) {
    WriteConfig("[KESTRUM]\nUseHotKey=1\nHotKeyValue=49227\n");
    Start();
    test::TXClient other;
    ASSERT_TRUE(other.Ok());
    ASSERT_FALSE(other.Grab(XCtrl | XAlt, 'k')); // ours
    bool letGo = false, recorded = false, heldAgain = false;
    int runsWhileEditing = -1;
    WithOpenDialog([&](TFormKSSettings& d) {
        auto* edit = d.findChild<TKSHotKeyEdit*>("hkHotKey");
        edit->setFocus();
        ASSERT_TRUE(WaitFor([&] { return edit->Capturing(); }));
        letGo = other.Grab(XCtrl | XAlt, 'k'); // free while the edit records
        other.Ungrab(XCtrl | XAlt, 'k');
        ASSERT_TRUE(Xdotool({"key", "--clearmodifiers", "ctrl+alt+j"}));
        ASSERT_TRUE(WaitFor([&] { return edit->HotKey() == (0xC000 | 'J'); })) << edit->HotKey();
        ASSERT_TRUE(Xdotool({"key", "--clearmodifiers", "ctrl+alt+k"}));
        recorded = WaitFor([&] { return edit->HotKey() == (0xC000 | 'K'); });
        WaitFor([] { return false; }, 300);
        runsWhileEditing = Main->OptimizeFlow()->RunsStarted();
        d.findChild<QCheckBox*>("chkSleep")->setFocus();
        WaitFor([&] { return !edit->Capturing(); });
        heldAgain = !other.Grab(XCtrl | XAlt, 'k');
        d.reject();
    });
    EXPECT_TRUE(letGo);
    EXPECT_TRUE(recorded);
    EXPECT_EQ(runsWhileEditing, 0);
    EXPECT_TRUE(heldAgain);
    ASSERT_TRUE(Xdotool({"key", "--clearmodifiers", "ctrl+alt+k"}));
    EXPECT_TRUE(WaitFor([&] { return Main->OptimizeFlow()->RunsStarted() == 1; }));
}

// A combination another client holds (as a window manager does) still reaches the edit, which records
// it and shows the conflict label at once.
TEST_F(SettingsOnX, ACombinationAnotherClientHoldsIsRecordedWithTheConflictLabel) {
    Start();
    test::TXClient other;
    ASSERT_TRUE(other.Ok());
    ASSERT_TRUE(other.Grab(XCtrl | XAlt, 't'));
    uint16_t recorded = 0;
    bool labelShown = false;
    WithOpenDialog([&](TFormKSSettings& d) {
        d.findChild<QCheckBox*>("chkHotKey")->click();
        auto* edit = d.findChild<TKSHotKeyEdit*>("hkHotKey");
        edit->setFocus();
        ASSERT_TRUE(WaitFor([&] { return edit->Capturing(); }));
        ASSERT_TRUE(Xdotool({"key", "--clearmodifiers", "ctrl+alt+t"}));
        WaitFor([&] { return edit->HotKey() == (0xC000 | 'T'); });
        recorded = edit->HotKey();
        labelShown = d.findChild<QLabel*>("lblHotKey")->isVisible();
        d.reject();
    });
    other.Ungrab(XCtrl | XAlt, 't');
    EXPECT_EQ(recorded, 0xC000 | 'T');
    EXPECT_TRUE(labelShown);
}

TEST_F(SettingsOnX, ClicksAndKeysOfAUserEndUpInTheFile) {
    Start();
    ASSERT_TRUE(Main->AntiDisturb()->Enabled());
    bool closed = false;
    WithOpenDialog([&](TFormKSSettings& d) {
        auto* box = d.findChild<QCheckBox*>("chkAntiDisturb");
        ASSERT_TRUE(ClickOn(box));
        ASSERT_TRUE(WaitFor([&] { return !box->isChecked(); }));
        auto* spin = d.findChild<QSpinBox*>("seSleep");
        ASSERT_TRUE(ClickOn(spin));
        ASSERT_TRUE(WaitFor([&] { return spin->hasFocus(); }));
        ASSERT_TRUE(Xdotool({"key", "Up", "Up"}));
        ASSERT_TRUE(WaitFor([&] { return spin->value() == 32; })) << spin->value();
        ASSERT_TRUE(Xdotool({"key", "Return"})); // Ok is the default button
        closed = WaitFor([&] { return !d.isVisible(); });
    });
    EXPECT_TRUE(closed);
    EXPECT_EQ(Stored("AntiDisturb"), "0");
    EXPECT_EQ(Stored("SleepValue"), "32");
    EXPECT_FALSE(Main->AntiDisturb()->Enabled());
}

// Opened from the tray while the window lives there, the dialog still comes up on screen; with the tray
// switched off, Ok brings the window back with the dialog in its middle.
TEST_F(SettingsOnX, FromTheTrayTheDialogShowsAndTrayOffBringsTheWindowBack) {
    Start();
    QCloseEvent close;
    QCoreApplication::sendEvent(Main.get(), &close);
    ASSERT_TRUE(WaitFor([&] { return !Main->isVisible(); }));
    bool onScreen = false, centred = false;
    WithOpenDialog([&](TFormKSSettings& d) {
        QProcess search;
        search.start("xdotool", {"search", "--onlyvisible", "--name", "^Kestrum - Settings$"});
        search.waitForFinished();
        onScreen = !search.readAllStandardOutput().trimmed().isEmpty();
        ASSERT_TRUE(ClickOn(d.findChild<QCheckBox*>("chkTrayIcon")));
        ASSERT_TRUE(WaitFor([&] { return !d.findChild<QCheckBox*>("chkTrayIcon")->isChecked(); }));
        ASSERT_TRUE(ClickOn(d.findChild<TOrvImageButton*>("btnOk")));
        WaitFor([&] { return !d.isVisible(); });
        centred = d.pos() == Main->pos() + QPoint((800 - 500) / 2, (600 - 410) / 2);
    });
    EXPECT_TRUE(onScreen);
    EXPECT_TRUE(centred);
    EXPECT_TRUE(WaitFor([&] { return Main->isVisible() && !Main->isMinimized(); }));
    EXPECT_FALSE(Main->TrayIcon()->isVisible());
    EXPECT_EQ(Stored("ShowTrayIcon"), "0");
}

// Not a check: pictures of both dialogs for people to look at (run with --gtest_also_run_disabled_tests
// and KESTRUM_SHOTS naming a folder).
TEST_F(SettingsOnX, DISABLED_Screenshots) {
    const QString dir = qEnvironmentVariable("KESTRUM_SHOTS");
    if (dir.isEmpty()) GTEST_SKIP() << "KESTRUM_SHOTS is not set";
    for (const char* f : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(f)); // as the program does at start
    WriteConfig("[KESTRUM]\nUseHotKey=1\nHotKeyValue=49227\n");
    Start();
    auto shoot = [&](const QString& name) {
        WaitFor([] { return false; }, 500);
        QProcess::execute("import", {"-window", "root", dir + "/" + name});
    };
    WithOpenDialog([&](TFormKSSettings& d) {
        shoot("settings.png");
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(d.findChild<QLabel*>("lblAntiDisturb"), &enter);
        shoot("settings_hint.png");
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(d.findChild<QLabel*>("lblAntiDisturb"), &leave);
        d.reject();
    });
    test::WhenReady([&] { return Main->FormAbout() && Main->FormAbout()->isVisible(); },
                    [&] {
                        shoot("about.png");
                        Main->FormAbout()->reject();
                    });
    Main->AboutCommand();
}
