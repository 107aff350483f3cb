#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "engine/FreeRunReport.h"
#include "platform/IProcesses.h"

namespace kestrum {

// How a freeing run goes about it; the defaults are what the program uses.
struct TFreeRunOptions {
    bool FollowUp = true; // turn what went to swap into free memory after the trims
    int WatchMs = 1000;   // how long to watch which memory is in use; 0 pages out everything
    // Before watching, how long to look which processes run. Their accessed bits are not cleared: on
    // virtual machines with shadow page tables every page a process touches after a clear takes a trap
    // (several microseconds each), which stalls a program in use for as long as it takes to go through its
    // memory. They are judged by the bits as they stand instead. 0: every process is watched.
    int PreWatchMs = 400;
    unsigned MaxThreads = 0; // trimming threads; 0 = one per processor
    // The trimming threads run only on a processor nothing else wants; on a machine kept busy by other
    // programs they would hardly run at all, and the run would take minutes. Past these times they get a
    // little more of the processor, then more (still less than the window).
    int RaiseAfterMs[2] = {2000, 5000};
    const std::atomic<bool>* Cancel = nullptr;
    // Called from the trimming threads as processes are done: work done and all work, in the same units
    // (resident kibibytes, one at least per process). Must be cheap and safe on any thread.
    std::function<void(uint32_t done, uint32_t total)> Progress;
};

// One freeing run over processes already selected: watches which memory they use, pages out what they
// leave alone on several threads of low priority, then lets what went to swap become free memory and
// waits until the kernel has finished, so that a measurement taken afterwards sees the real gain.
class TFreeRun {
public:
    // A mapping counts as in use when more than 1/kHotShare of its resident bytes were touched while
    // watching.
    static constexpr uint64_t kHotShare = 16;
    // The node-wide reclaim goes in small steps and looks at what each took before the next: a step that
    // runs past the run's own pages into a program in use harms that program by at most this much.
    static constexpr uint64_t kNodeStepBytes = 16ull << 20;
    // It leaves the larger of these of the run's swap cache to the kernel: part of it waits behind the
    // programs in use on the kernel's list, and whatever the kernel does not find at the cold end it takes
    // from them.
    static constexpr uint64_t kNodeTailBytes = 8ull << 20;
    static constexpr uint64_t kNodeTailShare = 16;
    // A step stops the reclaim when more than 1/kNodeForeignShare of what it freed was not the run's swap
    // cache, or when the kernel looked at more than kNodeScanQuarters / 4 times what it freed: it went
    // through memory in use, clearing its accessed bits (and on a virtual machine every page touched after
    // that traps). The first steps take some cold pages of sleeping programs besides ours, and some pages
    // in use are looked at and left on the way; neither is a reason to stop.
    static constexpr uint64_t kNodeForeignShare = 4;
    static constexpr uint64_t kNodeScanQuarters = 8;
    static constexpr int kWritebackWaitMs = 5000;
    static constexpr int kFreeListSteps = 64;
    static constexpr int kFreeListQuietSteps = 24;

    TFreeRun(platform::IProcesses& processes, const TFreeRunOptions& options);

    // `targets` in snapshot order; `spared` are the processes the selection keeps (never reclaimed in
    // their cgroup; their resident memory is watched during the node-wide reclaim).
    void Execute(const std::vector<uint32_t>& targets, const std::vector<uint32_t>& spared, TFreeRunReport& report);

    // Resident bytes each trimmed process lost in the last Execute, in `targets` order (0 for the others).
    const std::vector<uint64_t>& TakenByTarget() const { return FTaken; }

    // The ranges of a process worth paging out: mappings with resident pages that were hardly touched
    // (and, when anonymous memory cannot leave for want of swap space, that hold file pages).
    static std::vector<platform::TAddressRange> ColdRanges(const std::vector<platform::TMappingUse>& mappings,
                                                           bool anonymousCanLeave, uint64_t* hotBytes = nullptr);
    // The processor count the run uses by default.
    static unsigned ProcessorCount();

private:
    struct TJob {
        uint32_t ProcessId = 0;
        uint64_t Resident = 0;
        std::optional<uint64_t> StartTime;
        platform::TTrimResult Result;
        uint64_t HotBytes = 0;
        uint64_t WatchWorkNs = 0;
        std::optional<uint64_t> ProcessorTime; // at the start of the pre-watch
        bool Running = false;                  // used the processor during the pre-watch
        bool Done = false;
    };

    bool Cancelled() const;
    // Marks the jobs whose processes ran during a short wait; no wait when no processor time can be read.
    void PreWatch(std::vector<TJob>& jobs, TFreeRunReport& report);
    // Sleeps up to `ms`, in short steps so a cancel cuts it short.
    void Pause(int ms) const;
    // Waits while trimming threads work; the longer they take, the more processor they get.
    void RaiseWhileSlow(std::mutex& mutex, std::condition_variable& done, const size_t& working,
                        const std::vector<uint64_t>& threads);
    void TrimJobs(std::vector<TJob>& jobs, bool watched, TFreeRunReport& report);
    void TrimOne(TJob& job, bool watched);
    void FollowUp(const std::vector<platform::TPushedOut>& pushedOut, const std::vector<uint32_t>& spared,
                  const std::optional<platform::TMemoryCounters>& start, TFreeRunReport& report);
    void ReclaimNodes(uint64_t bound, uint64_t swapCacheStart, const std::vector<uint32_t>& spared,
                      TFreeRunReport& report);
    // One step's verdict: whether to go on, and if not why (a TNodeStop).
    uint8_t JudgeNodeStep(uint64_t step, const platform::TMemoryCounters& before,
                          const platform::TMemoryCounters& after,
                          const std::optional<platform::TReclaimCounters>& reclaimBefore,
                          const std::optional<platform::TReclaimCounters>& reclaimAfter, TFreeRunReport& report);
    uint64_t ResidentOf(const std::vector<uint32_t>& processes);
    void WaitForWriteback(uint64_t before);
    void ReleaseFreeLists(TFreeRunReport& report);

    platform::IProcesses& FProcesses;
    TFreeRunOptions FOptions;
    bool FAnonymousCanLeave = true;
    std::vector<uint64_t> FTaken;
    std::vector<uint32_t> FRunning; // targets that ran during the pre-watch: programs in use
};

} // namespace kestrum
