#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/KSHotKeyEdit.h"
#include "app/frmKSSettings.h"
#include "common/DialogFixture.h"
#include "desktop/OrvAntiDisturb.h"
#include "i18n/OrvMultiLangs.h"
#include "skin/OrvImageButton.h"
#include "store/KSAutoStart.h"

using namespace kestrum;
using test::PressKey;

namespace {

constexpr uint16_t AltM = 0x8000 | 'M', CtrlAltK = 0xC000 | 'K', CtrlAltJ = 0xC000 | 'J';

struct SettingsDialog : test::TDialogFixture {
    std::unique_ptr<TFormKSMain> Main;
    std::unique_ptr<TFormKSSettings> Dlg;

    TFormKSMain& Start(QStringList args = {"Kestrum"}) {
        Main = std::make_unique<TFormKSMain>(Plat, Settings, args);
        Main->SetTrayAvailableProbe([] { return true; }); // a notification area to hide in
        Main->FormCreate();
        return *Main;
    }
    TFormKSSettings& Open() {
        Dlg = std::make_unique<TFormKSSettings>(Main.get(), Settings, Main->MultiLangs(), Main->ConfigPath());
        Dlg->show();
        return *Dlg;
    }
    template <class T>
    T* Get(const char* name) {
        T* w = Dlg->findChild<T*>(QString::fromLatin1(name));
        EXPECT_TRUE(w) << name;
        return w;
    }
    QCheckBox* Check(const char* name) { return Get<QCheckBox>(name); }
    TKSHotKeyEdit* Edit() { return Get<TKSHotKeyEdit>("hkHotKey"); }
    void Click(const char* button) { Get<TOrvImageButton>(button)->Click(); }
};

} // namespace

TEST_F(SettingsDialog, ControlsAtTheirPlacesInTabOrder) {
    Start();
    Open();
    EXPECT_EQ(Dlg->size(), QSize(500, 410));
    const struct {
        const char* name;
        QRect rect;
    } places[] = {
        {"chkAutoStart", {32, 40, 460, 17}},
        {"imgLine1", {32, 63, 390, 12}},
        {"chkTrayIcon", {32, 81, 460, 17}},
        {"rbTrayIconDynamic", {48, 104, 444, 17}},
        {"rbTrayIconStatic", {48, 123, 444, 17}},
        {"chkHotKey", {32, 164, 460, 17}},
        {"hkHotKey", {48, 187, 102, 21}},
        {"chkSleep", {32, 232, 460, 17}},
        {"seSleep", {48, 255, 102, 22}},
        {"chkAntiDisturb", {32, 301, 460, 17}},
        {"pnlAntiDisturbHint", {16, 341, 465, 57}},
        {"btnOk", {246, 360, 70, 23}},
        {"btnCancel", {322, 360, 70, 23}},
        {"btnApply", {398, 360, 70, 23}},
    };
    for (auto& p : places) EXPECT_EQ(Get<QWidget>(p.name)->geometry(), p.rect) << p.name;
    EXPECT_EQ(Get<QLabel>("lblSleepMin")->pos(), QPoint(156, 259));
    EXPECT_FALSE(Check("chkAutoStart")->isVisible());
    EXPECT_EQ(Get<TOrvImageButton>("btnApply")->Caption(), "Apply");
    EXPECT_EQ(Dlg->windowTitle(), "Kestrum - Settings");

    // Tab order among the controls that take focus.
    QStringList chain;
    QWidget* w = Check("chkTrayIcon");
    for (int i = 0; i < 12; ++i, w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus && w->isVisible() && !w->objectName().startsWith("qt_"))
            chain << w->objectName();
    chain.removeDuplicates();
    EXPECT_EQ(chain.mid(0, 8), (QStringList{"chkTrayIcon", "rbTrayIconDynamic", "rbTrayIconStatic", "chkHotKey",
                                            "hkHotKey", "chkSleep", "seSleep", "chkAntiDisturb"}));
}

// Start-up, -regrun and the dialog each run the launcher, in this order and with these verbs.
TEST_F(SettingsDialog, LauncherRunsAtStartupRegrunAndEveryOpeningOkAndApply) {
    const struct {
        QByteArray config;
        QStringList args;
        std::vector<std::string> verbs;
    } starts[] = {
        {"", {"Kestrum"}, {"/add"}},
        {"[KESTRUM]\nAutoStart=0\n", {"Kestrum"}, {"/del"}},
        {"[KESTRUM]\nAutoStart=0\nShowTrayIcon=0\n", {"Kestrum", "-regrun"}, {"/del", "/add"}},
    };
    for (auto& s : starts) {
        Fakes.Shell->Launched.clear();
        WriteConfig(s.config);
        Start(s.args);
        EXPECT_EQ(LauncherVerbs(), s.verbs) << s.args.join(' ').toStdString() << " " << s.config.constData();
        Main.reset();
    }
    EXPECT_EQ(Stored("AutoStart"), "1");
    EXPECT_EQ(Stored("ShowTrayIcon"), "1");

    // The exact command line: launcher beside the program, verb, name, program, switch.
    const std::string program = OwnExecutablePath().toStdString();
    EXPECT_EQ(Fakes.Shell->Launched.back(),
              '"' + GetProgramDir().toStdString() + "BramblinASL\" /add \"Kestrum\" \"" + program + "\" -autostart");

    WriteConfig("[KESTRUM]\nAutoStart=0\n");
    Start();
    Fakes.Shell->Launched.clear();
    Open(); // opening runs it
    Click("btnCancel");
    EXPECT_EQ(LauncherVerbs(), std::vector<std::string>{"/del"});
    Open();
    Click("btnApply");
    Click("btnOk");
    EXPECT_EQ(LauncherVerbs(), (std::vector<std::string>{"/del", "/del", "/del", "/del"}));
}

TEST_F(SettingsDialog, ValueEditedInTheFileShowsAtTheNextOpeningAndIsAppliedAtOnce) {
    Start();
    ASSERT_TRUE(Main->AntiDisturb()->Enabled());
    ASSERT_EQ(Main->TrayPictureIndex(), 1);
    Fakes.Shell->Launched.clear();
    WriteConfig("[KESTRUM]\nAutoStart=0\nDynTrayIcon=0\nAntiDisturb=0\nUseHotKey=1\nHotKeyValue=49227\n");
    Open();
    EXPECT_FALSE(Get<QRadioButton>("rbTrayIconDynamic")->isChecked());
    EXPECT_TRUE(Get<QRadioButton>("rbTrayIconStatic")->isChecked());
    EXPECT_FALSE(Check("chkAntiDisturb")->isChecked());
    EXPECT_EQ(Edit()->HotKey(), CtrlAltK);
    EXPECT_EQ(Edit()->text(), "Ctrl+Alt+K");
    // Applied to the running program before anything is pressed.
    EXPECT_EQ(LauncherVerbs(), std::vector<std::string>{"/del"});
    EXPECT_FALSE(Main->AntiDisturb()->Enabled());
    EXPECT_EQ(Main->TrayPictureIndex(), 0);
    ASSERT_EQ(Keys().Grabs.size(), 1u);
    EXPECT_EQ(Keys().Grabs[0].VirtualKey, 'K');
}

TEST_F(SettingsDialog, TrayOffGreysTheChoiceAndOkBringsTheWindowBackFromTheTray) {
    Start();
    QCloseEvent close;
    QCoreApplication::sendEvent(Main.get(), &close); // into the tray
    ASSERT_FALSE(Main->isVisible());
    Open();
    Check("chkTrayIcon")->click();
    EXPECT_FALSE(Get<QRadioButton>("rbTrayIconDynamic")->isEnabled());
    EXPECT_FALSE(Get<QRadioButton>("rbTrayIconStatic")->isEnabled());
    Check("chkTrayIcon")->click();
    EXPECT_TRUE(Get<QRadioButton>("rbTrayIconStatic")->isEnabled());
    Check("chkTrayIcon")->click();

    Click("btnOk");
    EXPECT_FALSE(Main->TrayIcon()->isVisible());
    EXPECT_TRUE(Main->isVisible());
    EXPECT_FALSE(Main->isMinimized());
    EXPECT_EQ(Dlg->pos(), Main->pos() + QPoint((800 - 500) / 2, (600 - 410) / 2));
    EXPECT_FALSE(Dlg->isVisible());
    EXPECT_EQ(Stored("ShowTrayIcon"), "0");
}

// Switched off, the file holds 0; switched on again the edit offers the last key chosen in the dialog, or
// Alt+M, and the hotkey is never saved as on without a key.
TEST_F(SettingsDialog, HotKeyOffStoresZeroAndOnAgainOffersTheLastKeyOrTheDefault) {
    WriteConfig("[KESTRUM]\nUseHotKey=1\nHotKeyValue=49227\n");
    Start();
    ASSERT_EQ(Keys().Grabs.size(), 1u);
    Open();
    Check("chkHotKey")->click();
    EXPECT_FALSE(Edit()->isEnabled());
    Click("btnApply");
    EXPECT_EQ(Stored("UseHotKey"), "0");
    EXPECT_EQ(Stored("HotKeyValue"), "0");
    EXPECT_TRUE(Keys().Grabs.empty());
    Check("chkHotKey")->click(); // in the same dialog: the key it had
    EXPECT_EQ(Edit()->HotKey(), CtrlAltK);
    Check("chkHotKey")->click();
    Click("btnOk");

    Open(); // the file knows no key any more: the default
    EXPECT_FALSE(Edit()->isEnabled());
    Check("chkHotKey")->click();
    EXPECT_TRUE(Edit()->isEnabled());
    EXPECT_EQ(Edit()->HotKey(), AltM);
    EXPECT_EQ(Edit()->text(), "Alt+M");
    PressKey(Edit(), Qt::Key_Backspace); // never empty while ticked
    EXPECT_EQ(Edit()->HotKey(), AltM);
    Click("btnOk");
    EXPECT_FALSE(Dlg->isVisible());
    EXPECT_EQ(Stored("UseHotKey"), "1");
    EXPECT_EQ(Stored("HotKeyValue"), QString::number(AltM));
    ASSERT_EQ(Keys().Grabs.size(), 1u);
    EXPECT_EQ(Keys().Grabs[0].VirtualKey, 'M');

    // A hand-edited file with the hotkey on and no key shows, and saves, the default too.
    WriteConfig("[KESTRUM]\nUseHotKey=1\nHotKeyValue=0\n");
    Open();
    EXPECT_EQ(Edit()->HotKey(), AltM);
    Click("btnOk");
    EXPECT_EQ(Stored("HotKeyValue"), QString::number(AltM));
}

TEST_F(SettingsDialog, ClearingTheEditPutsTheRememberedKeyBack) {
    WriteConfig("[KESTRUM]\nUseHotKey=1\nHotKeyValue=32845\n");
    Start();
    Open();
    ASSERT_EQ(Dlg->RememberedHotKey(), AltM);
    PressKey(Edit(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(Edit()->HotKey(), CtrlAltK);
    PressKey(Edit(), Qt::Key_Backspace);
    EXPECT_EQ(Edit()->HotKey(), AltM);
    EXPECT_EQ(Edit()->text(), "Alt+M");
    PressKey(Edit(), Qt::Key_Delete);
    EXPECT_EQ(Edit()->HotKey(), AltM);
}

TEST_F(SettingsDialog, SpacingBeyondTheRangeShowsAndSavesAsTheMaximum) {
    WriteConfig("[KESTRUM]\nSleepValue=500\n");
    Start();
    Open();
    auto* spin = Get<QSpinBox>("seSleep");
    EXPECT_EQ(spin->value(), 120);
    PressKey(spin, Qt::Key_7); // arrows only
    EXPECT_EQ(spin->value(), 120);
    Click("btnOk");
    EXPECT_EQ(Stored("SleepValue"), "120");
    EXPECT_EQ(Settings.SleepValue, 120);

    Open();
    Check("chkSleep")->click();
    EXPECT_FALSE(Get<QSpinBox>("seSleep")->isEnabled());
}

TEST_F(SettingsDialog, TakenHotKeyKeepsTheDialogOpenUntilAKeyIsFree) {
    WriteConfig("[KESTRUM]\nUseHotKey=1\nHotKeyValue=32845\n");
    Keys().Taken.insert({platform::HotKeyMod_Control | platform::HotKeyMod_Alt, 'K'});
    Start();
    Open();
    auto* label = Get<QLabel>("lblHotKey");
    EXPECT_FALSE(label->isVisible());
    PressKey(Edit(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    Click("btnOk");
    EXPECT_TRUE(Dlg->isVisible());
    EXPECT_TRUE(Dlg->HotKeyFailed());
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), "(This hotkey is allocated, please use another one.)");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(Stored("HotKeyValue"), QString::number(CtrlAltK)); // already written
    EXPECT_TRUE(Keys().Grabs.empty());                           // the old one is given up

    // Back to the old key: it is not held any more, so it is registered again and Ok closes.
    PressKey(Edit(), Qt::Key_Backspace);
    ASSERT_EQ(Edit()->HotKey(), AltM);
    Click("btnOk");
    EXPECT_FALSE(Dlg->isVisible());
    EXPECT_FALSE(label->isVisible());
    ASSERT_EQ(Keys().Grabs.size(), 1u);
    EXPECT_EQ(Keys().Grabs[0].VirtualKey, 'M');

    // A free key after a refusal also closes it.
    Open();
    PressKey(Edit(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    Click("btnApply");
    ASSERT_TRUE(Dlg->HotKeyFailed());
    PressKey(Edit(), Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    Click("btnOk");
    EXPECT_FALSE(Dlg->isVisible());
    EXPECT_EQ(Stored("HotKeyValue"), QString::number(CtrlAltJ));
}

// A key another program held already at start-up is reported as soon as the dialog opens.
TEST_F(SettingsDialog, KeyRefusedAtStartupShowsTheLabelAtOpening) {
    WriteConfig("[KESTRUM]\nUseHotKey=1\nHotKeyValue=49227\n");
    Keys().Taken.insert({platform::HotKeyMod_Control | platform::HotKeyMod_Alt, 'K'});
    Start();
    ASSERT_TRUE(Keys().Grabs.empty());
    Open();
    EXPECT_TRUE(Get<QLabel>("lblHotKey")->isVisible());
    EXPECT_TRUE(Dlg->HotKeyFailed());
}

TEST_F(SettingsDialog, CancelKeepsWhatApplyApplied) {
    Start();
    Open();
    Check("chkAntiDisturb")->click();
    Click("btnApply");
    EXPECT_FALSE(Main->AntiDisturb()->Enabled());
    Check("chkAntiDisturb")->click();
    Click("btnCancel");
    EXPECT_FALSE(Dlg->isVisible());
    EXPECT_FALSE(Main->AntiDisturb()->Enabled());
    EXPECT_EQ(Stored("AntiDisturb"), "0");
    // Escape is Cancel too.
    Open();
    Check("chkAntiDisturb")->click();
    PressKey(Check("chkAntiDisturb"), Qt::Key_Escape);
    EXPECT_FALSE(Dlg->isVisible());
    EXPECT_EQ(Stored("AntiDisturb"), "0");
}

TEST_F(SettingsDialog, HintShowsWhileThePointerIsOnItsLabel) {
    Start();
    Open();
    auto* panel = Get<QWidget>("pnlAntiDisturbHint");
    auto* label = Get<QLabel>("lblAntiDisturb");
    EXPECT_FALSE(panel->isVisible());
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(label, &enter);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(Dlg->childAt(panel->geometry().center()), Get<QLabel>("lblAntiDisturbHint")); // over the buttons
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(label, &leave);
    EXPECT_FALSE(panel->isVisible());
}

// Opened the way the menus open it: modal, remembered while open, re-labelled by a language change, freed.
TEST_F(SettingsDialog, MenuCommandOpensModallyAndALanguageChangeRelabelsIt) {
    QDir().mkpath(Home.File("Langs/1031"));
    ASSERT_TRUE(QFile::copy(KESTRUM_SOURCE_DIR "/Langs/1031/Kestrum.ini", Home.File("Langs/1031/Kestrum.ini")));
    Start();
    QString before, after;
    bool modal = false;
    test::WhenReady([&] { return Main->FormSettings() && Main->FormSettings()->isVisible(); },
                    [&] {
                        TFormKSSettings* open = Main->FormSettings();
                        modal = open->isModal();
                        before = open->findChild<QCheckBox*>("chkTrayIcon")->text();
                        Main->MultiLangs()->LoadFromFile(Home.File("Langs/1031/Kestrum.ini"));
                        after = open->findChild<QCheckBox*>("chkTrayIcon")->text();
                        open->findChild<TOrvImageButton*>("btnCancel")->Click();
                    });
    Main->SettingsCommand();
    EXPECT_TRUE(modal);
    EXPECT_EQ(before, "Display icon on system tray.");
    EXPECT_EQ(after, "Symbol im Infobereich anzeigen.");
    EXPECT_EQ(Main->FormSettings(), nullptr);
}

// The edit's values in the settings layout for the keys a user presses.
TEST(HotKeyEdit, KeysBecomeValuesInTheSettingsLayout) {
    test::EnsureQtApp();
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        uint16_t want; // 0xFFFF: unchanged
    } cases[] = {
        {Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, 0xC04B},
        {Qt::Key_Exclam, Qt::ShiftModifier | Qt::ControlModifier, 0x6031}, // Shift+1 on a US keyboard
        {Qt::Key_5, Qt::KeypadModifier, 0x65},
        {Qt::Key_F12, Qt::NoModifier, 0x7B},
        {Qt::Key_Return, Qt::AltModifier, 0x800D},
        {Qt::Key_Delete, Qt::ControlModifier, 0x402E},
        {Qt::Key_BracketLeft, Qt::AltModifier, 0x80DB},
        {Qt::Key_M, Qt::MetaModifier, 0xFFFF}, // the Win key does not fit in 16 bits
        {Qt::Key_Escape, Qt::NoModifier, 0xFFFF},
        {Qt::Key_Control, Qt::ControlModifier, 0xFFFF},
        {Qt::Key_Backspace, Qt::NoModifier, 0},
    };
    for (auto& c : cases) {
        TKSHotKeyEdit edit;
        edit.SetHotKey(AltM);
        int changes = 0;
        QObject::connect(&edit, &TKSHotKeyEdit::OnChange, [&] { ++changes; });
        PressKey(&edit, c.key, c.mods);
        const uint16_t want = c.want == 0xFFFF ? AltM : c.want;
        EXPECT_EQ(edit.HotKey(), want) << std::hex << c.key;
        EXPECT_EQ(changes, c.want == 0xFFFF ? 0 : 1) << std::hex << c.key;
    }
}
