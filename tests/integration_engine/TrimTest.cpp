// The real Linux trim against children this test starts: a file-backed one, an anonymous one and one
// the smart mode protects. Nothing else on the machine is touched.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

#include "common/QtApp.h"
#include "common/TestHome.h"
#include "engine/MemoryOptimize.h"
#include "platform/IProcesses.h"
#include "platform/fake/FakeDesktop.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

constexpr size_t kSize = 32u << 20;

struct TRss {
    uint64_t AnonKb = 0, FileKb = 0;
};

TRss ReadRss(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    TRss r;
    std::string key;
    uint64_t value;
    while (in >> key) {
        if (key == "RssAnon:" && in >> value)
            r.AnonKb = value;
        else if (key == "RssFile:" && in >> value)
            r.FileKb = value;
    }
    return r;
}

uint64_t SwapFreeKb() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    uint64_t value;
    while (in >> key)
        if (key == "SwapFree:" && in >> value) return value;
    return 0;
}

// A child that maps and touches memory, reports ready through a pipe and waits to be killed.
class TChild {
public:
    enum TKind { FileBacked, Anonymous, FileWithLockedMiddle };
    TChild(TKind kind, const std::string& file, size_t size) {
        int fds[2];
        if (pipe(fds) != 0) return;
        FPid = fork();
        if (FPid == 0) {
            close(fds[0]);
            volatile char sum = 0;
            if (kind == FileWithLockedMiddle) {
                // Three mappings in a row; the kernel refuses to page out the locked middle one.
                int fd = ::open(file.c_str(), O_RDONLY);
                auto* p = static_cast<char*>(mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
                if (p == MAP_FAILED) _exit(1);
                for (size_t i = 0; i < size; i += 4096) sum += p[i];
                // The system call itself: AddressSanitizer's mlock does nothing, and the pages would leave.
                if (syscall(SYS_mlock, p + size / 3, size / 3) != 0) _exit(2);
            } else if (kind == FileBacked) {
                int fd = ::open(file.c_str(), O_RDONLY);
                auto* p = static_cast<char*>(mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
                if (p == MAP_FAILED) _exit(1);
                for (size_t i = 0; i < size; i += 4096) sum += p[i];
            } else {
                auto* p =
                    static_cast<char*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
                if (p == MAP_FAILED) _exit(1);
                for (size_t i = 0; i < size; i += 4096) p[i] = static_cast<char>(i / 4096 + 1);
            }
            char c = 'r';
            if (write(fds[1], &c, 1) != 1) _exit(1);
            for (;;) pause();
        }
        close(fds[1]);
        char c = 0;
        FReady = FPid > 0 && read(fds[0], &c, 1) == 1;
        close(fds[0]);
    }
    ~TChild() {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
    }
    pid_t Pid() const { return FPid; }
    bool Ready() const { return FReady; }

private:
    pid_t FPid = -1;
    bool FReady = false;
};

// The real backend, but its snapshot shows only the children, under names of our choosing.
class TChildrenOnly final : public IProcesses {
public:
    explicit TChildrenOnly(IProcesses& real) : FReal(real) {}
    std::map<uint32_t, std::string> Names;
    std::optional<std::vector<TProcessEntry>> Snapshot() override {
        std::vector<TProcessEntry> out;
        for (auto& [pid, name] : Names) out.push_back({pid, name, false});
        return out;
    }
    std::string ExecutablePath(uint32_t pid) override {
        auto it = Names.find(pid);
        return it == Names.end() ? std::string() : "/opt/test/" + it->second;
    }
    TTrimResult TrimWorkingSet(uint32_t pid) override {
        EXPECT_TRUE(Names.count(pid)) << "asked to trim a process the test did not start";
        return Names.count(pid) ? FReal.TrimWorkingSet(pid) : TTrimResult{};
    }
    uint32_t CurrentProcessId() override { return FReal.CurrentProcessId(); }

private:
    IProcesses& FReal;
};

class IntegrationTrim : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureQtApp();
        FFile = MakeFile("mapped.bin");
        FOtherFile = MakeFile("other.bin");
    }
    std::string MakeFile(const QString& name) {
        const std::string path = Home.File(name).toStdString();
        std::ofstream out(path, std::ios::binary);
        std::string block(1 << 20, 'k');
        for (size_t i = 0; i < kSize / block.size(); ++i) out << block;
        out.close();
        // Clean pages only: dirty ones would wait for writeback.
        int fd = ::open(path.c_str(), O_RDONLY);
        fsync(fd);
        close(fd);
        return path;
    }
    // Skips the test when this process may not advise other processes.
    void RequireRight(TTrimResult r) {
        if (r.Status == TTrimStatus::NoRight)
            GTEST_SKIP() << "process_madvise(MADV_PAGEOUT) is not permitted here: needs root or CAP_SYS_NICE";
        ASSERT_EQ(r.Status, TTrimStatus::Trimmed) << "errno " << r.Error;
    }

    test::TTestHome Home;
    std::string FFile, FOtherFile;
    std::unique_ptr<IProcesses> Real = MakeLinuxProcesses("/proc");
};

} // namespace

TEST_F(IntegrationTrim, FileBackedPagesLeave) {
    TChild child(TChild::FileBacked, FFile, kSize);
    ASSERT_TRUE(child.Ready());
    const TRss before = ReadRss(child.Pid());
    ASSERT_GE(before.FileKb, kSize / 1024 * 9 / 10);
    TTrimResult r = Real->TrimWorkingSet(child.Pid());
    RequireRight(r);
    const TRss after = ReadRss(child.Pid());
    EXPECT_LT(after.FileKb, before.FileKb / 4) << "before " << before.FileKb << " kB";
    EXPECT_GT(r.BytesRequested, kSize);
    EXPECT_GT(r.ResidentBefore, r.ResidentAfter + kSize / 2);
}

TEST_F(IntegrationTrim, AnonymousPagesLeaveWhenSwapIsThere) {
    TChild child(TChild::Anonymous, FFile, kSize);
    ASSERT_TRUE(child.Ready());
    const TRss before = ReadRss(child.Pid());
    ASSERT_GE(before.AnonKb, kSize / 1024 * 9 / 10);
    TTrimResult r = Real->TrimWorkingSet(child.Pid());
    RequireRight(r);
    if (SwapFreeKb() < kSize / 1024 * 2)
        GTEST_SKIP() << "no swap space: anonymous pages have nowhere to go (file-backed trimming is tested alone)";
    const TRss after = ReadRss(child.Pid());
    EXPECT_LT(after.AnonKb, before.AnonKb / 4) << "before " << before.AnonKb << " kB";
    EXPECT_GT(r.AnonBefore, r.AnonAfter + kSize / 2);
}

TEST_F(IntegrationTrim, GoneProcessIsReportedAsGone) {
    pid_t pid;
    {
        TChild child(TChild::Anonymous, FFile, 4096);
        pid = child.Pid();
    }
    EXPECT_EQ(Real->TrimWorkingSet(static_cast<uint32_t>(pid)).Status, TTrimStatus::Gone);
}

TEST_F(IntegrationTrim, SmartModeLeavesTheProtectedChildAlone) {
    TChild victim(TChild::FileBacked, FFile, kSize);
    // Its own file: the kernel leaves pages that another process maps where they are.
    TChild keeper(TChild::FileBacked, FOtherFile, kSize);
    ASSERT_TRUE(victim.Ready() && keeper.Ready());
    TChildrenOnly processes(*Real);
    processes.Names = {{static_cast<uint32_t>(victim.Pid()), "victim"},
                       {static_cast<uint32_t>(keeper.Pid()), "keeper"}};
    TFakeDesktop desktop;
    desktop.Foreground = 1;
    desktop.Owners[1] = static_cast<uint32_t>(keeper.Pid());

    TMemoryOptimize engine(desktop, processes);
    engine.SetSmartMode(true);
    engine.TrackUsage();
    ASSERT_EQ(engine.ProtectedList(), QStringList{"keeper"});

    const TRss victimBefore = ReadRss(victim.Pid()), keeperBefore = ReadRss(keeper.Pid());
    TFreeRunReport report = engine.FreeMemory();
    if (report.NoRight) GTEST_SKIP() << "process_madvise(MADV_PAGEOUT) is not permitted here";
    EXPECT_EQ(report.Trimmed, 1u);
    EXPECT_EQ(report.Skipped, 1u);
    EXPECT_GT(report.ResidentTaken, kSize / 2);
    EXPECT_LT(ReadRss(victim.Pid()).FileKb, victimBefore.FileKb / 4);
    // The protected child shares the file's pages but keeps them mapped.
    EXPECT_GE(ReadRss(keeper.Pid()).FileKb, keeperBefore.FileKb * 95 / 100);
}

TEST_F(IntegrationTrim, OtherUsersProcessWithoutRightIsNoRight) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to start a trimmer under another user";
    TChild victim(TChild::Anonymous, FFile, 1 << 20);
    ASSERT_TRUE(victim.Ready());
    pid_t trimmer = fork();
    if (trimmer == 0) {
        // An ordinary user without capabilities asking to trim root's process.
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
        TTrimResult r = MakeLinuxProcesses("/proc")->TrimWorkingSet(static_cast<uint32_t>(victim.Pid()));
        _exit(r.Status == TTrimStatus::NoRight ? 0 : 20 + static_cast<int>(r.Status));
    }
    int status = 0;
    ASSERT_EQ(waitpid(trimmer, &status, 0), trimmer);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop rights; 20+: the status the trim reported";
}

TEST_F(IntegrationTrim, RefusedMappingIsSkippedAndTheRestStillTrimmed) {
    constexpr size_t kThird = 8u << 20;
    TChild child(TChild::FileWithLockedMiddle, FFile, 3 * kThird);
    ASSERT_TRUE(child.Ready()) << "the child could not map or lock its file";
    const TRss before = ReadRss(child.Pid());
    ASSERT_GE(before.FileKb, 3 * kThird / 1024 * 9 / 10);
    TTrimResult r = Real->TrimWorkingSet(child.Pid());
    RequireRight(r);
    const TRss after = ReadRss(child.Pid());
    // The locked third stays; the mappings on both sides of it are gone.
    EXPECT_GE(after.FileKb, kThird / 1024 * 9 / 10);
    EXPECT_LT(after.FileKb, kThird / 1024 * 5 / 4) << "before " << before.FileKb << " kB";
}
