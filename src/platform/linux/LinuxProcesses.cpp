#include <dirent.h>
#include <sched.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "platform/IProcesses.h"
#include "platform/linux/ProcFile.h"
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcMeminfo.h"
#include "platform/linux/ProcPid.h"
#include "platform/linux/ProcPressure.h"
#include "platform/linux/ProcSchedstat.h"

#ifndef MADV_PAGEOUT
#define MADV_PAGEOUT 21
#endif
#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434
#endif
#ifndef SYS_process_madvise
#define SYS_process_madvise 440
#endif

namespace kestrum::platform {

namespace {

class TFd {
public:
    explicit TFd(int fd = -1) : FFd(fd) {}
    ~TFd() {
        if (FFd >= 0) ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

std::string ReadLink(const std::string& path) {
    char buf[4096];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

bool IsPidName(const char* s) {
    if (*s < '1' || *s > '9') return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

class TLinuxProcesses final : public IProcesses {
public:
    TLinuxProcesses(std::string procRoot, std::string sysRoot)
        : FRoot(std::move(procRoot)), FSysRoot(std::move(sysRoot)) {
        long ps = sysconf(_SC_PAGESIZE);
        FPageSize = ps > 0 ? static_cast<uint64_t>(ps) : 4096;
    }

    std::optional<std::vector<TProcessEntry>> Snapshot() override {
        DIR* dir = ::opendir(FRoot.c_str());
        if (!dir) return std::nullopt;
        std::vector<TProcessEntry> out;
        while (dirent* d = ::readdir(dir)) {
            if (!IsPidName(d->d_name)) continue;
            const std::string base = FRoot + "/" + d->d_name;
            TProcessEntry e;
            e.ProcessId = static_cast<uint32_t>(std::strtoul(d->d_name, nullptr, 10));
            std::string link = ReadLink(base + "/exe");
            if (!link.empty()) {
                e.ExeName = proc::ExeNameFromLink(link);
            } else {
                // No executable link: a kernel thread, a zombie, or a process we may not look into.
                std::string comm = proc::ReadSmallFile(base + "/comm");
                while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\r')) comm.pop_back();
                e.ExeName = comm;
                e.KernelThread = proc::IsKernelThreadStat(proc::ReadSmallFile(base + "/stat"));
            }
            out.push_back(std::move(e));
        }
        ::closedir(dir);
        return out;
    }

    std::optional<std::vector<TProcessInstance>> ProcessInstances() override {
        DIR* dir = ::opendir(FRoot.c_str());
        if (!dir) return std::nullopt;
        std::vector<TProcessInstance> out;
        out.reserve(512);
        // The directory's inode number belongs to the process's proc entry: a reused id comes with another.
        while (dirent* d = ::readdir(dir))
            if (IsPidName(d->d_name))
                out.push_back({static_cast<uint32_t>(std::strtoul(d->d_name, nullptr, 10)), uint64_t(d->d_ino)});
        ::closedir(dir);
        return out;
    }

    std::string ExecutablePath(uint32_t processId) override {
        if (processId == 0) return {};
        std::string link = ReadLink(FRoot + "/" + std::to_string(processId) + "/exe");
        return link.empty() ? std::string() : proc::CleanExeLink(link);
    }

    std::vector<std::string> CommandLine(uint32_t processId) override {
        if (processId == 0) return {};
        // NUL-separated arguments; a process may rewrite them, so this is what it shows, not what it got.
        const std::string raw = proc::ReadSmallFile(FRoot + "/" + std::to_string(processId) + "/cmdline");
        std::vector<std::string> args;
        for (size_t at = 0; at < raw.size();) {
            size_t end = raw.find('\0', at);
            if (end == std::string::npos) end = raw.size();
            args.push_back(raw.substr(at, end - at));
            at = end + 1;
        }
        return args;
    }

    uint32_t CurrentProcessId() override { return static_cast<uint32_t>(::getpid()); }

    TTrimResult TrimWorkingSet(uint32_t processId) override { return Trim(processId, nullptr); }

    TTrimResult TrimRanges(uint32_t processId, const std::vector<TAddressRange>& ranges) override {
        return Trim(processId, &ranges);
    }

    std::optional<uint64_t> ResidentBytes(uint32_t processId) override {
        auto statm = proc::ParseStatm(proc::ReadSmallFile(PidPath(processId, "statm")));
        if (!statm) return std::nullopt;
        return statm->Resident * FPageSize;
    }

    std::optional<uint64_t> StartTime(uint32_t processId) override {
        return proc::StatStartTime(proc::ReadSmallFile(PidPath(processId, "stat")));
    }

    std::optional<uint64_t> ProcessorTime(uint32_t processId) override {
        // Nanoseconds per thread where the kernel keeps them: a program that wakes for a few milliseconds
        // may not move the whole-process clock-tick figure at all.
        const std::string tasks = PidPath(processId, "task");
        if (DIR* dir = ::opendir(tasks.c_str())) {
            uint64_t sum = 0;
            bool read = false;
            while (dirent* d = ::readdir(dir)) {
                if (!IsPidName(d->d_name)) continue;
                const auto ns = proc::SchedstatRunNs(proc::ReadSmallFile(tasks + "/" + d->d_name + "/schedstat"));
                if (!ns) {
                    read = false;
                    break;
                }
                sum += *ns;
                read = true;
            }
            ::closedir(dir);
            if (read) return sum;
        }
        return proc::StatProcessorTicks(proc::ReadSmallFile(PidPath(processId, "stat")));
    }

    bool ClearAccessedBits(uint32_t processId) override {
        // "1": the accessed and referenced bits of every page of the process (not the soft-dirty bits).
        return WriteFile(PidPath(processId, "clear_refs"), "1") >= 0;
    }

    std::optional<std::vector<TMappingUse>> MappingUse(uint32_t processId) override {
        int error = 0;
        std::string smaps = proc::ReadSmallFile(PidPath(processId, "smaps"), &error);
        if (error) return std::nullopt;
        return proc::ParseSmapsForPageout(smaps);
    }

    std::optional<TMemoryCounters> MemoryCounters() override {
        auto m = proc::ParseMeminfo(proc::ReadSmallFile(FRoot + "/meminfo"));
        if (!m) return std::nullopt;
        TMemoryCounters c;
        c.Free = m->MemFree * 1024;
        c.Available = (m->HasMemAvailable ? m->MemAvailable : m->MemFree + m->Buffers + m->Cached) * 1024;
        c.SwapTotal = m->SwapTotal * 1024;
        c.SwapFree = m->SwapFree * 1024;
        c.SwapCached = m->SwapCached * 1024;
        c.Writeback = m->Writeback * 1024;
        return c;
    }

    TReclaimResult ReclaimFromNodes(uint64_t bytes) override;

    std::optional<uint64_t> WorkingSetRefaults() override {
        return proc::VmstatRefaults(proc::ReadSmallFile(FRoot + "/vmstat"));
    }

    std::optional<TReclaimCounters> ProactiveReclaimCounters() override {
        auto c = proc::VmstatProactiveReclaim(proc::ReadSmallFile(FRoot + "/vmstat"));
        if (!c) return std::nullopt;
        c->Scanned *= FPageSize;
        c->Stolen *= FPageSize;
        return c;
    }

    std::optional<uint64_t> MajorFaults(uint32_t processId) override {
        return proc::StatMajorFaults(proc::ReadSmallFile(PidPath(processId, "stat")));
    }

    bool ReleaseFreeListPages() override {
        // Folding the statistics also trims each processor's free-page list towards its floor (a step of
        // at most a few MiB per processor); pages there count as neither free nor available.
        const int err = WriteFile(FRoot + "/sys/vm/stat_refresh", "1");
        // EINVAL only says some counter was transiently negative; the refresh happened.
        return err >= 0 || err == -EINVAL;
    }

    bool HoldOwnMemory(bool on) override {
        // MCL_ONFAULT: what is resident now stays so, nothing else is read in.
        if (on) return ::mlockall(MCL_CURRENT | MCL_ONFAULT) == 0;
        return ::munlockall() == 0;
    }

    void LowerThreadPriority() override {
        // The idle class: the thread runs only on a processor that nothing else wants, so neither the window
        // nor the desktop ever waits for it, however busy the machine. Taking it needs no right; 0 names the
        // calling thread.
        sched_param idle{};
        if (::sched_setscheduler(0, SCHED_IDLE, &idle) == 0) return;
        // Otherwise the highest nice value we may take: per thread on Linux, raising it needs no right.
        const id_t tid = static_cast<id_t>(::syscall(SYS_gettid));
        errno = 0;
        const int current = ::getpriority(PRIO_PROCESS, tid);
        if (errno == 0 && current < kWorkerNice) ::setpriority(PRIO_PROCESS, tid, kWorkerNice);
    }

    uint64_t CurrentThreadId() override { return static_cast<uint64_t>(::syscall(SYS_gettid)); }

    void RaiseThreadPriority(uint64_t thread, int step) override {
        // Out of the idle class into the ordinary one at its lowest priority, then a little higher: still far
        // below the window's share. Without the right (an unprivileged process may not leave the idle
        // class everywhere) the thread stays where it is.
        const auto tid = static_cast<pid_t>(thread);
        if (::sched_getscheduler(tid) == SCHED_IDLE) {
            // The lowest ordinary priority first, so it never runs at the window's level meanwhile.
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), kLowestNice);
            sched_param normal{};
            if (::sched_setscheduler(tid, SCHED_OTHER, &normal) != 0) return;
        }
        const int nice = step >= 2 ? kRaisedNice : kLowestNice;
        errno = 0;
        const int current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        if (errno != 0 || current <= nice) return; // already there, or higher
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
    }

    TReclaimResult ReclaimPushedOut(const std::vector<TPushedOut>& pushedOut,
                                    const std::vector<uint32_t>& spare) override;

    std::string ProcessName(uint32_t processId) override {
        if (processId == 0) return {};
        std::string comm = proc::ReadSmallFile(PidPath(processId, "comm"));
        while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\r')) comm.pop_back();
        return comm;
    }

    std::vector<std::string> ControlGroups(uint32_t processId) override {
        if (processId == 0) return {};
        return proc::CgroupPaths(proc::ReadSmallFile(PidPath(processId, "cgroup")));
    }

    std::optional<uint32_t> ParentProcessId(uint32_t processId) override {
        if (processId == 0) return std::nullopt;
        return proc::StatParentId(proc::ReadSmallFile(PidPath(processId, "stat")));
    }

    std::optional<uint64_t> SwappedBytes(uint32_t processId) override {
        if (processId == 0) return std::nullopt;
        const auto kb = proc::StatusSwapKb(proc::ReadSmallFile(PidPath(processId, "status")));
        if (!kb) return std::nullopt;
        return *kb * 1024;
    }

private:
    static constexpr int kWorkerNice = 10;
    static constexpr int kLowestNice = 19;
    static constexpr int kRaisedNice = 5; // a third of the window's weight

    std::string PidPath(uint32_t processId, const char* file) const {
        return FRoot + "/" + std::to_string(processId) + "/" + file;
    }

    // Writes `text` to an existing file; the byte count, or -errno.
    static int WriteFile(const std::string& path, const std::string& text) {
        TFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
        if (fd.Get() < 0) return -errno;
        const ssize_t n = ::write(fd.Get(), text.data(), text.size());
        return n < 0 ? -errno : static_cast<int>(n);
    }

    // The whole working set (`ranges` null: every mapping of the maps file) or the given ranges.
    TTrimResult Trim(uint32_t processId, const std::vector<TAddressRange>* ranges) {
        TTrimResult result;
        const std::string base = FRoot + "/" + std::to_string(processId);
        ReadResident(base, result.ResidentBefore, result.AnonBefore);

        // The pidfd pins the process: a pid reused while we work cannot redirect the advice.
        TFd pidfd(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(processId), 0)));
        if (pidfd.Get() < 0) {
            result.Status = errno == ESRCH ? TTrimStatus::Gone : TTrimStatus::Failed;
            result.Error = errno;
            return result;
        }
        std::vector<proc::TRange> wanted;
        if (ranges) {
            wanted.reserve(ranges->size());
            for (const auto& r : *ranges) wanted.push_back({r.Start, r.Length});
        } else {
            int mapsError = 0;
            std::string maps = proc::ReadSmallFile(base + "/maps", &mapsError);
            if (mapsError) {
                // Without the right to read the maps we have no right to advise either.
                result.Status = mapsError == EACCES || mapsError == EPERM   ? TTrimStatus::NoRight
                                : mapsError == ENOENT || mapsError == ESRCH ? TTrimStatus::Gone
                                                                            : TTrimStatus::Failed;
                result.Error = mapsError;
                return result;
            }
            wanted = proc::ParseMapsForPageout(maps);
        }
        // Small entries where the run chose the ranges (what it pushes out goes to swap and should wait at
        // the cold end); a whole working set in entries as large as one call takes.
        auto entries = proc::SplitLargeRanges(wanted, ranges ? proc::kPageoutEntryBytes : proc::kMaxCallBytes);
        result.Status = TTrimStatus::Trimmed;
        // Only chosen ranges may be paced: a whole working set is address space, mostly not resident, and a
        // pause per call would cost a program with large reservations seconds.
        if (!entries.empty()) Advise(pidfd.Get(), entries, result, ranges != nullptr);
        if (result.Status == TTrimStatus::Trimmed) ReadResident(base, result.ResidentAfter, result.AnonAfter);
        return result;
    }

    // In calls of at most kMaxCallBytes. `mayPace`: a pause between calls when the swap is on a disk; into
    // compressed memory a page-out ends within its call, and spread out it keeps a program in use waiting
    // longer. Asked before the second call only: a page-out of one call never looks at the swap.
    void Advise(int pidfd, const std::vector<proc::TRange>& entries, TTrimResult& result, bool mayPace) {
        std::vector<iovec> iov;
        iov.reserve(proc::kMaxBatchEntries);
        std::optional<bool> paced;
        size_t first = 0;
        int retries = 0;
        while (first < entries.size()) {
            if (mayPace && first > 0) {
                if (!paced) paced = proc::SwapGoesToDisk(proc::ReadSmallFile(FRoot + "/swaps"));
                if (*paced) ::usleep(proc::kPacedPauseUs);
            }
            const size_t count = proc::BatchSize(entries, first);
            iov.clear();
            uint64_t bytes = 0;
            for (size_t i = first; i < first + count; ++i) {
                iov.push_back({reinterpret_cast<void*>(entries[i].Start), entries[i].Length});
                bytes += entries[i].Length;
            }
            const auto t0 = std::chrono::steady_clock::now();
            long done = ::syscall(SYS_process_madvise, pidfd, iov.data(), iov.size(), MADV_PAGEOUT, 0u);
            const int callErrno = errno;
            result.KernelNanoseconds += static_cast<uint64_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0).count());
            if (done >= 0 && static_cast<uint64_t>(done) >= bytes) {
                result.BytesRequested += bytes;
                first += count;
                retries = 0;
                continue;
            }
            if (done >= 0) {
                // The kernel stopped at the entry at that offset (locked, huge-page or vanished mapping):
                // count what went through, skip that one entry, go on with the rest.
                result.BytesRequested += static_cast<uint64_t>(done);
                first = proc::EntryAtOffset(entries, first, count, static_cast<uint64_t>(done)) + 1;
                retries = 0;
                continue;
            }
            const int err = callErrno;
            switch (err) {
                case ESRCH: // exited while we worked
                    result.Status = TTrimStatus::Gone;
                    return;
                case EPERM:
                case EACCES:
                    result.Status = TTrimStatus::NoRight;
                    result.Error = err;
                    return;
                case EINTR:
                case EAGAIN:
                    if (++retries <= 3) continue;
                    [[fallthrough]];
                case EINVAL:
                case ENOMEM:
                case EFAULT:
                    // The first entry of the batch was refused; skip just that entry.
                    ++first;
                    retries = 0;
                    continue;
                default:
                    // Anything else (EBADF, ENOSYS ...) concerns the whole call, not one entry.
                    result.Status = TTrimStatus::Failed;
                    result.Error = err;
                    return;
            }
        }
    }

    void ReadResident(const std::string& base, uint64_t& resident, uint64_t& anon) {
        auto statm = proc::ParseStatm(proc::ReadSmallFile(base + "/statm"));
        if (!statm) return;
        resident = statm->Resident * FPageSize;
        anon = statm->Anon() * FPageSize;
    }

    std::string FRoot, FSysRoot;
    uint64_t FPageSize = 4096;
};

// Pages pushed out to swap stay in memory as swap cache until the next reclaim; with the memory
// controller of cgroup v2 we can ask for exactly that much back, in the cgroups the run trimmed.
TReclaimResult TLinuxProcesses::ReclaimPushedOut(const std::vector<TPushedOut>& pushedOut,
                                                 const std::vector<uint32_t>& spare) {
    TReclaimResult result;
    auto mount = proc::CgroupV2Mount(proc::ReadSmallFile(FRoot + "/self/mountinfo"));
    if (!mount) return result;
    auto cgroupOf = [&](uint32_t pid) {
        return proc::CgroupV2Path(proc::ReadSmallFile(FRoot + "/" + std::to_string(pid) + "/cgroup"));
    };
    std::vector<std::string> spared;
    for (uint32_t pid : spare)
        if (auto c = cgroupOf(pid)) spared.push_back(*c);
    auto holdsSpared = [&](const std::string& group) {
        for (const auto& s : spared)
            if (proc::CgroupWithin(s, group)) return true;
        return false;
    };

    // Each trimmed process's bytes go to the nearest cgroup (its own or an ancestor) that offers a
    // reclaim and holds no spared process; bytes with no such cgroup are left alone.
    std::map<std::string, uint64_t> perGroup;
    for (const auto& p : pushedOut) {
        if (p.Bytes == 0) continue;
        auto group = cgroupOf(p.ProcessId);
        if (!group) continue;
        std::string g = *group;
        for (;;) {
            if (holdsSpared(g)) break;
            if (::access((*mount + (g == "/" ? "" : g) + "/memory.reclaim").c_str(), W_OK) == 0) {
                perGroup[g] += p.Bytes;
                result.Available = true;
                break;
            }
            if (g == "/" || g.empty()) break;
            size_t slash = g.rfind('/');
            g = slash == 0 ? "/" : g.substr(0, slash);
        }
    }
    if (perGroup.empty()) return result;

    // Pages still under writeback cannot be freed yet; give the swap device a moment (bounded).
    for (int i = 0; i < 200; ++i) {
        auto wb = proc::MeminfoWritebackKb(proc::ReadSmallFile(FRoot + "/meminfo"));
        if (!wb || *wb < 1024) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    for (const auto& [group, bytes] : perGroup) {
        const std::string file = *mount + (group == "/" ? "" : group) + "/memory.reclaim";
        TFd fd(::open(file.c_str(), O_WRONLY | O_CLOEXEC));
        if (fd.Get() < 0) continue;
        result.BytesRequested += bytes;
        // Anonymous pages only where the kernel knows the key (6.12+); plain request otherwise.
        std::string request = std::to_string(bytes) + " swappiness=200";
        ssize_t n = ::write(fd.Get(), request.data(), request.size());
        if (n < 0 && errno == EINVAL) {
            request = std::to_string(bytes);
            n = ::write(fd.Get(), request.data(), request.size());
        }
        // EAGAIN: the kernel reclaimed less than asked; the rest stays cached.
        if (n >= 0) result.BytesDone += bytes;
    }
    return result;
}

// Proactive reclaim of whole nodes (recent kernels): not aimed at processes, so the caller bounds it.
// The request is shared among the nodes by their inactive anonymous memory, where pages pushed out to
// swap wait until they are freed.
TReclaimResult TLinuxProcesses::ReclaimFromNodes(uint64_t bytes) {
    TReclaimResult result;
    const std::string nodes = FSysRoot + "/devices/system/node";
    struct TNode {
        std::string Reclaim;
        uint64_t Weight = 0;
    };
    std::vector<TNode> found;
    if (DIR* dir = ::opendir(nodes.c_str())) {
        while (dirent* d = ::readdir(dir)) {
            const std::string name = d->d_name;
            if (name.size() < 5 || name.compare(0, 4, "node") != 0 ||
                name.find_first_not_of("0123456789", 4) != std::string::npos)
                continue;
            const std::string base = nodes + "/" + name;
            if (::access((base + "/reclaim").c_str(), W_OK) != 0) continue;
            auto inactive = proc::NodeMeminfoKb(proc::ReadSmallFile(base + "/meminfo"), "Inactive(anon)");
            found.push_back({base + "/reclaim", inactive.value_or(0)});
        }
        ::closedir(dir);
    }
    if (found.empty()) return result;
    result.Available = true;
    if (bytes == 0) return result;
    uint64_t totalWeight = 0;
    for (const auto& n : found) totalWeight += n.Weight;
    uint64_t left = bytes;
    for (size_t i = 0; i < found.size() && left > 0; ++i) {
        uint64_t share = i + 1 == found.size() ? left
                         : totalWeight
                             ? static_cast<uint64_t>(static_cast<long double>(bytes) * found[i].Weight / totalWeight)
                             : bytes / found.size();
        share = std::min(share, left);
        left -= share;
        if (share < FPageSize) continue;
        result.BytesRequested += share;
        // Anonymous pages only where the kernel knows "max", else the strongest preference it takes.
        int n = -EINVAL;
        for (const char* key : {" swappiness=max", " swappiness=200", ""}) {
            n = WriteFile(found[i].Reclaim, std::to_string(share) + key);
            if (n != -EINVAL) break;
        }
        // EAGAIN: the kernel reclaimed less than asked.
        if (n >= 0) result.BytesDone += share;
    }
    return result;
}

} // namespace

std::unique_ptr<IProcesses> MakeLinuxProcesses(const std::string& procRoot, const std::string& sysRoot) {
    return std::make_unique<TLinuxProcesses>(procRoot.empty() ? "/proc" : procRoot, sysRoot.empty() ? "/sys" : sysRoot);
}

} // namespace kestrum::platform
