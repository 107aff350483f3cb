// The freeing run for real, on children this test starts: watching keeps the memory a child is using,
// and the follow-up frees what went to swap where the kernel allows it (skipped, with the reason, where
// it does not). The node-wide reclaim is bounded by what the child pushed out.
#include <gtest/gtest.h>

#include <fstream>

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

class IntegrationFollowUp : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureQtApp(); }
    std::string MakeFile(const QString& name) {
        const std::string path = Home.File(name).toStdString();
        std::ofstream out(path, std::ios::binary);
        std::string block(1 << 20, 'f');
        for (size_t i = 0; i < kSize / block.size(); ++i) out << block;
        out.close();
        int fd = ::open(path.c_str(), O_RDONLY);
        fsync(fd);
        close(fd);
        return path;
    }

    test::TTestHome Home;
    std::unique_ptr<IProcesses> Real = MakeLinuxProcesses("/proc");
    TChildrenOnly Children{*Real};
    TFakeDesktop Desktop;
};

} // namespace

TEST_F(IntegrationFollowUp, MemoryInUseStaysAndIdleMemoryLeaves) {
    TChild hot(TChild::HotFile, MakeFile("hot.bin"), kSize);
    TChild idle(TChild::FileBacked, MakeFile("idle.bin"), kSize);
    ASSERT_TRUE(hot.Ready() && idle.Ready());
    Children.Names = {{static_cast<uint32_t>(hot.Pid()), "hot"}, {static_cast<uint32_t>(idle.Pid()), "idle"}};
    TMemoryOptimize engine(Desktop, Children);
    engine.SetWatchMs(500);
    const TRss hotBefore = ReadRss(hot.Pid()), idleBefore = ReadRss(idle.Pid());
    const TFreeRunReport r = engine.FreeMemoryBy(TMemoryOptimize::MODE_ALL);
    if (r.NoRight) GTEST_SKIP() << "process_madvise(MADV_PAGEOUT) is not permitted here: needs root or CAP_SYS_NICE";
    if (r.Watched < 2) GTEST_SKIP() << "the accessed bits of the children could not be cleared (/proc/PID/clear_refs)";
    EXPECT_EQ(r.Trimmed, 2u);
    EXPECT_GE(r.HotBytesKept, kSize * 3 / 4);
    EXPECT_GE(ReadRss(hot.Pid()).FileKb, hotBefore.FileKb * 9 / 10);
    EXPECT_LT(ReadRss(idle.Pid()).FileKb, idleBefore.FileKb / 4) << "before " << idleBefore.FileKb << " kB";
}

TEST_F(IntegrationFollowUp, RunsForRealWhereTheKernelAllowsIt) {
    constexpr size_t kAnon = 64u << 20;
    TChild child(TChild::Anonymous, "", kAnon);
    ASSERT_TRUE(child.Ready());
    Children.Names = {{static_cast<uint32_t>(child.Pid()), "victim"}};
    TMemoryOptimize engine(Desktop, Children);
    engine.SetWatchMs(0);
    const TFreeRunReport r = engine.FreeMemoryBy(TMemoryOptimize::MODE_ALL);
    if (r.NoRight) GTEST_SKIP() << "process_madvise(MADV_PAGEOUT) is not permitted here: needs root or CAP_SYS_NICE";
    ASSERT_EQ(r.Trimmed, 1u);
    if (MeminfoKb("SwapTotal") == 0) {
        EXPECT_TRUE(r.NoSwap);
        EXPECT_EQ(r.AnonTaken, 0u);
        EXPECT_EQ(r.FollowUp, FOLLOWUP_NOT_NEEDED);
        GTEST_SKIP() << "no swap is on: anonymous pages cannot leave, so there is nothing to follow up "
                        "(checked: the run says NoSwap)";
    }
    EXPECT_FALSE(r.NoSwap);
    EXPECT_GT(r.AnonTaken, kAnon / 2);
    switch (r.FollowUp) {
        case FOLLOWUP_NOT_NEEDED:
            GTEST_SKIP() << "the pages left memory at once (zram): nothing waited in the swap cache";
        case FOLLOWUP_NOT_OFFERED:
            GTEST_SKIP() << "this kernel offers neither cgroup v2 memory.reclaim nor per-node reclaim";
        default:
            break;
    }
    EXPECT_TRUE(r.FollowUp == FOLLOWUP_CGROUPS || r.FollowUp == FOLLOWUP_NODES) << int(r.FollowUp);
    EXPECT_GT(r.SwapCacheGrowth, 0u);
    EXPECT_LE(r.Reclaim.BytesRequested, r.AnonTaken); // bounded by what the run pushed out
    EXPECT_GT(r.Reclaim.BytesRequested, 0u);
    // Most of what waited in the swap cache is gone.
    EXPECT_LT(ReadRss(child.Pid()).AnonKb, kAnon / 1024 / 4);
    EXPECT_LT(MeminfoKb("SwapCached") * 1024, r.SwapCacheGrowth / 2 + (16u << 20));
}
