#include "CallerScope.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace kestrum::service {

namespace {

std::vector<std::string> Split(const std::string& s, char by) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(s);
    while (std::getline(in, part, by)) parts.push_back(part);
    return parts;
}

std::optional<uint32_t> ToU32(const std::string& s) {
    if (s.empty() || s.size() > 10 || !std::all_of(s.begin(), s.end(), ::isdigit)) return std::nullopt;
    const unsigned long long v = std::stoull(s);
    if (v > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(v);
}

// "pid:[4026531836]" -> 4026531836.
uint64_t NamespaceId(const std::string& link) {
    const auto open = link.find('['), close = link.find(']');
    if (open == std::string::npos || close == std::string::npos || close <= open + 1) return 0;
    try {
        return std::stoull(link.substr(open + 1, close - open - 1));
    } catch (...) {
        return 0;
    }
}

uint64_t ReadNamespace(const std::string& procRoot, const std::string& pid) {
    char buf[128];
    const ssize_t n = readlink((procRoot + "/" + pid + "/ns/pid").c_str(), buf, sizeof buf - 1);
    return n > 0 ? NamespaceId(std::string(buf, static_cast<size_t>(n))) : 0;
}

// The numbers after `key` in /proc/PID/status.
std::optional<std::vector<uint32_t>> StatusNumbers(const std::string& procRoot, uint32_t pid, const std::string& key) {
    std::ifstream in(procRoot + "/" + std::to_string(pid) + "/status");
    if (!in) return std::nullopt;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) != 0) continue;
        std::vector<uint32_t> numbers;
        std::istringstream fields(line.substr(key.size()));
        std::string f;
        while (fields >> f)
            if (auto v = ToU32(f)) numbers.push_back(*v);
        return numbers;
    }
    return std::nullopt;
}

} // namespace

TProcMount ParseProcMount(const std::string& mountinfo, const std::string& procRoot) {
    TProcMount result;
    std::istringstream in(mountinfo);
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        const auto dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream head(line.substr(0, dash));
        std::string id, parent, dev, root, point;
        if (!(head >> id >> parent >> dev >> root >> point) || point != procRoot) continue;
        std::istringstream tail(line.substr(dash + 3));
        std::string type, source, options;
        if (!(tail >> type >> source >> options) || type != "proc") continue;
        TProcMount mount;
        for (const std::string& o : Split(options, ',')) {
            if (o.rfind("hidepid=", 0) == 0) {
                const std::string v = o.substr(8);
                mount.HidePid = v != "0" && v != "off";
            } else if (o.rfind("gid=", 0) == 0) {
                mount.Gid = ToU32(o.substr(4));
            }
        }
        result = mount;
    }
    return result;
}

bool CallerMaySee(const TCaller& caller, const TProcMount& mount, uint64_t servicePidNamespace, uint32_t servicePid,
                  const TTarget& target) {
    if (target.Pid == servicePid || target.Pid == 0) return false;
    // A caller inside a container sees its own PID namespace only.
    if (caller.PidNamespace != servicePidNamespace) {
        if (caller.PidNamespace == 0 || target.PidNamespace != caller.PidNamespace) return false;
    }
    if (caller.OwnOnly) {
        if (target.Uids.empty()) return false;
        for (uint32_t uid : target.Uids)
            if (uid != caller.Uid) return false;
    }
    if (mount.HidePid && caller.Uid != 0) {
        const bool inGroup =
            mount.Gid && std::find(caller.Groups.begin(), caller.Groups.end(), *mount.Gid) != caller.Groups.end();
        if (!inGroup) {
            if (target.Uids.empty()) return false;
            for (uint32_t uid : target.Uids)
                if (uid != caller.Uid) return false;
        }
    }
    return true;
}

std::optional<TTarget> TCallerScopedProcesses::ReadTarget(const std::string& procRoot, uint32_t pid) {
    auto uids = StatusNumbers(procRoot, pid, "Uid:");
    if (!uids) return std::nullopt;
    TTarget t;
    t.Pid = pid;
    uids->resize(std::min<size_t>(uids->size(), 3));
    t.Uids = std::move(*uids);
    t.PidNamespace = ReadNamespace(procRoot, std::to_string(pid));
    return t;
}

TCaller TCallerScopedProcesses::ReadCaller(const std::string& procRoot, uint32_t uid, uint32_t pid) {
    TCaller c;
    c.Uid = uid;
    c.Pid = pid;
    if (auto groups = StatusNumbers(procRoot, pid, "Groups:")) c.Groups = std::move(*groups);
    c.PidNamespace = pid ? ReadNamespace(procRoot, std::to_string(pid)) : 0;
    return c;
}

TCallerScopedProcesses::TCallerScopedProcesses(platform::IProcesses& inner, TCaller caller, std::string procRoot,
                                               TClock::time_point deadline)
    : FInner(inner), FCaller(std::move(caller)), FProcRoot(std::move(procRoot)), FDeadline(deadline) {
    std::ifstream in(FProcRoot + "/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    FMount = ParseProcMount(text.str(), FProcRoot);
    FServiceNamespace = ReadNamespace(FProcRoot, "self");
    FServicePid = static_cast<uint32_t>(getpid());
}

bool TCallerScopedProcesses::Visible(uint32_t pid) {
    const auto target = ReadTarget(FProcRoot, pid);
    return target && CallerMaySee(FCaller, FMount, FServiceNamespace, FServicePid, *target);
}

std::optional<std::vector<platform::TProcessEntry>> TCallerScopedProcesses::Snapshot() {
    auto all = FInner.Snapshot();
    if (!all) return all;
    std::vector<platform::TProcessEntry> seen;
    FVisible.clear();
    for (auto& e : *all) {
        // Kernel threads stay: they are never trimmed, and the run counts them as skipped.
        if (!e.KernelThread && !Visible(e.ProcessId)) continue;
        FVisible.push_back(e.ProcessId);
        seen.push_back(std::move(e));
    }
    std::sort(FVisible.begin(), FVisible.end());
    return seen;
}

std::string TCallerScopedProcesses::ExecutablePath(uint32_t processId) {
    return Visible(processId) ? FInner.ExecutablePath(processId) : std::string();
}

std::vector<std::string> TCallerScopedProcesses::CommandLine(uint32_t processId) {
    return Visible(processId) ? FInner.CommandLine(processId) : std::vector<std::string>();
}

std::string TCallerScopedProcesses::ProcessName(uint32_t processId) {
    return Visible(processId) ? FInner.ProcessName(processId) : std::string();
}

std::vector<std::string> TCallerScopedProcesses::ControlGroups(uint32_t processId) {
    return Visible(processId) ? FInner.ControlGroups(processId) : std::vector<std::string>();
}

platform::TTrimResult TCallerScopedProcesses::TrimWorkingSet(uint32_t processId) {
    // Only what the latest snapshot let through, checked again: the id may have been reused meanwhile.
    if (!std::binary_search(FVisible.begin(), FVisible.end(), processId) || !Visible(processId)) {
        platform::TTrimResult refused;
        refused.Status = platform::TTrimStatus::NoRight;
        return refused;
    }
    if (TClock::now() >= FDeadline) {
        platform::TTrimResult late;
        late.Status = platform::TTrimStatus::Failed;
        late.Error = ETIMEDOUT;
        return late;
    }
    platform::TTrimResult result = FInner.TrimWorkingSet(processId);
    // A process whose resident memory did not shrink (the kernel kept every page: locked, pinned or
    // refused) was not trimmed, whatever the advice call answered.
    if (result.Status == platform::TTrimStatus::Trimmed && result.ResidentAfter != 0 &&
        result.ResidentAfter >= result.ResidentBefore && result.ResidentBefore != 0)
        result.Status = platform::TTrimStatus::NoRight;
    return result;
}

platform::TReclaimResult TCallerScopedProcesses::ReclaimPushedOut(const std::vector<platform::TPushedOut>& pushedOut,
                                                                  const std::vector<uint32_t>& spare) {
    return FInner.ReclaimPushedOut(pushedOut, spare);
}

} // namespace kestrum::service
