// The main window's menus, help, home page, updater, tab buttons and the language broadcast.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QUrl>

#include "MainFixture.h"
#include "app/frmKSMain.h"
#include "app/pages/KSLogsPage.h"
#include "desktop/LanguageBroadcast.h"
#include "i18n/OrvMultiLangs.h"
#include "skin/OrvImage.h"
#include "skin/OrvImageButton.h"

using namespace kestrum;
using test::TMainFixture;

namespace {

QStringList Items(const QMenu* menu) {
    QStringList names;
    for (QAction* a : menu->actions()) names << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
    return names;
}

QStringList Texts(const QMenu* menu) {
    QStringList texts;
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return texts;
}

TOrvImageButton* Button(const TFormKSMain& w, const char* name) {
    return w.findChild<TOrvImageButton*>(QString::fromLatin1(name));
}

// Stands in for an open settings dialog: it takes its title from the catalogue whenever the main window
// applies the language again.
struct TDialogDouble : QWidget {
    explicit TDialogDouble(TFormKSMain& main) {
        connect(&main, &TFormKSMain::LanguageApplied, this,
                [this, &main] { setWindowTitle(main.MultiLangs()->GetText("FormKSSettings.Caption")); });
    }
};

} // namespace

TEST_F(TMainFixture, MenusHaveTheirItemsInOrder) {
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    auto* pmMain = w.findChild<QMenu*>("pmMain");
    auto* pmTray = w.findChild<QMenu*>("pmTrayIcon");
    ASSERT_TRUE(pmMain && pmTray);
    EXPECT_EQ(Items(pmMain), (QStringList{"mniMainSettings", "mniMainProtection", "mniMainHelp", "mniMainHomePage",
                                          "mniMainAbout"}));
    EXPECT_EQ(Texts(pmMain), (QStringList{"Settings...", "Protection...", "Help", "Homepage", "About..."}));
    EXPECT_EQ(Items(pmTray),
              (QStringList{"mniTrayIconShowHide", "mniTrayIconOptimize", "-", "mniTrayIconSettings", "mniTrayIconHelp",
                           "mniTrayIconHomePage", "mniTrayIconAbout", "-", "mniTrayIconExit"}));
    EXPECT_EQ(Texts(pmTray), (QStringList{"Show/Hide Window", "Optimize Memory", "-", "Settings...", "Help", "Homepage",
                                          "About...", "-", "Exit"}));
    EXPECT_TRUE(pmTray->actions()[0]->font().bold()); // the default item
    EXPECT_FALSE(pmTray->actions()[1]->font().bold());
    EXPECT_FALSE(pmMain->separatorsCollapsible());
    for (const char* help : {"mniMainHelp", "mniTrayIconHelp", "actHelp"})
        EXPECT_EQ(w.findChild<QAction*>(help)->shortcut(), QKeySequence(Qt::Key_F1)) << help;
    EXPECT_TRUE(w.actions().contains(w.findChild<QAction*>("actHelp"))); // F1 wherever the window has the keys

    // The caption's button pops the menu up under its bottom-left corner.
    auto* button = Button(w, "btnMainMenu");
    ASSERT_TRUE(button);
    EXPECT_EQ(button->geometry(), QRect(720, 5, 25, 24));
    Click(button);
    EXPECT_TRUE(pmMain->isVisible());
    const QPoint under = w.mapToGlobal(QPoint(720, 29));
    EXPECT_EQ(pmMain->pos().y(), under.y());
    EXPECT_LE(pmMain->pos().x(), under.x()); // moved left only as far as the screen's edge needs
    pmMain->hide();
}

TEST_F(TMainFixture, HelpOpensTheLanguagesPageFromF1AndBothMenus) {
    WriteConfig("[LANGUAGE]\nLanguage=1031\n");
    CopyPack(1031);
    const QString page = WriteHelp(1031);
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    for (const char* item : {"actHelp", "mniMainHelp", "mniTrayIconHelp"}) w.findChild<QAction*>(item)->trigger();
    EXPECT_EQ(Fakes.Shell->Opened, std::vector<std::string>(3, page.toStdString()));
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(TMainFixture, HelpWithoutTheLanguagesFolderWarnsInEnglish) {
    WriteConfig("[LANGUAGE]\nLanguage=2052\n");
    WriteHelp(0); // English help exists, but not the language's own
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    w.HelpCommand();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Sorry! Lost help file. Please reinstall this software to solve this problem.");
    EXPECT_EQ(Boxes[0].Caption, "Warning");
    EXPECT_EQ(Boxes[0].Flags, 48u);
    EXPECT_EQ(Boxes[0].LanguageId, 2052u);
    EXPECT_TRUE(Fakes.Shell->Opened.empty());
}

TEST_F(TMainFixture, HomePageIsTheInstalledHelpWhileThereIsNoSite) {
    const QString page = WriteHelp(0);
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    EXPECT_EQ(w.MultiLangs()->GetText("String.URL.Home"), ""); // no placeholder address ships
    EXPECT_EQ(w.HomeAddress(), QUrl::fromLocalFile(page).toString());
    w.findChild<QAction*>("mniMainHomePage")->trigger();
    w.findChild<QAction*>("mniTrayIconHomePage")->trigger();
    EXPECT_EQ(Fakes.Shell->Opened, std::vector<std::string>(2, page.toStdString()));

    // A pack that names a site sends the home page there.
    WriteFile("Langs/7/Kestrum.ini", "[LANG_ITEMS]\nString.URL.Home=https://kestrum.test/\n");
    w.LanguageBroadcastMessage(w.LanguageMessageId(), 1, LanguageBroadcastLParam(w.LanguageMessageId(), 7));
    w.HomePageCommand();
    EXPECT_EQ(Fakes.Shell->Opened.back(), "https://kestrum.test/");
    EXPECT_EQ(w.HomeAddress(), "https://kestrum.test/");
}

TEST_F(TMainFixture, UpgradeStartsTheUpdaterOrOpensTheHelpOnUpdating) {
    const QString page = WriteHelp(0);
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.SetUpdaterPath(Home.File("Fetchup")); // not there: a package-managed install
    w.FormCreate();
    auto* upgrade = Button(w, "btnTabUpgrade");
    auto* ad = w.findChild<TOrvImage*>("imgAD");
    ASSERT_TRUE(upgrade && ad);
    EXPECT_TRUE(ad->isVisible());
    EXPECT_EQ(ad->geometry(), QRect(560, 39, 230, 75));
    Click(upgrade);
    QUrl updating = QUrl::fromLocalFile(page);
    updating.setFragment("updating");
    ASSERT_EQ(Fakes.Shell->Opened.size(), 1u);
    EXPECT_EQ(Fakes.Shell->Opened[0], updating.toString().toStdString());
    EXPECT_EQ(w.ActiveTabIndex(), 0); // a command, not a tab
    EXPECT_TRUE(upgrade->isEnabled());

    WriteFile("Fetchup", "#!/bin/sh\n");
    Fakes.Shell->Launched.clear(); // the auto-start launcher ran at start-up
    Click(ad);
    Click(upgrade);
    EXPECT_EQ(Fakes.Shell->Launched, std::vector<std::string>(2, ('"' + Home.File("Fetchup") + '"').toStdString()));
}

TEST_F(TMainFixture, TheActiveTabsButtonIsDisabled) {
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    EXPECT_FALSE(Button(w, "btnTabOverview")->isEnabled());
    EXPECT_TRUE(Button(w, "btnTabLogs")->isEnabled());
    Click(Button(w, "btnTabLogs"));
    EXPECT_EQ(w.ActiveTabIndex(), 2);
    EXPECT_EQ(w.LogsPage()->size(), QSize(770, 435)); // a page the stack did not start with fills it too
    EXPECT_TRUE(Button(w, "btnTabOverview")->isEnabled());
    EXPECT_FALSE(Button(w, "btnTabLogs")->isEnabled());
    EXPECT_TRUE(Button(w, "btnTabUpgrade")->isEnabled());
}

// With nothing to open pages with (no xdg-open), Help, Homepage and Upgrade say so, with where the page is.
TEST_F(TMainFixture, PagesThatCannotBeOpenedAreSaidWithTheirPath) {
    const QString page = WriteHelp(0);
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.SetUpdaterPath(Home.File("Fetchup")); // not there
    w.FormCreate();
    Fakes.Shell->Succeeds = false;
    w.HelpCommand();
    w.HomePageCommand();
    w.UpgradeCommand();
    ASSERT_EQ(Boxes.size(), 3u);
    for (const auto& box : Boxes) {
        EXPECT_TRUE(box.Text.contains(u"xdg-utils"_qs)) << box.Text.toStdString();
        EXPECT_TRUE(box.Text.endsWith(page)) << box.Text.toStdString();
        EXPECT_EQ(box.Caption, "Warning");
        EXPECT_EQ(box.Flags, 48u);
    }
    EXPECT_EQ(Fakes.Shell->Opened.size(), 3u); // each was tried
}

TEST_F(TMainFixture, OnlyAValidBroadcastSwitchesTheLanguage) {
    CopyPack(1031);
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    TDialogDouble dialog(w);
    int applied = 0;
    QObject::connect(&w, &TFormKSMain::LanguageApplied, [&] { ++applied; });
    auto* logs = w.LogsPage();
    logs->cbbLogsRangeChange(3);
    const uint32_t id = w.LanguageMessageId();
    ASSERT_NE(id, 0u);
    const uint32_t german = LanguageBroadcastLParam(id, 1031);
    w.LanguageBroadcastMessage(id, 0, german);           // wParam 0
    w.LanguageBroadcastMessage(id, 1, german ^ 1);       // wrong check value
    w.LanguageBroadcastMessage(id + 1, 1, german);       // another message
    w.LanguageBroadcastMessage(id ^ 0x10000, 1, german); // same low word, another message
    EXPECT_EQ(w.LanguageId(), 0);
    EXPECT_EQ(applied, 0);
    EXPECT_EQ(Button(w, "btnTabOptimize")->Caption(), "Optimize");
    EXPECT_EQ(dialog.windowTitle(), "");

    w.LanguageBroadcastMessage(id, 0x1234, german);
    EXPECT_EQ(w.LanguageId(), 1031);
    EXPECT_EQ(w.LanguagePackPath(), Home.File("Langs/1031/Kestrum.ini"));
    EXPECT_GE(applied, 1);
    EXPECT_EQ(Button(w, "btnTabOptimize")->Caption(), "Optimieren");
    EXPECT_EQ(Button(w, "btnTabUpgrade")->TextY(), 57);
    EXPECT_EQ(w.findChild<QAction*>("mniTrayIconExit")->text(), "Beenden");
    EXPECT_EQ(w.findChild<QAction*>("mniMainSettings")->text(), "Einstellungen...");
    EXPECT_EQ(dialog.windowTitle(), "Kestrum - Einstellungen");
    // The logs page takes the new texts and keeps the chosen range, which its list and pickers show.
    EXPECT_EQ(logs->RangeBox()->currentIndex(), 3);
    EXPECT_EQ(logs->RangeBox()->itemText(0), "Verlauf von heute.");
    EXPECT_EQ(logs->RangeBox()->currentText(), "Verlauf der letzten 15 Tage.");
    EXPECT_EQ(logs->findChild<QLabel*>("lblLogsDelete")->text(), "Verlauf löschen");

    // A caption that takes two lines starts higher; one that fits on one line stays with its neighbours.
    CopyPack(1036);
    w.LanguageBroadcastMessage(id, 1, LanguageBroadcastLParam(id, 1036));
    auto* upgrade = Button(w, "btnTabUpgrade");
    const bool twoLines = QFontMetrics(upgrade->font()).horizontalAdvance(upgrade->Caption()) > upgrade->width();
    EXPECT_EQ(upgrade->TextY(), twoLines ? 48 : 57);
    EXPECT_EQ(dialog.windowTitle(), "Kestrum - Paramètres");

    // A language without a pack is the built-in English, not the previous language's leftovers; help is
    // then looked for in that language's folder.
    w.LanguageBroadcastMessage(id, 1, LanguageBroadcastLParam(id, 2052));
    EXPECT_EQ(w.LanguageId(), 2052);
    EXPECT_EQ(Button(w, "btnTabOptimize")->Caption(), "Optimize");
    EXPECT_EQ(Button(w, "btnTabUpgrade")->TextY(), 57);
    EXPECT_EQ(dialog.windowTitle(), "Kestrum - Settings");
    w.HelpCommand();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Caption, "Warning");
}

TEST_F(TMainFixture, PackFontsReachTheTitleAndTabButtons) {
    WriteFile("Langs/5/Kestrum.ini",
              "[FONT_RES]\n7=Serif;FF;14;[fsItalic]\n[FONT_SET]\nFormKSMain.btnTabLogs.Font=7\n");
    TFormKSMain w(Plat, Settings, {"Kestrum"});
    w.FormCreate();
    // Font 0 (Tahoma bold 12, white) on the skin's title.
    bool title = false;
    for (QLabel* l : w.findChildren<QLabel*>())
        title |= l->text() == "Kestrum" && l->font().pointSize() == 12 && l->font().bold();
    EXPECT_TRUE(title);
    const TOrvFont usage = Button(w, "btnTabOverview")->Font();
    EXPECT_TRUE(usage.Font.bold());
    EXPECT_EQ(usage.Font.pointSize(), 10);
    EXPECT_EQ(usage.Color, QColor(Qt::white));
    w.LanguageBroadcastMessage(w.LanguageMessageId(), 1, LanguageBroadcastLParam(w.LanguageMessageId(), 5));
    const TOrvFont logs = Button(w, "btnTabLogs")->Font();
    EXPECT_EQ(logs.Font.pointSize(), 14);
    EXPECT_TRUE(logs.Font.italic());
    EXPECT_EQ(logs.Color, QColor(255, 0, 0)); // BBGGRR: FF is red
    EXPECT_EQ(Button(w, "btnTabOverview")->Font(), usage);
}
