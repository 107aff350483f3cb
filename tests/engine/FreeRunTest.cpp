// The freeing run against the scripted kernel of the fake backend: which follow-up it picks and how far
// it lets it go, what watching spares, and how the threads share the work.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <algorithm>
#include <map>
#include <thread>

#include "common/QtApp.h"
#include "common/TestHome.h"
#include "engine/FreeRun.h"
#include "engine/MemoryOptimize.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

constexpr uint64_t MiB = 1ull << 20;

TTrimResult Took(uint64_t anonBefore, uint64_t anonAfter) {
    TTrimResult r{TTrimStatus::Trimmed, anonBefore};
    r.ResidentBefore = anonBefore + MiB, r.ResidentAfter = anonAfter + MiB;
    r.AnonBefore = anonBefore, r.AnonAfter = anonAfter;
    return r;
}

class FreeRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureQtApp();
        // Two programs that lose 300 and 100 MiB of anonymous memory, one that is spared.
        Processes.Processes = {{1, "a", false}, {2, "b", false}, {5, "keep", false}, {6, "kworker", true}};
        Processes.Results[1] = Took(300 * MiB, 0);
        Processes.Results[2] = Took(100 * MiB, 0);
        Processes.Resident = {{1, 301 * MiB}, {2, 101 * MiB}, {5, 500 * MiB}};
        Processes.Memory = TMemoryCounters{};
        Processes.Memory->SwapTotal = 4096 * MiB;
        Processes.Memory->SwapCached = 50 * MiB;
    }
    TFreeRunReport Run() {
        TMemoryOptimize engine(Desktop, Processes);
        engine.SetWatchMs(WatchMs);
        engine.SetMaxThreads(Threads);
        return engine.FreeMemoryExcept({"keep"});
    }
    uint64_t NodeTotal() const {
        uint64_t sum = 0;
        for (uint64_t b : Processes.NodeRequests) sum += b;
        return sum;
    }

    test::TTestHome Home;
    TFakeDesktop Desktop;
    TFakeProcesses Processes;
    int WatchMs = 0;
    unsigned Threads = 0;
};

} // namespace

TEST_F(FreeRunTest, FollowUpPrefersCgroupsThenNodesAndSkipsCleanlyWithNeither) {
    struct TCase {
        const char* Name;
        bool Cgroups, Nodes;
        uint8_t Kind;
        int CgroupCalls;
        uint64_t NodeBytes;
    } cases[] = {
        {"cgroup v2", true, true, FOLLOWUP_CGROUPS, 1, 0},
        {"per-node only", false, true, FOLLOWUP_NODES, 1, 375 * MiB},
        {"neither", false, false, FOLLOWUP_NOT_OFFERED, 1, 0},
    };
    for (const auto& c : cases) {
        SetUp();
        Processes.ReclaimCalls = 0;
        Processes.NodeRequests.clear();
        Processes.SwapCacheShare = 1; // a swap file: everything pushed out waits as swap cache
        Processes.CgroupReclaim = c.Cgroups;
        Processes.NodeReclaim = c.Nodes;
        const TFreeRunReport r = Run();
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(r.FollowUp, c.Kind);
        EXPECT_FALSE(r.NoSwap);
        EXPECT_EQ(r.SwapCacheGrowth, 400 * MiB);
        EXPECT_EQ(Processes.ReclaimCalls, c.CgroupCalls);
        ASSERT_EQ(Processes.ReclaimAsked.size(), 2u);
        EXPECT_EQ(Processes.ReclaimAsked[0].Bytes, 300 * MiB);
        EXPECT_EQ(Processes.ReclaimSpared, std::vector<uint32_t>{5}); // not the kernel thread
        EXPECT_EQ(NodeTotal(), c.NodeBytes);
        if (c.Kind == FOLLOWUP_NODES) {
            // In small steps; the last sixteenth (25 MiB) is left to the kernel. The spared program's memory
            // is measured around it.
            std::vector<uint64_t> steps(23, TFreeRun::kNodeStepBytes);
            steps.push_back(7 * MiB);
            EXPECT_EQ(Processes.NodeRequests, steps);
            EXPECT_EQ(r.NodeStop, NODESTOP_TAIL);
            EXPECT_EQ(r.SparedResidentBefore, 500 * MiB);
            EXPECT_EQ(r.SparedResidentAfter, 500 * MiB);
            EXPECT_EQ(r.Reclaim.BytesDone, 375 * MiB);
            EXPECT_EQ(Processes.Memory->SwapCached, 75 * MiB);
        }
        EXPECT_EQ(r.Reclaim.Available, c.Kind != FOLLOWUP_NOT_OFFERED);
    }
}

TEST_F(FreeRunTest, FollowUpIsBoundedByWhatStillWaitsInMemory) {
    Processes.CgroupReclaim = true;
    Processes.SwapCacheShare = 0; // zram: pages left memory at once; a reclaim would take other memory
    TFreeRunReport r = Run();
    EXPECT_EQ(r.FollowUp, FOLLOWUP_NOT_NEEDED);
    EXPECT_EQ(Processes.ReclaimCalls, 0);

    SetUp();
    Processes.CgroupReclaim = true;
    Processes.SwapCacheShare = 0.5; // half of it still waits: each process is asked for its half
    r = Run();
    EXPECT_EQ(r.FollowUp, FOLLOWUP_CGROUPS);
    ASSERT_EQ(Processes.ReclaimAsked.size(), 2u);
    EXPECT_EQ(Processes.ReclaimAsked[0].Bytes, 150 * MiB);
    EXPECT_EQ(Processes.ReclaimAsked[1].Bytes, 50 * MiB);

    // Counters unreadable: the per-process figures bound the targeted reclaim, the node-wide one is not
    // tried (nothing would bound it).
    SetUp();
    Processes.ReclaimCalls = 0;
    Processes.Memory.reset();
    Processes.CgroupReclaim = false;
    Processes.NodeReclaim = true;
    r = Run();
    EXPECT_EQ(r.FollowUp, FOLLOWUP_NOT_OFFERED);
    EXPECT_EQ(Processes.ReclaimAsked[0].Bytes, 300 * MiB);
    EXPECT_TRUE(Processes.NodeRequests.empty());
    EXPECT_FALSE(r.NoSwap); // not known

    // Switched off: nothing asked at all.
    SetUp();
    Processes.ReclaimCalls = 0;
    Processes.SwapCacheShare = 1;
    Processes.NodeReclaim = true;
    TMemoryOptimize engine(Desktop, Processes);
    engine.SetWatchMs(0);
    engine.SetFollowUpReclaim(false);
    r = engine.FreeMemoryExcept({"keep"});
    EXPECT_EQ(r.FollowUp, FOLLOWUP_OFF);
    EXPECT_EQ(Processes.ReclaimCalls, 0);
    EXPECT_TRUE(Processes.NodeRequests.empty());
}

// The node-wide follow-up against scripted kernel counters: it goes on while each step takes only what
// the run pushed out, and stops at the first step that takes much else, looks at many pages it leaves,
// pushes a page of a program in use (1 ran during the pre-watch) out to swap, or much of the spared one (5).
TEST_F(FreeRunTest, NodeReclaimStopsAtTheFirstStepThatTakesElsewhere) {
    constexpr uint64_t Step = TFreeRun::kNodeStepBytes;
    struct TCase {
        const char* Name;
        bool Counters;
        double Efficiency;
        std::vector<uint64_t> Foreign;
        std::vector<double> ScanRatio;
        std::map<size_t, std::pair<uint32_t, uint64_t>> SwapOut;
        double SparedLoss;
        uint8_t Stop;
        size_t Steps;
        uint64_t ForeignReported;
    } cases[] = {
        // 400 MiB of ours: 23 steps of 16 MiB and one of 7, the last 25 MiB left to the kernel.
        {"clean: everything but the tail", true, 1, {}, {}, {}, 0, NODESTOP_TAIL, 24, 0},
        {"counters unreadable: judged by the swap cache alone", false, 1, {}, {}, {}, 0, NODESTOP_TAIL, 24, 0},
        {"all of ours went in one step", true, 30, {}, {}, {}, 0, NODESTOP_DONE, 1, 0},
        {"finds little of ours", true, 0.05, {}, {}, {}, 0, NODESTOP_SHORT, 1, 0},
        {"the second step takes many foreign pages", true, 1, {0, 6 * MiB}, {}, {}, 0, NODESTOP_FOREIGN, 2, 6 * MiB},
        // Cold pages of sleeping programs go with ours, and pages in use are looked at and left on the way.
        {"some foreign pages", true, 1, {3 * MiB, 3 * MiB}, {1.5, 1.5}, {}, 0, NODESTOP_TAIL, 24, 6 * MiB},
        {"the third step looks at three times what it takes", true, 1, {}, {1, 1.5, 3}, {}, 0, NODESTOP_SCANNED, 3, 0},
        {"a program in use loses a page to swap", true, 1, {}, {}, {{3, {1, 4096}}}, 0, NODESTOP_IN_USE, 4, 0},
        {"the spared program loses a little to swap", true, 1, {}, {}, {{0, {5, MiB}}}, 0, NODESTOP_TAIL, 24, 0},
        {"the spared program loses much to swap", false, 1, {}, {}, {{1, {5, 5 * MiB}}}, 0, NODESTOP_IN_USE, 2, 0},
        {"a sleeping program loses memory to swap", true, 1, {}, {}, {{3, {2, MiB}}}, 0, NODESTOP_TAIL, 24, 0},
        // Busy programs allocate and free all the time: a smaller resident size alone says nothing.
        {"the spared program's resident size shrinks", true, 1, {}, {}, {}, 0.01, NODESTOP_TAIL, 24, 0},
    };
    for (const auto& c : cases) {
        SetUp();
        SCOPED_TRACE(c.Name);
        Processes.NodeRequests.clear();
        Processes.HeldDuringNodeReclaim.clear();
        Processes.ReclaimCounters.reset();
        Processes.SwapCacheShare = 1;
        Processes.NodeReclaim = true;
        Processes.NodeEfficiency = c.Efficiency;
        Processes.SparedLossShare = c.SparedLoss;
        if (c.Counters) Processes.ReclaimCounters = TReclaimCounters{1000 * MiB, 900 * MiB};
        Processes.NodeForeign = c.Foreign;
        Processes.NodeScanRatio = c.ScanRatio;
        Processes.NodeSwapOut = c.SwapOut;
        Processes.Swapped = {{1, 0}, {2, 0}, {5, 0}};
        Processes.ProcessorTimes = {{1, {500, 900}}, {2, {500}}};
        Processes.Mappings = {{1, {}}, {2, {}}};
        TFreeRunOptions options;
        options.WatchMs = 1;
        options.PreWatchMs = 1;
        TFreeRunReport r;
        TFreeRun(Processes, options).Execute({1, 2}, {5}, r);
        ASSERT_EQ(r.RunningNotWatched, 1u);
        EXPECT_EQ(r.FollowUp, FOLLOWUP_NODES);
        EXPECT_EQ(r.NodeStop, c.Stop);
        EXPECT_EQ(r.NodeSteps, c.Steps);
        EXPECT_EQ(Processes.NodeRequests.size(), c.Steps);
        EXPECT_EQ(r.NodeForeignBytes, c.ForeignReported);
        uint64_t total = 0;
        for (uint64_t request : Processes.NodeRequests) {
            EXPECT_LE(request, Step);
            total += request;
        }
        EXPECT_LE(total, 375 * MiB); // never into the last sixteenth of ours
        if (c.Counters) {
            EXPECT_GE(r.NodeStolenBytes, r.NodeForeignBytes);
            EXPECT_GE(r.NodeScannedBytes, r.NodeStolenBytes);
        } else {
            EXPECT_EQ(r.NodeScannedBytes, 0u);
        }
        if (c.SparedLoss > 0) EXPECT_LT(r.SparedResidentAfter, r.SparedResidentBefore);
        // The program's own memory stays put while the node is reclaimed, and only then.
        EXPECT_EQ(Processes.HeldDuringNodeReclaim, std::vector<bool>(c.Steps, true));
        EXPECT_FALSE(Processes.OwnMemoryHeld);
    }
    // Where it cannot be held, the reclaim still happens.
    SetUp();
    Processes.NodeRequests.clear();
    Processes.SwapCacheShare = 1;
    Processes.NodeReclaim = true;
    Processes.CanHoldOwnMemory = false;
    EXPECT_EQ(Run().FollowUp, FOLLOWUP_NODES);
    EXPECT_FALSE(Processes.NodeRequests.empty());
}

TEST_F(FreeRunTest, NoSwapIsReportedAndExplainedAndOnlyFilePagesAreOffered) {
    Processes.Memory->SwapTotal = 0;
    Processes.SwapCacheShare = 0;
    Processes.CanWatch = true;
    WatchMs = 1;
    const TAddressRange heap{0x1000, 64 * MiB}, library{0x8000000, 8 * MiB}, data{0x9000000, 4 * MiB};
    Processes.Mappings[1] = {{heap, 64 * MiB, 0, 64 * MiB}, {library, 8 * MiB, 0, 0}, {data, 4 * MiB, 0, MiB}};
    const TFreeRunReport r = Run();
    EXPECT_TRUE(r.NoSwap);
    EXPECT_EQ(r.FollowUp, FOLLOWUP_NOT_NEEDED);
    // Anonymous memory has nowhere to go: only mappings holding file pages are handed to the kernel.
    EXPECT_EQ(Processes.RangesTrimmed[1], (std::vector<TAddressRange>{library, data}));
    EXPECT_EQ(QString(TMemoryOptimize::NoSwapTextKey()), "String.OptimizeProcess.NoSwap");
    EXPECT_TRUE(TMemoryOptimize::NoSwapExplanation().contains("zram"));
}

TEST_F(FreeRunTest, WatchingPagesOutOnlyMappingsHardlyTouched) {
    WatchMs = 30;
    Processes.CanWatch = true;
    Processes.Processes.push_back({3, "reused", false});
    Processes.Processes.push_back({4, "secret", false});
    const TAddressRange hot{0x1000, 100 * MiB}, cold{0x8000000, 64 * MiB}, edge{0x10000000, 16 * MiB},
        empty{0x20000000, MiB};
    Processes.Mappings[1] = {{hot, 100 * MiB, 90 * MiB}, {cold, 64 * MiB, MiB}, {edge, 16 * MiB, MiB}, {empty, 0, 0}};
    Processes.Mappings[2] = {{cold, 8 * MiB, 0}};
    Processes.StartTimes = {{1, 7}, {2, 8}, {3, 9}, {4, 10}};
    Processes.ReusedWhileWatched = {3}; // ended while watched; its id now names another process
    // 4: its mappings cannot be read, but it is there: no right.

    QElapsedTimer clock;
    clock.start();
    const TFreeRunReport r = Run();
    EXPECT_GE(clock.elapsed(), 30);
    EXPECT_GE(r.WatchNanoseconds, 30'000'000u);
    EXPECT_EQ(r.Watched, 4u);
    EXPECT_EQ(Processes.RangesTrimmed[1], (std::vector<TAddressRange>{cold, edge}));
    EXPECT_EQ(Processes.RangesTrimmed[2], std::vector<TAddressRange>{cold});
    EXPECT_EQ(r.HotBytesKept, 100 * MiB);
    EXPECT_EQ(r.Trimmed, 2u);
    EXPECT_EQ(r.Gone, 1u);
    EXPECT_EQ(r.NoRight, 1u);
    EXPECT_FALSE(Processes.RangesTrimmed.count(3));

    // No watching (switched off, or the kernel will not clear the bits): whole working sets, no wait.
    for (int variant = 0; variant < 2; ++variant) {
        SetUp();
        Processes.RangesTrimmed.clear();
        Processes.Trimmed.clear();
        Processes.CanWatch = variant == 1 ? false : true;
        WatchMs = variant == 1 ? 5000 : 0;
        clock.restart();
        const TFreeRunReport whole = Run();
        EXPECT_LT(clock.elapsed(), 4000);
        EXPECT_EQ(whole.Watched, 0u);
        EXPECT_TRUE(Processes.RangesTrimmed.empty());
        EXPECT_EQ(Processes.Trimmed.size(), 2u);
    }
}

TEST_F(FreeRunTest, ThreadsShareTheWorkBoundedAndTheReportAddsUp) {
    Processes.Processes.clear();
    Processes.Results.clear();
    for (uint32_t pid = 10; pid < 16; ++pid) {
        Processes.Processes.push_back({pid, "p" + std::to_string(pid), false});
        Processes.Results[pid] = Took(pid * MiB, 0);
        Processes.Resident[pid] = pid * MiB;
    }
    // Two failures: the first error in snapshot order is reported, whichever thread met it first.
    Processes.Results[11] = TTrimResult{TTrimStatus::Failed, 0, 0, 0, 0, 0, 5};
    Processes.Results[14] = TTrimResult{TTrimStatus::Failed, 0, 0, 0, 0, 0, 7};
    Processes.TrimHoldMs = 500; // each trim waits (a while) for another beside it
    Threads = 3;
    TFreeRunReport r = Run();
    EXPECT_EQ(r.Threads, 3u);
    EXPECT_EQ(Processes.PriorityLowered, 3);
    EXPECT_GE(Processes.MaxConcurrentTrims, 2);
    EXPECT_LE(Processes.MaxConcurrentTrims, 3);
    EXPECT_EQ(r.Trimmed, 4u);
    EXPECT_EQ(r.Failed, 2u);
    EXPECT_EQ(r.FirstError, 5);
    EXPECT_EQ(r.AnonTaken, (10 + 12 + 13 + 15) * MiB);
    EXPECT_EQ(Processes.Trimmed.size(), 6u);

    EXPECT_TRUE(Processes.PriorityRaises.empty()); // a quick run stays below everything

    // One thread: one trim at a time, the biggest first.
    Processes.Trimmed.clear();
    Processes.MaxConcurrentTrims = 0;
    Processes.TrimHoldMs = 20;
    Threads = 1;
    r = Run();
    EXPECT_EQ(r.Threads, 1u);
    EXPECT_EQ(Processes.MaxConcurrentTrims, 1);
    EXPECT_EQ(Processes.Trimmed, (std::vector<uint32_t>{15, 14, 13, 12, 11, 10}));
    EXPECT_EQ(r.AnonTaken, (10 + 12 + 13 + 15) * MiB);
}

TEST_F(FreeRunTest, CancelEndsTheWaitAndTrimsNothingMore) {
    Processes.CanWatch = true;
    Processes.Mappings[1] = Processes.Mappings[2] = {{{0x1000, MiB}, MiB, 0}};
    TMemoryOptimize engine(Desktop, Processes);
    engine.SetWatchMs(60000);
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        engine.SetCancelled(true);
    });
    QElapsedTimer clock;
    clock.start();
    TFreeRunReport r = engine.FreeMemoryExcept({"keep"});
    canceller.join();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(r.Cancelled);
    EXPECT_EQ(r.Trimmed, 0u);
    EXPECT_TRUE(Processes.Trimmed.empty());
    EXPECT_EQ(r.FollowUp, FOLLOWUP_NONE);

    // Stays cancelled until switched back.
    r = engine.FreeMemoryExcept({"keep"});
    EXPECT_TRUE(r.Cancelled);
    EXPECT_FALSE(r.SnapshotTaken);
    engine.SetCancelled(false);
    engine.SetWatchMs(0);
    EXPECT_EQ(engine.FreeMemoryExcept({"keep"}).Trimmed, 2u);
}

TEST_F(FreeRunTest, PagesOnTheProcessorsFreeListsAreHandedBack) {
    Processes.CanReleaseFreeLists = true;
    Processes.FreeListPending = 100 * MiB;
    const TFreeRunReport r = Run();
    EXPECT_EQ(r.FreeListBytes, 100 * MiB);
    EXPECT_LE(Processes.FreeListReleases, TFreeRun::kFreeListSteps);
    EXPECT_EQ(Processes.FreeListPending, 0u);
}

// A process that used the processor just before the watch keeps its accessed bits (clearing them would make
// it trap on every page it touches afterwards) and is judged by its bits as they stand; the rest are watched.
TEST_F(FreeRunTest, ProcessesThatRunAreNotWatchedButJudgedAsTheyStand) {
    Processes.CanWatch = true;
    const TAddressRange used{0x1000, 64 * MiB}, idle{0x8000000, 32 * MiB};
    // 1 sleeps, 2 runs, 3 cannot be looked at (watched, as before), 4 runs a thread that ended meanwhile.
    Processes.Processes = {{1, "sleeper", false}, {2, "busy", false}, {3, "closed", false}, {4, "forked", false}};
    Processes.ProcessorTimes = {{1, {500, 500}}, {2, {500, 900}}, {4, {700, 650}}};
    for (uint32_t pid : {1u, 2u, 3u, 4u}) Processes.Mappings[pid] = {{used, 64 * MiB, 60 * MiB}, {idle, 32 * MiB, 0}};

    TFreeRunOptions options;
    options.WatchMs = 10;
    options.PreWatchMs = 20;
    options.FollowUp = false;
    TFreeRunReport r;
    QElapsedTimer clock;
    clock.start();
    TFreeRun(Processes, options).Execute({1, 2, 3, 4}, {}, r);
    EXPECT_GE(clock.elapsed(), 30);
    EXPECT_GE(r.PreWatchNanoseconds, 20'000'000u);
    std::sort(Processes.Cleared.begin(), Processes.Cleared.end());
    EXPECT_EQ(Processes.Cleared, (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(r.Watched, 2u);
    EXPECT_EQ(r.RunningNotWatched, 2u);
    // Every one is still trimmed where it left its memory alone.
    for (uint32_t pid : {1u, 2u, 3u, 4u}) EXPECT_EQ(Processes.RangesTrimmed[pid], std::vector<TAddressRange>{idle}) << pid;
    EXPECT_EQ(r.Trimmed, 4u);

    // No processor time readable anywhere: no pre-watch wait, everything watched as before.
    SetUp();
    Processes.Cleared.clear();
    Processes.ProcessorTimes.clear();
    options.PreWatchMs = 5000;
    clock.restart();
    TFreeRunReport all;
    TFreeRun(Processes, options).Execute({1, 2}, {}, all);
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_EQ(all.Watched, 2u);
    EXPECT_EQ(all.RunningNotWatched, 0u);
    EXPECT_EQ(all.PreWatchNanoseconds, 0u);
}

// On a machine kept busy by other programs the idle-class trimming threads would hardly run: past a while
// they get more of the processor, in two steps, each live thread once per step.
TEST_F(FreeRunTest, SlowTrimmingThreadsGetMoreOfTheProcessor) {
    Processes.TrimHoldMs = 40; // one thread: each trim waits that long
    TFreeRunOptions options;
    options.WatchMs = 0;
    options.FollowUp = false;
    options.MaxThreads = 1;
    options.RaiseAfterMs[0] = 30;
    options.RaiseAfterMs[1] = 70;
    TFreeRunReport r;
    TFreeRun(Processes, options).Execute({1, 2, 5}, {}, r);
    EXPECT_EQ(r.Trimmed, 3u);
    ASSERT_EQ(Processes.PriorityRaises.size(), 2u);
    EXPECT_EQ(Processes.PriorityRaises[0].second, 1);
    EXPECT_EQ(Processes.PriorityRaises[1].second, 2);
    EXPECT_EQ(Processes.PriorityRaises[0].first, Processes.PriorityRaises[1].first);
}
