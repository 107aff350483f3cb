#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <map>

#include "common/QtApp.h"
#include "common/XDisplay.h"
#include "desktop/OrvAntiDisturb.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"

using namespace kestrum;
using platform::TFakeDesktop;
using platform::TFakeProcesses;
using platform::TRect;

namespace {

std::string Fixture(const char* rel) {
    return std::string(KESTRUM_FIXTURES) + "/" + rel;
}

// The fake process table plus command lines, counting snapshots to show whether the process scan ran.
class TScriptedProcesses : public platform::IProcesses {
public:
    TFakeProcesses Inner;
    std::map<uint32_t, std::vector<std::string>> CommandLines;
    int Snapshots = 0;
    std::optional<std::vector<platform::TProcessEntry>> Snapshot() override { return ++Snapshots, Inner.Snapshot(); }
    std::string ExecutablePath(uint32_t pid) override { return ++PathReads, Inner.ExecutablePath(pid); }
    int PathReads = 0;
    platform::TTrimResult TrimWorkingSet(uint32_t pid) override { return Inner.TrimWorkingSet(pid); }
    uint32_t CurrentProcessId() override { return Inner.CurrentProcessId(); }
    std::vector<std::string> CommandLine(uint32_t pid) override { return CommandLines[pid]; }
};

// A detector with the fakes it looks at and a record of its notifications (the state seen by the handler).
struct TRig {
    TFakeDesktop Desktop;
    TScriptedProcesses Processes;
    std::unique_ptr<TOrvAntiDisturb> Detector;
    std::vector<bool> Notified;
    TRig() {
        test::EnsureQtApp();
        Detector = std::make_unique<TOrvAntiDisturb>(Desktop, Processes);
        QObject::connect(Detector.get(), &TOrvAntiDisturb::OnStateChanged,
                         [this](TOrvAntiDisturb* s) { Notified.push_back(s->State()); });
    }
    void AddProcess(uint32_t pid, const std::string& path) {
        Processes.Inner.Processes.push_back({pid, path.substr(path.find_last_of('/') + 1), false});
        Processes.Inner.Paths[pid] = path;
    }
    void Foreground(TRect r, bool shell = false) {
        Desktop.Foreground = 7;
        Desktop.Rects[7] = r;
        if (shell) Desktop.ShellWindows.insert(7);
    }
};

} // namespace

TEST(OrvAntiDisturb, DefaultsAndTimer) {
    TRig r;
    EXPECT_TRUE(r.Detector->Enabled());
    EXPECT_EQ(r.Detector->Inteval(), 3000u);
    EXPECT_FALSE(r.Detector->State());
    r.Detector->SetInteval(500);
    EXPECT_EQ(r.Detector->Inteval(), 500u);

    // A zero period stops the poll instead of spinning on every pass of the event loop.
    int polls = 0;
    struct TCounting : TOrvAntiDisturb {
        int* Polls;
        TCounting(TFakeDesktop& d, platform::IProcesses& p, int* n) : TOrvAntiDisturb(d, p), Polls(n) {}
        bool DetectState() override { return ++*Polls, false; }
    } counting(r.Desktop, r.Processes, &polls);
    counting.SetInteval(0);
    EXPECT_TRUE(counting.Enabled());
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(polls, 0);
}

TEST(OrvAntiDisturb, FullScreenForegroundRule) {
    struct {
        const char* What;
        TRect Window;
        bool Shell;
        bool FullScreen;
    } cases[] = {
        {"exactly the screen", {0, 0, 1920, 1080}, false, true},
        {"one pixel larger", {0, 0, 1921, 1080}, false, false},
        {"moved by one pixel", {1, 0, 1921, 1080}, false, false},
        {"maximized with its frame past the edges", {-8, -8, 1928, 1088}, false, false},
        {"the desktop covering the screen", {0, 0, 1920, 1080}, true, false},
        {"on the secondary monitor", {1920, 0, 3840, 1080}, false, false},
    };
    for (const auto& c : cases) {
        TRig r;
        r.Foreground(c.Window, c.Shell);
        EXPECT_EQ(r.Detector->IsFullScreenForeground(), c.FullScreen) << c.What;
    }
    TRig none;
    EXPECT_FALSE(none.Detector->IsFullScreenForeground());
    none.Desktop.Foreground = 9; // a window whose rectangle cannot be read
    EXPECT_FALSE(none.Detector->IsFullScreenForeground());
    // The primary screen need not start at the origin.
    TRig offset;
    offset.Desktop.Screen = {1280, 0, 3200, 1080};
    offset.Foreground({1280, 0, 3200, 1080});
    EXPECT_TRUE(offset.Detector->IsFullScreenForeground());
}

TEST(OrvAntiDisturb, GameDetectionOverTheProcessList) {
    TRig r;
    r.AddProcess(10, Fixture("elf/plain_prog"));
    r.AddProcess(11, Fixture("pe/d3dx9_x64.exe"));
    r.AddProcess(12, ""); // path unreadable
    r.Processes.Inner.Processes.push_back({13, "kthreadd", true});
    EXPECT_FALSE(r.Detector->IsGameRunning());
    r.AddProcess(14, Fixture("pe/dplayx_x86.exe"));
    EXPECT_TRUE(r.Detector->IsGameRunning());

    r.Processes.Inner.SnapshotFails = true;
    EXPECT_FALSE(r.Detector->IsGameRunning());

    // Our own process is left out, whatever it links.
    TRig self;
    self.AddProcess(self.Processes.Inner.OwnId, Fixture("elf/gl_prog"));
    EXPECT_FALSE(self.Detector->IsGameRunning());
    self.AddProcess(20, Fixture("elf/gl_prog"));
    EXPECT_TRUE(self.Detector->IsGameRunning());

    // The X server links libGL to draw for everyone; a program of its own name is not taken for a game.
    QTemporaryDir dir;
    const std::string server = dir.filePath("Xvfb").toStdString();
    ASSERT_TRUE(QFile::copy(QString::fromStdString(Fixture("elf/gl_prog")), QString::fromStdString(server)));
    TRig x;
    x.AddProcess(50, server);
    EXPECT_FALSE(x.Detector->IsGameRunning());
}

TEST(OrvAntiDisturb, LaterPollsLookOnlyAtNewOrChangedExecutables) {
    TRig r;
    r.AddProcess(10, Fixture("elf/plain_prog"));
    r.AddProcess(11, ""); // another user's process: nothing to read, now or later
    r.Processes.Inner.Processes.push_back({13, "kthreadd", true});
    EXPECT_FALSE(r.Detector->IsGameRunning());
    const int reads = r.Processes.PathReads;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(r.Detector->IsGameRunning());
    // Only the readable process's link, and that once in three polls, to notice an exec.
    EXPECT_EQ(r.Processes.PathReads - reads, 1);
    // The same process runs a game now (a wrapper script that execs the game keeps its id): seen within
    // three polls.
    r.Processes.Inner.Paths[10] = Fixture("elf/gl_prog");
    bool seen = false;
    for (int i = 0; i < 3 && !seen; ++i) seen = r.Detector->IsGameRunning();
    EXPECT_TRUE(seen);
    // A new process is judged at its first poll.
    r.AddProcess(20, Fixture("elf/gl_prog"));
    r.Processes.Inner.Paths[10] = Fixture("elf/plain_prog");
    r.Processes.Inner.Processes.erase(r.Processes.Inner.Processes.begin()); // 10 ends
    EXPECT_TRUE(r.Detector->IsGameRunning());
    r.Processes.Inner.Processes.pop_back(); // and 20 too
    // They end: the verdicts go with them.
    EXPECT_FALSE(r.Detector->IsGameRunning());
}

TEST(OrvAntiDisturb, WineProgramsAreJudgedByTheirWindowsExecutable) {
    TRig r;
    r.AddProcess(30, "/usr/lib/wine/wine64-preloader");
    EXPECT_FALSE(r.Detector->IsGameRunning()); // its command line names no Windows program
    r.Processes.CommandLines[30] = {"Z:" + Fixture("pe/plain_x86.exe")};
    EXPECT_FALSE(r.Detector->IsGameRunning());
    r.AddProcess(31, "/usr/bin/wine");
    r.Processes.CommandLines[31] = {"/usr/bin/wine", Fixture("pe/opengl32_x86.exe")};
    EXPECT_TRUE(r.Detector->IsGameRunning());
    // The real backend reads the arguments a process shows, ours included.
    auto real = platform::MakeLinuxProcesses("/proc");
    const auto args = real->CommandLine(real->CurrentProcessId());
    ASSERT_FALSE(args.empty());
    EXPECT_NE(args[0].find("test_hotkeys"), std::string::npos);
}

TEST(OrvAntiDisturb, FullScreenAnswerSkipsTheProcessScan) {
    test::EnsureQtApp();
    TFakeDesktop desktop;
    TScriptedProcesses processes;
    TOrvAntiDisturb d(desktop, processes);
    desktop.Foreground = 1;
    desktop.Rects[1] = desktop.Screen;
    EXPECT_TRUE(d.DetectState());
    EXPECT_EQ(processes.Snapshots, 0);
    desktop.Rects[1].Right -= 1;
    EXPECT_FALSE(d.DetectState());
    EXPECT_EQ(processes.Snapshots, 1);
}

TEST(OrvAntiDisturb, NotifiesOnlyOnChangesAndDisablingWithdraws) {
    TRig r;
    r.AddProcess(40, Fixture("pe/d3d9_x64.exe")); // running from before the first tick
    r.Detector->Poll();
    r.Detector->Poll();
    EXPECT_TRUE(r.Detector->State());
    EXPECT_EQ(r.Notified, (std::vector<bool>{true}));

    r.Detector->SetEnabled(false); // withdrawn at once, with State already false
    EXPECT_FALSE(r.Detector->Enabled());
    EXPECT_FALSE(r.Detector->State());
    EXPECT_EQ(r.Notified, (std::vector<bool>{true, false}));
    r.Detector->SetEnabled(false);
    EXPECT_EQ(r.Notified.size(), 2u);

    r.Detector->SetEnabled(true); // no immediate check
    EXPECT_FALSE(r.Detector->State());
    EXPECT_EQ(r.Notified.size(), 2u);
    r.Detector->Poll();
    EXPECT_EQ(r.Notified, (std::vector<bool>{true, false, true}));

    r.Processes.Inner.Processes.clear();
    r.Detector->Poll();
    EXPECT_EQ(r.Notified, (std::vector<bool>{true, false, true, false}));
}

TEST(OrvAntiDisturb, TimerDrivesThePollAndSubclassesReplaceTheRule) {
    test::EnsureQtApp();
    struct TAlways : TOrvAntiDisturb {
        using TOrvAntiDisturb::TOrvAntiDisturb;
        bool DetectState() override { return true; }
    };
    TFakeDesktop desktop;
    TFakeProcesses processes;
    TAlways d(desktop, processes);
    d.SetInteval(10);
    QEventLoop loop;
    QObject::connect(&d, &TOrvAntiDisturb::OnStateChanged, &loop, &QEventLoop::quit);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_TRUE(d.State());
}

// With window changes reported, a quiet desktop is checked seldom and a change is checked at once; while the
// state is on, the ordinary period sees its end.
TEST(OrvAntiDisturb, WindowEventsStretchTheQuietPollAndWakeIt) {
    TRig r;
    EXPECT_EQ(r.Detector->CurrentPeriod(), 3000);
    r.Detector->SetWindowEventsWatched(true);
    EXPECT_EQ(r.Detector->CurrentPeriod(), int(3000 * TOrvAntiDisturb::QuietStretch));

    r.Foreground(r.Desktop.Screen); // a program goes full-screen: a window change
    r.Detector->WindowsChanged();
    r.Detector->WindowsChanged(); // a burst makes one check
    ASSERT_TRUE(test::WaitFor([&] { return !r.Notified.empty(); }, 3000));
    EXPECT_EQ(r.Notified, std::vector<bool>{true});
    EXPECT_EQ(r.Detector->CurrentPeriod(), 3000);

    r.Desktop.Foreground = 0;
    r.Detector->Poll();
    EXPECT_EQ(r.Notified, (std::vector<bool>{true, false}));
    EXPECT_EQ(r.Detector->CurrentPeriod(), int(3000 * TOrvAntiDisturb::QuietStretch));

    // Switched off: no change wakes it.
    r.Detector->SetEnabled(false);
    EXPECT_EQ(r.Detector->CurrentPeriod(), 0);
    r.Foreground(r.Desktop.Screen);
    r.Detector->WindowsChanged();
    EXPECT_FALSE(test::WaitFor([&] { return r.Notified.size() > 2; }, 600));
}
