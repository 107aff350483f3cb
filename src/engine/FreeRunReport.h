#pragma once
#include <QString>
#include <cstdint>
#include <vector>

#include "engine/FreeRunDelegate.h"
#include "platform/IProcesses.h"

namespace kestrum {

// How the pushed-out memory was turned into free memory after the trims.
enum TFollowUpKind : uint8_t {
    FOLLOWUP_NONE = 0,       // the run ended before (no snapshot, cancelled)
    FOLLOWUP_OFF = 1,        // switched off
    FOLLOWUP_NOT_NEEDED = 2, // nothing of what the run pushed out waited in memory (zram, no swap)
    FOLLOWUP_CGROUPS = 3,    // cgroup v2 memory.reclaim of the trimmed processes' groups
    FOLLOWUP_NODES = 4,      // the kernel's per-node proactive reclaim, bounded by the run
    FOLLOWUP_NOT_OFFERED = 5 // the kernel offers neither here; the next reclaim frees it
};

// What ended the node-wide follow-up reclaim.
enum TNodeStop : uint8_t {
    NODESTOP_NONE = 0,     // it did not run
    NODESTOP_DONE = 1,     // all of the run's swap cache is free
    NODESTOP_TAIL = 2,     // the little left of it is left to the kernel
    NODESTOP_SHORT = 3,    // a step found less of ours than it asked for
    NODESTOP_FOREIGN = 4,  // a step took pages that were not ours
    NODESTOP_SCANNED = 5,  // a step looked at far more pages than it took: it reached memory in use
    NODESTOP_IN_USE = 6,   // a program in use or a spared one had pages pushed out to swap
    NODESTOP_COUNTERS = 7, // the memory counters could not be read
    NODESTOP_CANCELLED = 8
};

// Resident memory a program (all its processes) gave in one run.
struct TProgramTaken {
    QString Name; // executable file name
    uint64_t Bytes = 0;
    bool operator==(const TProgramTaken&) const = default;
};

// What one freeing run did (the program itself only measures available memory; the companion tool, the
// freeing service and the benchmarks read this). Fields are only ever added, since the service sends it.
struct TFreeRunReport {
    bool SnapshotTaken = false;
    uint32_t Candidates = 0; // processes in the snapshot
    uint32_t Skipped = 0;    // left out by the selection (or kernel threads)
    uint32_t Trimmed = 0, Gone = 0, NoRight = 0, Failed = 0;
    uint64_t ResidentTaken = 0; // resident bytes the trimmed processes lost
    uint64_t AnonTaken = 0;     // the anonymous part of it
    uint64_t BytesRequested = 0;
    uint64_t KernelNanoseconds = 0; // spent inside the kernel's page-out calls, summed over the threads
    uint64_t TrimNanoseconds = 0;   // snapshot and trimming (wall time), the watching wait and follow-up excluded
    uint64_t ReclaimNanoseconds = 0;
    platform::TReclaimResult Reclaim; // the follow-up reclaim that ran (see FollowUp)
    int FirstError = 0;               // errno of the first failed trim (in snapshot order)

    // No swap space (neither a swap file or partition nor zram) was on: programs' own memory had nowhere
    // to go, so only cached file pages could leave, which the kernel already counted as available.
    bool NoSwap = false;
    bool Cancelled = false;
    uint32_t Threads = 0;              // threads that trimmed
    uint32_t Watched = 0;              // processes whose use of memory was watched before trimming
    uint64_t WatchNanoseconds = 0;     // the bounded wait that tells memory in use from idle memory
    uint64_t WorkNanoseconds = 0;      // time spent on the run's work, summed over the threads
    uint64_t WatchWorkNanoseconds = 0; // the part of it spent clearing accessed bits and reading mapping use
    uint64_t HotBytesKept = 0;         // resident bytes left in place because the program was using them
    uint64_t SwapCacheGrowth = 0;      // of what went to swap, what still sat in memory after writeback
    uint8_t FollowUp = FOLLOWUP_NONE;  // a TFollowUpKind
    uint64_t SparedResidentBefore = 0; // resident bytes of the spared processes before the node-wide
    uint64_t SparedResidentAfter = 0;  // reclaim and after it (what it took from them)
    uint64_t SettleNanoseconds = 0;    // waiting for writeback and handing back free-list pages
    uint64_t FreeListBytes = 0;        // free memory that came back from the processors' private lists
    uint32_t RunningNotWatched = 0;    // processes that ran before the watch, judged without clearing their bits
    uint64_t PreWatchNanoseconds = 0;  // the wait that tells running processes from sleeping ones
    // The node-wide follow-up: its steps, what ended it (a TNodeStop), what the kernel looked at and freed
    // meanwhile (0 where it does not count that reclaim apart), and the part of it that was not ours.
    uint32_t NodeSteps = 0;
    uint8_t NodeStop = NODESTOP_NONE;
    uint64_t NodeScannedBytes = 0, NodeStolenBytes = 0, NodeForeignBytes = 0;

    // The programs that gave the most resident memory, most first (at most TopProgramCount).
    static constexpr int TopProgramCount = 5;
    std::vector<TProgramTaken> TopPrograms;

    TFreeRunRoute Route = TFreeRunRoute::Direct;
    QString Notice; // when other processes could not be reached: why, and what to install (English)
};

} // namespace kestrum
