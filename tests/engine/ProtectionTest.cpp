#include <gtest/gtest.h>

#include <algorithm>

#include "common/QtApp.h"
#include "common/TestHome.h"
#include "engine/AutoProtection.h"
#include "engine/MemoryOptimize.h"
#include "engine/ProgramNames.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

struct TNameCase {
    const char* Entry;
    TProgramNames Names;
    bool Expected;
};

TProgramNames Exe(const char* exe) {
    return {QString::fromUtf8(exe), {}, {}, {}};
}

} // namespace

TEST(ProgramNamesTest, EntriesNameProgramsAsUsersKnowThem) {
    const TNameCase cases[] = {
        // Versions and release channels of the executable.
        {"python3", Exe("python3.11"), true},
        {"python", Exe("python3.11"), true},
        {"python3", Exe("python35"), false},
        {"firefox", Exe("firefox-esr"), true},
        {"gcc", Exe("gcc-12"), true},
        {"gnome", Exe("gnome-shell"), false},
        {"python3.11", Exe("python3"), false},
        // Case is ignored.
        {"FIREFOX", Exe("firefox-esr"), true},
        {"Python3", Exe("python3.11"), true},
        // The file-name rule of the list files: the last four characters, whatever they are.
        {"notepad", Exe("notepad.exe"), true},
        {"notepad", Exe("NOTEPAD.EXE"), true},
        {"note", Exe("notepad"), false},
        {"notep", Exe("notepad.x"), true}, // whatever the four characters are
        // Names of four characters or fewer: only the name itself (nothing is left after the cut).
        {"vim", Exe("vim"), true},
        {"vi", Exe("vim"), false},
        {"", Exe("java"), false},
        {"x", Exe("x11"), false},
        // The kernel's name, argv[0] and the application id.
        {"python3", {"python3.11", "python3.11", "python3", {}}, true},
        {"chromium", {"chrome", "chrome", "chromium", {}}, true},
        {"chromium", {"chrome", "chrome", "chrome", {}}, false},
        {"org.mozilla.firefox", {"bwrap", "bwrap", "bwrap", "org.mozilla.firefox"}, true},
        {"firefox", {"bwrap", "bwrap", "bwrap", "org.mozilla.firefox"}, true},
        {"mozilla", {"bwrap", "bwrap", "bwrap", "org.mozilla.firefox"}, false},
        {"kworker", {"", "kworker/0:1", "", ""}, false},
        {"systemd", {"systemd", "systemd", "init", ""}, true},
    };
    for (const auto& c : cases) {
        const TProgramNames& names = c.Names;
        EXPECT_EQ(names.MatchedBy({QString::fromUtf8(c.Entry)}), c.Expected)
            << c.Entry << " / " << qPrintable(names.ExeName) << " " << qPrintable(names.Comm) << " "
            << qPrintable(names.Argv0) << " " << qPrintable(names.AppId);
    }
}

TEST(ProgramNamesTest, ApplicationIdFromTheLaunchersUnit) {
    const struct {
        const char* Path;
        const char* Id;
    } cases[] = {
        {"/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-firefox\\x2desr-2154.scope", "firefox-esr"},
        {"/user.slice/user-1000.slice/user@1000.service/app.slice/app-flatpak-org.gimp.GIMP-5531.scope",
         "org.gimp.GIMP"},
        {"/user.slice/user-1000.slice/user@1000.service/app.slice/app-org.kde.konsole@7c1d.service", "org.kde.konsole"},
        {"/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-org.gnome.Terminal.desktop-99.scope",
         "org.gnome.Terminal"},
        {"/user.slice/user-1000.slice/user@1000.service/app.slice/app-flatpak-org.gimp.GIMP-5531.scope/sub",
         "org.gimp.GIMP"},
        {"/user.slice/user-1000.slice/session-2.scope", ""},
        {"/system.slice/cron.service", ""},
        {"/", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TProgramNames::AppIdFromControlGroups({"/", c.Path}), QString(c.Id)) << c.Path;
}

TEST(ProgramNamesTest, ReadsTheNamesOfAProcess) {
    TFakeProcesses p;
    p.Comms[7] = "bwrap";
    p.CommandLines[7] = {"/usr/bin/bwrap", "--args", "41"};
    p.Groups[7] = {"/user.slice/user-1000.slice/user@1000.service/app.slice/app-flatpak-org.mozilla.firefox-77.scope"};
    const TProgramNames n = TProgramNames::Read(p, {7, "bwrap", false});
    EXPECT_EQ(n.ExeName, "bwrap");
    EXPECT_EQ(n.Comm, "bwrap");
    EXPECT_EQ(n.Argv0, "bwrap");
    EXPECT_EQ(n.AppId, "org.mozilla.firefox");
}

TEST(AutoProtectionTest, GamesFullScreenAndForegroundWithTheirChildren) {
    TFakeDesktop desktop;
    TFakeProcesses p;
    // 10 game (GameMode) → 11 its helper; 20 window in front → 21 → 22; 30 unrelated; 4242 ourselves.
    for (uint32_t pid : {10u, 11u, 20u, 21u, 22u, 30u}) p.Processes.push_back({pid, "prog", false});
    p.Parents = {{10, 1}, {11, 10}, {20, 1}, {21, 20}, {22, 21}, {30, 1}};
    desktop.Owners[500] = 20;
    desktop.Foreground = 500;
    TAutoProtection a(desktop, p);
    a.SetGameSource([] { return std::vector<uint32_t>{10}; });

    using R = TProtectionReason;
    EXPECT_EQ(a.Collect(),
              (std::map<uint32_t, R>{
                  {10, R::Game}, {11, R::Game}, {20, R::Foreground}, {21, R::Foreground}, {22, R::Foreground}}));
    desktop.Rects[500] = desktop.Screen;
    EXPECT_EQ(a.Roots(), (std::map<uint32_t, R>{{10, R::Game}, {20, R::FullScreen}}));
    // Each switch on its own.
    a.SetProtectFullScreen(false);
    EXPECT_EQ(a.Roots(), (std::map<uint32_t, R>{{10, R::Game}, {20, R::Foreground}}));
    a.SetProtectForeground(false);
    a.SetProtectFullScreen(true);
    a.SetProtectGames(false);
    EXPECT_EQ(a.Roots(), (std::map<uint32_t, R>{{20, R::FullScreen}}));
    desktop.Rects.erase(500);
    EXPECT_TRUE(a.Roots().empty());
    // Our own window in front (the user clicked "Free Now") protects nothing; nor does the shell's desktop.
    a.SetProtectForeground(true);
    desktop.Owners[500] = p.OwnId;
    EXPECT_TRUE(a.Roots().empty());
    desktop.Owners[500] = 20;
    desktop.ShellWindows.insert(500);
    EXPECT_TRUE(a.Roots().empty());
}

TEST(AutoProtectionTest, TreeWalkSurvivesCyclesAndUnknownParents) {
    using R = TProtectionReason;
    const auto out = TAutoProtection::WithDescendants({{5, R::Game}}, {{6, 5}, {7, 6}, {8, 9}, {9, 8}, {10, 99}});
    EXPECT_EQ(out, (std::map<uint32_t, R>{{5, R::Game}, {6, R::Game}, {7, R::Game}}));
}

namespace {

class EngineProtectionTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureQtApp(); }
    void Add(uint32_t pid, const std::string& exe) { Processes.Processes.push_back({pid, exe, false}); }
    std::vector<uint32_t> Trimmed() {
        auto t = Processes.Trimmed;
        std::sort(t.begin(), t.end());
        return t;
    }
    test::TTestHome Home;
    TFakeDesktop Desktop;
    TFakeProcesses Processes;
};

} // namespace

TEST_F(EngineProtectionTest, NeverTrimListByAnyNameAndAutomaticProtectionInEveryMode) {
    Add(1, "python3.11");
    Add(2, "bwrap");
    Add(3, "firefox-esr");
    Add(4, "bash");
    Add(5, "game.x86_64");
    Processes.Groups[2] = {"/user.slice/app.slice/app-flatpak-org.gimp.GIMP-12.scope"};
    TMemoryOptimize engine(Desktop, Processes);
    ASSERT_TRUE(engine.AddListItem(TMemoryOptimize::LIST_WHITE, "python3"));
    ASSERT_TRUE(engine.AddListItem(TMemoryOptimize::LIST_WHITE, "org.gimp.GIMP"));
    ASSERT_TRUE(engine.AddListItem(TMemoryOptimize::LIST_BLACK, "firefox"));
    ASSERT_TRUE(engine.AddListItem(TMemoryOptimize::LIST_BLACK, "python3"));
    engine.AutoProtection().SetGameSource([] { return std::vector<uint32_t>{5}; });

    const struct {
        uint8_t Mode;
        std::vector<uint32_t> Trimmed;
    } cases[] = {
        {TMemoryOptimize::MODE_ALL, {1, 2, 3, 4}}, // the lists take no part; the game is spared
        {TMemoryOptimize::MODE_BLACK, {3}},        // the never-trim list wins over the trim-only list
        {TMemoryOptimize::MODE_NOT_WHITE, {3, 4}},
        {TMemoryOptimize::MODE_SMART, {3, 4}}, // nothing ranked yet; the never-trim list still holds
    };
    for (const auto& c : cases) {
        Processes.Trimmed.clear();
        engine.FreeMemoryBy(c.Mode);
        EXPECT_EQ(Trimmed(), c.Trimmed) << int(c.Mode);
    }
}

TEST_F(EngineProtectionTest, ListsChangedByAnotherProgramApplyToTheNextRun) {
    Add(1, "python3.11");
    Add(2, "bash");
    TMemoryOptimize engine(Desktop, Processes);
    {
        TMemoryOptimize other(Desktop, Processes);
        ASSERT_TRUE(other.AddListItem(TMemoryOptimize::LIST_WHITE, "python3"));
    }
    engine.FreeMemoryBy(TMemoryOptimize::MODE_NOT_WHITE);
    EXPECT_EQ(Trimmed(), (std::vector<uint32_t>{2}));
}

TEST_F(EngineProtectionTest, ReportKeepsTheFiveProgramsThatGaveMost) {
    const char* names[] = {"a", "b", "b", "c", "d", "e", "f", "g"};
    const uint64_t taken[] = {10, 30, 30, 50, 5, 40, 1, 0};
    for (uint32_t i = 0; i < 8; ++i) {
        Add(100 + i, names[i]);
        TTrimResult r{TTrimStatus::Trimmed, 0};
        r.ResidentBefore = 1000;
        r.ResidentAfter = 1000 - taken[i];
        Processes.Results[100 + i] = r;
    }
    TMemoryOptimize engine(Desktop, Processes);
    engine.SetWatchMs(0);
    const TFreeRunReport report = engine.FreeMemoryBy(TMemoryOptimize::MODE_ALL);
    EXPECT_EQ(report.TopPrograms, (std::vector<TProgramTaken>{{"b", 60}, {"c", 50}, {"e", 40}, {"a", 10}, {"d", 5}}));
}
