#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTimer>
#include <algorithm>

#include "common/QtApp.h"
#include "common/TestHome.h"
#include "engine/MemoryOptimize.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"
#include "support/IniFile.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

class MemoryOptimizeTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureQtApp(); }

    // A process with a window: the window id is the pid.
    void AddProgram(uint32_t pid, const std::string& name, bool running = true) {
        Processes.Paths[pid] = "/usr/bin/" + name;
        Desktop.Owners[pid] = pid;
        if (running) Processes.Processes.push_back({pid, name, false});
    }
    void Focus(uint32_t pid, int ticks, TMemoryOptimize& engine) {
        Desktop.Foreground = pid;
        for (int i = 0; i < ticks; ++i) engine.TrackUsage();
    }
    std::vector<uint32_t> SortedTrimmed() {
        auto t = Processes.Trimmed;
        std::sort(t.begin(), t.end());
        return t;
    }
    void WriteFile(const QString& relative, const QByteArray& content) {
        QDir().mkpath(QFileInfo(Home.File(relative)).path());
        QFile f(Home.File(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QByteArray ReadFile(const QString& relative) {
        QFile f(Home.File(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    test::TTestHome Home;
    TFakeDesktop Desktop;
    TFakeProcesses Processes;
};

} // namespace

TEST_F(MemoryOptimizeTest, RanksForegroundProgramsAndProtectsFiveMostUsedRunning) {
    TMemoryOptimize engine(Desktop, Processes);
    const char* names[] = {"editor", "browser", "mail", "term", "player", "chat", "closed"};
    for (uint32_t i = 0; i < 7; ++i) AddProgram(100 + i, names[i], std::string(names[i]) != "closed");
    // Usage counts: closed 9, editor 7, browser 6, mail 5, term 4, player 3, chat 2.
    Focus(106, 9, engine);
    for (uint32_t i = 0; i < 6; ++i) Focus(100 + i, 7 - static_cast<int>(i), engine);

    ASSERT_EQ(engine.UsageItems().size(), 7u);
    EXPECT_EQ(engine.UsageItems()[0].Name, "closed");
    EXPECT_EQ(engine.UsageItems()[0].UsageCount, 9u);
    EXPECT_FALSE(engine.UsageItems()[0].Running);
    EXPECT_EQ(engine.ProtectedList(), (QStringList{"editor", "browser", "mail", "term", "player"}));

    // Smart mode: every process but the protected ones is trimmed.
    Processes.Processes.push_back({1, "init", false});
    Desktop.Foreground = 0; // the program in front is spared on its own account
    engine.SetSmartMode(true);
    engine.FreeMemory();
    EXPECT_EQ(SortedTrimmed(), (std::vector<uint32_t>{1, 105}));
}

TEST_F(MemoryOptimizeTest, ForegroundNamesMergeIgnoringCaseAndUnreadableOnesCountNothing) {
    TMemoryOptimize engine(Desktop, Processes);
    AddProgram(10, "notepad.exe");
    Processes.Paths[11] = "C:\\Windows\\NOTEPAD.EXE"; // the path form another backend reports
    Desktop.Owners[11] = 11;
    Desktop.Owners[12] = 12; // an elevated program: no path
    Focus(10, 1, engine);
    Focus(11, 2, engine);
    Focus(12, 3, engine);
    Focus(0, 1, engine); // no foreground window
    ASSERT_EQ(engine.UsageItems().size(), 1u);
    EXPECT_EQ(engine.UsageItems()[0].Name, "notepad.exe");
    EXPECT_EQ(engine.UsageItems()[0].UsageCount, 3u);
    EXPECT_TRUE(engine.UsageItems()[0].Running);
}

TEST_F(MemoryOptimizeTest, NothingProtectedBeforeFirstTickAndFailedSnapshotKeepsProtection) {
    TMemoryOptimize engine(Desktop, Processes);
    AddProgram(10, "editor");
    AddProgram(11, "browser");
    Processes.Processes.push_back({2, "kthreadd", true});
    engine.SetSmartMode(true);
    EXPECT_EQ(engine.SelectionMode(), TMemoryOptimize::MODE_SMART);
    EXPECT_TRUE(engine.TrackingTimer()->isActive());
    EXPECT_EQ(engine.TrackingTimer()->interval(), 10000);
    engine.FreeMemory();
    EXPECT_EQ(SortedTrimmed(), (std::vector<uint32_t>{10, 11})); // kernel threads never

    Focus(10, 1, engine);
    EXPECT_EQ(engine.ProtectedList(), QStringList{"editor"});
    Processes.SnapshotFails = true;
    Focus(11, 3, engine);
    EXPECT_EQ(engine.ProtectedList(), QStringList{"editor"});
    EXPECT_FALSE(engine.UsageItems()[0].Running); // browser: never seen running

    engine.SetSmartMode(false);
    EXPECT_EQ(engine.SelectionMode(), TMemoryOptimize::MODE_ALL);
    EXPECT_FALSE(engine.TrackingTimer()->isActive());
}

TEST_F(MemoryOptimizeTest, SelectionModes) {
    WriteFile("Lists/black.lst", "[ITEMS]\nnotepad=\nhog.bin=\n");
    WriteFile("Lists/white.lst", "[ITEMS]\nshell=\n");
    TMemoryOptimize engine(Desktop, Processes);
    Processes.Processes = {{1, "notepad.exe", false}, {2, "hog.bin", false}, {3, "shell.exe", false},
                           {4, "other", false},       {5, "kworker", true},  {4242, "kestrum", false}};
    struct TCase {
        uint8_t Mode;
        std::vector<uint32_t> Trimmed;
    } cases[] = {
        {TMemoryOptimize::MODE_ALL, {1, 2, 3, 4, 4242}}, // our own process too
        {TMemoryOptimize::MODE_BLACK, {1, 2}},           // "notepad" selects notepad.exe
        {TMemoryOptimize::MODE_NOT_WHITE, {1, 2, 4, 4242}},
        {TMemoryOptimize::MODE_SMART, {1, 2, 4, 4242}}, // nothing ranked yet; the never-trim list holds
        {7, {1, 2, 3, 4, 4242}},
    };
    for (const auto& c : cases) {
        Processes.Trimmed.clear();
        engine.FreeMemoryBy(c.Mode);
        EXPECT_EQ(SortedTrimmed(), c.Trimmed) << "mode " << int(c.Mode);
    }
    Processes.Trimmed.clear();
    engine.FreeMemoryExcept({"other", "kestrum"});
    EXPECT_EQ(SortedTrimmed(), (std::vector<uint32_t>{1, 2, 3}));
    Processes.Trimmed.clear();
    engine.FreeMemoryOnly({"other", "kworker"}); // kernel threads stay out even when named
    EXPECT_EQ(SortedTrimmed(), (std::vector<uint32_t>{4}));

    Processes.SnapshotFails = true;
    Processes.Trimmed.clear();
    EXPECT_FALSE(engine.FreeMemoryBy(0).SnapshotTaken);
    EXPECT_TRUE(Processes.Trimmed.empty());
}

TEST_F(MemoryOptimizeTest, RunReportAndBoundedFollowUpReclaim) {
    constexpr uint64_t MiB = 1ull << 20;
    TMemoryOptimize engine(Desktop, Processes);
    Processes.Processes = {
        {1, "a", false}, {2, "b", false}, {3, "gone", false}, {4, "locked", false}, {5, "keep", false}};
    auto trimmed = [](uint64_t rb, uint64_t ra, uint64_t ab, uint64_t aa) {
        TTrimResult r{TTrimStatus::Trimmed, rb};
        r.ResidentBefore = rb, r.ResidentAfter = ra, r.AnonBefore = ab, r.AnonAfter = aa;
        return r;
    };
    Processes.Results[1] = trimmed(100 * MiB, 40 * MiB, 60 * MiB, 20 * MiB); // took 60, 40 of it anonymous
    Processes.Results[2] = trimmed(50 * MiB, 50 * MiB, 10 * MiB, 10 * MiB);  // nothing taken
    Processes.Results[3] = TTrimResult{TTrimStatus::Gone};
    Processes.NoRight = {4};
    TFreeRunReport r = engine.FreeMemoryExcept({"keep"});
    EXPECT_EQ(r.Candidates, 5u);
    EXPECT_EQ(r.Skipped, 1u);
    EXPECT_EQ(r.Trimmed, 2u);
    EXPECT_EQ(r.Gone, 1u);
    EXPECT_EQ(r.NoRight, 1u);
    EXPECT_EQ(r.ResidentTaken, 60 * MiB);
    EXPECT_EQ(r.AnonTaken, 40 * MiB);
    ASSERT_EQ(Processes.ReclaimCalls, 1);
    ASSERT_EQ(Processes.ReclaimAsked.size(), 1u);
    EXPECT_EQ(Processes.ReclaimAsked[0].ProcessId, 1u);
    EXPECT_EQ(Processes.ReclaimAsked[0].Bytes, 40 * MiB);
    EXPECT_EQ(Processes.ReclaimSpared, std::vector<uint32_t>{5});

    // Nothing pushed out, or the follow-up switched off: no reclaim.
    Processes.Results[1] = trimmed(100 * MiB, 90 * MiB, 60 * MiB, 60 * MiB);
    engine.FreeMemoryBy(0);
    engine.SetFollowUpReclaim(false);
    Processes.Results[1] = trimmed(100 * MiB, 40 * MiB, 60 * MiB, 20 * MiB);
    engine.FreeMemoryBy(0);
    EXPECT_EQ(Processes.ReclaimCalls, 1);
}

TEST_F(MemoryOptimizeTest, ListFilesLoadAndContain) {
    WriteFile("Lists/black.lst", "[OTHER]\nx=\n"); // no ITEMS section: an empty list
    WriteFile("Lists/white.lst", "; comment\n[items]\nExplorer.exe=\nnotepad=1\n");
    TMemoryOptimize engine(Desktop, Processes);
    EXPECT_TRUE(engine.BlackList().isEmpty());
    EXPECT_EQ(engine.WhiteList(), (QStringList{"Explorer.exe", "notepad"}));

    struct TCase {
        int List;
        QString Name;
        bool Expected;
    } cases[] = {
        {2, "explorer.exe", true},
        {2, "EXPLORER.EXE", true},
        {2, "notepad.exe", true},
        {2, "notepad.bin", true}, // any last four characters
        {2, "notepad", true},
        {2, "notepad.e", false},
        {2, "note", false},
        {2, "   ", false},
        {2, "", false},
        {1, "explorer.exe", false},
        {3, "explorer.exe", false},
        {4, "explorer.exe", false},
        {0, "notepad", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine.ListContains(c.List, c.Name), c.Expected) << c.List << " " << c.Name.toStdString();

    // A missing file leaves the list as it is.
    QFile::remove(Home.File("Lists/white.lst"));
    EXPECT_FALSE(engine.LoadList(2));
    EXPECT_EQ(engine.WhiteList().size(), 2);
    EXPECT_TRUE(engine.LoadList(1));
    EXPECT_FALSE(engine.LoadList(3));
}

TEST_F(MemoryOptimizeTest, ListEditsReachTheFile) {
    TMemoryOptimize engine(Desktop, Processes);
    EXPECT_FALSE(QDir(Home.File("Lists")).exists());
    EXPECT_TRUE(engine.AddListItem(1, " hog.exe "));
    EXPECT_TRUE(QDir(Home.File("Lists")).exists());
    EXPECT_FALSE(engine.AddListItem(1, "HOG.EXE")); // already there
    EXPECT_FALSE(engine.AddListItem(1, "  "));
    EXPECT_FALSE(engine.AddListItem(3, "x"));
    EXPECT_TRUE(engine.AddListItem(1, "big.exe"));
    TIniFile black(Home.File("Lists/black.lst"));
    EXPECT_EQ(black.ReadSection("ITEMS"), (QStringList{"hog.exe", "big.exe"}));

    EXPECT_TRUE(engine.RemoveListItem(1, "Hog.exe"));
    EXPECT_FALSE(engine.RemoveListItem(1, "hog.exe"));
    EXPECT_EQ(black.ReadSection("ITEMS"), QStringList{"big.exe"});

    // Removing when the file is gone still changes the list, but reports false.
    EXPECT_TRUE(engine.AddListItem(2, "a.exe"));
    QFile::remove(Home.File("Lists/white.lst"));
    EXPECT_FALSE(engine.RemoveListItem(2, "a.exe"));
    EXPECT_TRUE(engine.WhiteList().isEmpty());

    // Saving an empty list leaves the file alone; a full one rewrites the section in list order.
    WriteFile("Lists/white.lst", "[ITEMS]\nold=\n[KEEP]\nk=v\n");
    EXPECT_FALSE(engine.SaveList(2));
    EXPECT_EQ(ReadFile("Lists/white.lst"), QByteArray("[ITEMS]\nold=\n[KEEP]\nk=v\n"));
    EXPECT_TRUE(engine.AddListItem(1, "c.exe"));
    QFile::remove(Home.File("Lists/black.lst"));
    EXPECT_TRUE(engine.SaveList(1));
    EXPECT_EQ(black.ReadSection("ITEMS"), (QStringList{"big.exe", "c.exe"}));
    EXPECT_FALSE(engine.SaveList(5));
}

// Which ranked programs run is looked up every few ticks, not at each: a ranked program that starts in the
// background is protected within a minute, and at once when it comes to the front.
TEST_F(MemoryOptimizeTest, RunningProgramsAreLookedUpEveryFewTicksOrWhenInFront) {
    TMemoryOptimize engine(Desktop, Processes);
    AddProgram(10, "editor");
    AddProgram(11, "browser", false);
    Focus(11, 2, engine); // ranked, not running
    Focus(10, 1, engine);
    EXPECT_EQ(engine.ProtectedList(), QStringList{"editor"});
    Processes.Processes.push_back({11, "browser", false}); // starts behind the editor
    uint32_t ticks = 1;
    while (!engine.ProtectedList().contains(u"browser"_qs) && ticks <= TMemoryOptimize::RunningCheckEvery) {
        Focus(10, 1, engine);
        ++ticks;
    }
    EXPECT_GT(ticks, 1u);
    EXPECT_LE(ticks, TMemoryOptimize::RunningCheckEvery);
    EXPECT_EQ(engine.ProtectedList(), (QStringList{"browser", "editor"}));

    AddProgram(12, "mail", false);
    Focus(12, 3, engine); // ranked above the editor, not running
    Processes.Processes.push_back({12, "mail", false});
    Focus(12, 1, engine);
    EXPECT_EQ(engine.ProtectedList(), (QStringList{"mail", "browser", "editor"}));
}
