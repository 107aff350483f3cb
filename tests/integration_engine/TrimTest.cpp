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

#include <QDir>
#include <map>
#include <string>

#include "TestChildren.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "engine/MemoryOptimize.h"
#include "platform/IProcesses.h"
#include "platform/fake/FakeDesktop.h"

using namespace kestrum;
using namespace kestrum::platform;
using namespace kestrum::test;

namespace {

constexpr size_t kSize = 32u << 20;

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
    // The locked third stays; the mappings on both sides of it are gone. A few hundred KiB may stay besides:
    // pages the child touched last can still wait in its processor's batch for the kernel's lists, where no
    // page-out reaches them. A third left whole would be twice that margin.
    EXPECT_GE(after.FileKb, kThird / 1024 * 9 / 10);
    EXPECT_LT(after.FileKb, kThird / 1024 * 3 / 2) << "before " << before.FileKb << " kB";
}

TEST_F(IntegrationTrim, NeverTrimListKeepsItsProgramWhileAnotherIsTrimmed) {
    TChild victim(TChild::FileBacked, FFile, kSize);
    TChild keeper(TChild::FileBacked, FOtherFile, kSize);
    ASSERT_TRUE(victim.Ready() && keeper.Ready());
    TChildrenOnly processes(*Real);
    // Listed as "keeper", running as a versioned executable.
    processes.Names = {{static_cast<uint32_t>(victim.Pid()), "victim"},
                       {static_cast<uint32_t>(keeper.Pid()), "keeper-2.1"}};
    QDir().mkpath(Home.File("Lists"));
    {
        std::ofstream list(Home.File("Lists/white.lst").toStdString());
        list << "[ITEMS]\r\nkeeper=\r\n";
    }
    TFakeDesktop desktop;
    TMemoryOptimize engine(desktop, processes);
    engine.SetWatchMs(0);
    const TRss victimBefore = ReadRss(victim.Pid()), keeperBefore = ReadRss(keeper.Pid());
    const TFreeRunReport report = engine.FreeMemoryBy(TMemoryOptimize::MODE_SMART);
    if (report.NoRight) GTEST_SKIP() << "process_madvise(MADV_PAGEOUT) is not permitted here";
    EXPECT_EQ(report.Trimmed, 1u);
    EXPECT_LT(ReadRss(victim.Pid()).FileKb, victimBefore.FileKb / 4);
    EXPECT_GE(ReadRss(keeper.Pid()).FileKb, keeperBefore.FileKb * 95 / 100);
    ASSERT_EQ(report.TopPrograms.size(), 1u);
    EXPECT_EQ(report.TopPrograms[0].Name, "victim");
    EXPECT_GT(report.TopPrograms[0].Bytes, kSize / 2);
}
