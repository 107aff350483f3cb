#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/IProcesses.h"

namespace kestrum::service {

// Who asked for a run, as the bus daemon and /proc tell (never as the caller says).
struct TCaller {
    uint32_t Uid = 0;
    uint32_t Pid = 0;
    std::vector<uint32_t> Groups; // supplementary groups
    uint64_t PidNamespace = 0;    // 0: unknown
    bool OwnOnly = true;          // only processes that belong to the caller (real, effective and saved uid)
};

// How /proc is mounted: with hidepid, users see only their own processes (or all, in group `Gid`).
struct TProcMount {
    bool HidePid = false;
    std::optional<uint32_t> Gid;
};

// What the service knows of a candidate process.
struct TTarget {
    uint32_t Pid = 0;
    std::vector<uint32_t> Uids; // real, effective, saved
    uint64_t PidNamespace = 0;
};

// The mount options of `procRoot` from /proc/self/mountinfo text (the last mount there wins).
TProcMount ParseProcMount(const std::string& mountinfo, const std::string& procRoot);

// Whether a run for the caller may touch `target`: a caller in another PID namespace sees only its
// namespace; under hidepid only its own processes, unless root or in the mount's group; with OwnOnly only
// its own processes at all. The service's own process is never one of them.
bool CallerMaySee(const TCaller& caller, const TProcMount& mount, uint64_t servicePidNamespace, uint32_t servicePid,
                  const TTarget& target);

// The processes a run on behalf of `caller` may touch: the snapshot holds only what the caller may see,
// and anything else is refused.
class TCallerScopedProcesses final : public platform::IProcesses {
public:
    using TClock = std::chrono::steady_clock;
    // Trims asked for after `deadline` are not done (a run's length is bounded).
    TCallerScopedProcesses(platform::IProcesses& inner, TCaller caller, std::string procRoot,
                           TClock::time_point deadline = TClock::time_point::max());

    std::optional<std::vector<platform::TProcessEntry>> Snapshot() override;
    std::string ExecutablePath(uint32_t processId) override;
    platform::TTrimResult TrimWorkingSet(uint32_t processId) override;
    uint32_t CurrentProcessId() override { return FInner.CurrentProcessId(); }
    platform::TReclaimResult ReclaimPushedOut(const std::vector<platform::TPushedOut>& pushedOut,
                                              const std::vector<uint32_t>& spare) override;
    // The names a list entry may match, of processes the caller may see.
    std::vector<std::string> CommandLine(uint32_t processId) override;
    std::string ProcessName(uint32_t processId) override;
    std::vector<std::string> ControlGroups(uint32_t processId) override;

    // Read from procRoot: a process's uids and PID namespace (nothing when it is gone).
    static std::optional<TTarget> ReadTarget(const std::string& procRoot, uint32_t pid);
    static TCaller ReadCaller(const std::string& procRoot, uint32_t uid, uint32_t pid);

private:
    bool Visible(uint32_t pid);

    platform::IProcesses& FInner;
    TCaller FCaller;
    std::string FProcRoot;
    TProcMount FMount;
    uint64_t FServiceNamespace = 0;
    uint32_t FServicePid = 0;
    std::vector<uint32_t> FVisible; // sorted, from the latest snapshot
    TClock::time_point FDeadline;
};

} // namespace kestrum::service
