#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>

#include "app/frmKSProtection.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "engine/MemoryOptimize.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"
#include "support/IniFile.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

struct ProtectionDialog : ::testing::Test {
    void SetUp() override {
        test::EnsureQtApp();
        MultiLangsMakeDefault(&Langs);
        Processes.Processes = {{10, "firefox-esr", false},
                               {11, "firefox-esr", false},
                               {20, "python3.11", false},
                               {30, "bash", false},
                               {2, "kthreadd", true}};
        Processes.Resident = {{10, 300u << 20}, {11, 100u << 20}, {20, 50u << 20}, {30, 5u << 20}};
        Processes.Swapped = {{20, 8u << 20}};
    }
    // Program → its row's texts.
    std::map<QString, QStringList> Rows(TFormKSProtection& d) {
        std::map<QString, QStringList> rows;
        for (int i = 0; i < d.Programs()->topLevelItemCount(); ++i) {
            QStringList texts;
            for (int c = 0; c < 5; ++c) texts << d.Programs()->topLevelItem(i)->text(c);
            rows[texts[0]] = texts;
        }
        return rows;
    }
    test::TTestHome Home;
    TOrvMultiLangs Langs;
    TFakeDesktop Desktop;
    TFakeProcesses Processes;
};

} // namespace

TEST_F(ProtectionDialog, ProgramsGroupedWithMemoryAndReasonsAndListEditsReachTheFiles) {
    TMemoryOptimize engine(Desktop, Processes);
    TFormKSProtection d(nullptr, &Langs, engine);
    auto rows = Rows(d);
    ASSERT_EQ(rows.size(), 3u) << "one row per program, kernel threads left out";
    EXPECT_EQ(rows["firefox-esr"], (QStringList{"firefox-esr", "2", "400.0", "0.0", "trimmed"}));
    EXPECT_EQ(rows["python3.11"][3], "8.0");
    EXPECT_EQ(d.Programs()->topLevelItem(0)->text(0), "firefox-esr") << "largest first";

    // Typed as users know it: "python3" covers python3.11.
    d.NameEdit()->setText("python3");
    d.btnNeverTrimClick();
    EXPECT_EQ(Rows(d)["python3.11"][4], "never-trim list");
    EXPECT_EQ(TIniFile(Home.File("Lists/white.lst")).ReadSection("ITEMS"), QStringList{"python3"});
    // Moving it to the trim-only list takes it off the never-trim list.
    d.btnTrimOnlyClick();
    EXPECT_TRUE(TIniFile(Home.File("Lists/white.lst")).ReadSection("ITEMS").isEmpty());
    EXPECT_EQ(TIniFile(Home.File("Lists/black.lst")).ReadSection("ITEMS"), QStringList{"python3"});
    EXPECT_EQ(Rows(d)["python3.11"][4], "trimmed (trim-only list)");
    // The mode that trims only that list: everything else is spared, shown before it is confirmed.
    d.ModeBox()->setCurrentIndex(d.ModeBox()->findData(int(TMemoryOptimize::MODE_BLACK)));
    EXPECT_EQ(Rows(d)["bash"][4], "not on the trim-only list");
    EXPECT_EQ(Rows(d)["python3.11"][4], "trimmed (trim-only list)");
    d.btnRemoveClick();
    EXPECT_TRUE(TIniFile(Home.File("Lists/black.lst")).ReadSection("ITEMS").isEmpty());
    // A name that cannot be a list entry changes nothing.
    d.NameEdit()->setText("a=b");
    d.btnNeverTrimClick();
    EXPECT_TRUE(TIniFile(Home.File("Lists/white.lst")).ReadSection("ITEMS").isEmpty());

    // OK keeps the choices.
    d.btnOKClick();
    EXPECT_EQ(TKSProtectionSettings::Load().SelectionMode, TMemoryOptimize::MODE_BLACK);
}

TEST_F(ProtectionDialog, TheForegroundProgramAndItsChildrenAreShownSpared) {
    Desktop.Owners[7] = 10;
    Desktop.Foreground = 7;
    Processes.Parents = {{11, 10}};
    TMemoryOptimize engine(Desktop, Processes);
    TFormKSProtection d(nullptr, &Langs, engine);
    EXPECT_EQ(Rows(d)["firefox-esr"][4], "in front");
}
