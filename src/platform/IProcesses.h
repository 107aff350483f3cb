#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrum::platform {

// One entry of a process snapshot.
struct TProcessEntry {
    uint32_t ProcessId = 0;
    std::string ExeName;       // executable file name without folder ("firefox-esr"), else the kernel's comm
    bool KernelThread = false; // kernel threads have no user memory and are never trimmed
};

// One entry of the cheap process list: the id, and a number that differs when the id is used again by a
// new process (0 where the backend cannot tell).
struct TProcessInstance {
    uint32_t ProcessId = 0;
    uint64_t Instance = 0;
};

// What trimming one process did.
enum class TTrimStatus { Trimmed, Gone, NoRight, Failed };
struct TTrimResult {
    TTrimStatus Status = TTrimStatus::Failed;
    uint64_t BytesRequested = 0; // bytes of mappings handed to the kernel
    // Resident memory before and after the trim, in bytes (0 when it could not be read).
    uint64_t ResidentBefore = 0, ResidentAfter = 0;
    uint64_t AnonBefore = 0, AnonAfter = 0; // the anonymous part of it
    int Error = 0;                          // errno of a Failed trim
    uint64_t KernelNanoseconds = 0;         // time spent inside the kernel's page-out calls
};

// A range of a process's address space.
struct TAddressRange {
    uint64_t Start = 0;
    uint64_t Length = 0;
    bool operator==(const TAddressRange&) const = default;
};

// One mapping of a process and how much of it is resident and was touched since the accessed bits were
// last cleared. Mappings the kernel never pages out are not listed.
struct TMappingUse {
    TAddressRange Range;
    uint64_t Resident = 0;   // bytes
    uint64_t Referenced = 0; // bytes
    uint64_t Anonymous = 0;  // bytes
};

// Memory pushed out of one process, for the follow-up reclaim.
struct TPushedOut {
    uint32_t ProcessId = 0;
    uint64_t Bytes = 0;
};

// What a follow-up reclaim did.
struct TReclaimResult {
    uint64_t BytesRequested = 0; // asked of the kernel
    uint64_t BytesDone = 0;      // requests the kernel completed
    bool Available = false;      // false: the kernel offers no such reclaim here
};

// The system-wide memory counters a freeing run watches, in bytes.
struct TMemoryCounters {
    uint64_t Free = 0, Available = 0;
    uint64_t SwapTotal = 0, SwapFree = 0;
    uint64_t SwapCached = 0; // pages that are in swap and still in memory
    uint64_t Writeback = 0;  // pages being written out right now
};

// What the kernel's proactive reclaim (the node-wide one) has looked at and taken since boot, in bytes.
// Only differences count.
struct TReclaimCounters {
    uint64_t Scanned = 0; // pages it looked at
    uint64_t Stolen = 0;  // pages it freed
};

// Processes: snapshot, executable paths, working-set trimming, and the kernel's memory counters and
// reclaim interfaces a freeing run needs. All methods may be called from several threads at once.
class IProcesses {
public:
    virtual ~IProcesses() = default;
    // Every process of the system. Empty optional when no snapshot could be taken.
    virtual std::optional<std::vector<TProcessEntry>> Snapshot() = 0;
    // Full path of the process's executable file; empty when it cannot be read (gone, no right).
    virtual std::string ExecutablePath(uint32_t processId) = 0;
    // Moves the process's resident pages out of physical memory.
    virtual TTrimResult TrimWorkingSet(uint32_t processId) = 0;
    virtual uint32_t CurrentProcessId() = 0;
    // After a trim run: lets what the run pushed out (anonymous pages waiting as swap cache) become free
    // memory, never asking for more than `pushedOut` adds up to, and never reclaiming where a process of
    // `spare` lives (cgroup v2 memory.reclaim). Backends without a bounded reclaim do nothing.
    virtual TReclaimResult ReclaimPushedOut(const std::vector<TPushedOut>& pushedOut,
                                            const std::vector<uint32_t>& spare) {
        return {};
    }
    // Every process but kernel threads where the backend can tell them cheaply, in one pass that reads no
    // file of any process; for pollers that look closer only at what is new. Empty optional on failure.
    virtual std::optional<std::vector<TProcessInstance>> ProcessInstances() {
        auto snapshot = Snapshot();
        if (!snapshot) return std::nullopt;
        std::vector<TProcessInstance> out;
        out.reserve(snapshot->size());
        for (const auto& p : *snapshot)
            if (!p.KernelThread) out.push_back({p.ProcessId, 0});
        return out;
    }
    // The process's command-line arguments; empty when they cannot be read. Tells which Windows program a
    // Wine loader runs.
    virtual std::vector<std::string> CommandLine(uint32_t processId) { return {}; }

    // Resident bytes of the process; empty when they cannot be read.
    virtual std::optional<uint64_t> ResidentBytes(uint32_t processId) { return std::nullopt; }
    // When the process started (any unit; equal values = the same process). Tells a reused process id.
    virtual std::optional<uint64_t> StartTime(uint32_t processId) { return std::nullopt; }
    // Processor time the process has used so far, all its threads together; only differences count (the
    // unit is the backend's). Empty when it cannot be read.
    virtual std::optional<uint64_t> ProcessorTime(uint32_t processId) { return std::nullopt; }
    // Clears the accessed bits of the process's pages, so that MappingUse tells what it touches from now on.
    virtual bool ClearAccessedBits(uint32_t processId) { return false; }
    // The process's mappings with their resident and referenced bytes; empty when they cannot be read.
    virtual std::optional<std::vector<TMappingUse>> MappingUse(uint32_t processId) { return std::nullopt; }
    // Moves the resident pages of the given ranges of the process out of physical memory.
    virtual TTrimResult TrimRanges(uint32_t processId, const std::vector<TAddressRange>& ranges) {
        return {TTrimStatus::Failed};
    }
    // System-wide counters; empty when they cannot be read.
    virtual std::optional<TMemoryCounters> MemoryCounters() { return std::nullopt; }
    // The kernel's proactive reclaim of whole memory nodes, not aimed at any process: takes about `bytes`
    // from the coldest pages, anonymous ones only where the kernel allows asking for that.
    virtual TReclaimResult ReclaimFromNodes(uint64_t bytes) { return {}; }
    // What that reclaim has looked at and freed so far; empty when the kernel does not count it apart.
    virtual std::optional<TReclaimCounters> ProactiveReclaimCounters() { return std::nullopt; }
    // Hands pages that sit on the processors' private free lists back to the shared free memory, where
    // they count as free again. One step; false when the kernel offers no way to do it.
    virtual bool ReleaseFreeListPages() { return false; }
    // Pages the whole system brought back in soon after they were pushed out (the kernel's refault
    // count since boot); empty when the kernel does not count them.
    virtual std::optional<uint64_t> WorkingSetRefaults() { return std::nullopt; }
    // The process's major faults since it started (pages it had to wait for); empty when unreadable.
    virtual std::optional<uint64_t> MajorFaults(uint32_t processId) { return std::nullopt; }
    // Keeps the calling program's resident pages in memory (on) or lets them go again (off), without bringing
    // in what is not resident. False when the system refuses (no right, a limit).
    virtual bool HoldOwnMemory(bool on) { return false; }
    // Lowers the calling thread's scheduling priority below the desktop's.
    virtual void LowerThreadPriority() {}
    // The calling thread, as RaiseThreadPriority names it (0 where threads cannot be named).
    virtual uint64_t CurrentThreadId() { return 0; }
    // Gives a thread lowered by LowerThreadPriority more of the processor, still below the desktop's: step 1
    // a little, step 2 more.
    virtual void RaiseThreadPriority(uint64_t thread, int step) {}

    // The kernel's name of the process (Linux: comm, at most 15 bytes); empty when it cannot be read.
    virtual std::string ProcessName(uint32_t processId) { return {}; }
    // The control groups the process belongs to, one path per hierarchy ("/user.slice/.../app-x.scope");
    // empty when they cannot be read. Tells which application a desktop launched it as.
    virtual std::vector<std::string> ControlGroups(uint32_t processId) { return {}; }
    // The parent's process id; empty when it cannot be read.
    virtual std::optional<uint32_t> ParentProcessId(uint32_t processId) { return std::nullopt; }
    // Bytes of the process's memory that sit in swap; empty when they cannot be read.
    virtual std::optional<uint64_t> SwappedBytes(uint32_t processId) { return std::nullopt; }
};

// `procRoot` is "/proc" on a real system and `sysRoot` "/sys"; tests point them at fixture folders.
std::unique_ptr<IProcesses> MakeLinuxProcesses(const std::string& procRoot, const std::string& sysRoot = "/sys");

} // namespace kestrum::platform
