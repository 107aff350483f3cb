#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <mutex>

#include "platform/ISystemInfo.h"
#include "platform/linux/ProcFile.h"
#include "platform/linux/ProcMeminfo.h"
#include "platform/linux/ProcPressure.h"
#include "platform/linux/ProcStat.h"

namespace kestrum::platform {

namespace {

struct linux_dirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

uint64_t FirstNumber(std::string_view s) {
    while (!s.empty() && (s.front() < '0' || s.front() > '9')) s.remove_prefix(1);
    uint64_t v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

// /proc/stat and /proc/meminfo are kept open and re-read with pread: a sample costs two reads.
class TLinuxSystemInfo final : public ISystemInfo {
public:
    explicit TLinuxSystemInfo(std::string procRoot)
        : FRoot(std::move(procRoot)),
          FStat(FRoot + "/stat"),
          FMeminfo(FRoot + "/meminfo"),
          FLoadavg(FRoot + "/loadavg"),
          FFileNr(FRoot + "/sys/fs/file-nr"),
          FPressure(FRoot + "/pressure/memory") {
        long hz = sysconf(_SC_CLK_TCK);
        FTicksPerSecond = hz > 0 ? static_cast<uint64_t>(hz) : 100;
    }
    ~TLinuxSystemInfo() override {
        if (FProcDir >= 0) ::close(FProcDir);
    }

    std::optional<uint32_t> ProcessorCount() override {
        std::lock_guard lock(FMutex);
        auto stat = proc::ParseProcStat(FStat.Read());
        if (!stat || stat->Cpus.empty()) return std::nullopt;
        return static_cast<uint32_t>(stat->Cpus.size());
    }

    std::optional<std::chrono::system_clock::time_point> BootTime() override {
        std::lock_guard lock(FMutex);
        auto stat = proc::ParseProcStat(FStat.Read());
        if (!stat || stat->BootTime == 0) return std::nullopt;
        return std::chrono::system_clock::time_point(std::chrono::seconds(stat->BootTime));
    }

    std::optional<TProcessorSample> ProcessorSample(uint32_t processorCount) override {
        std::lock_guard lock(FMutex);
        auto stat = proc::ParseProcStat(FStat.Read());
        // A processor that went offline leaves fewer lines than the sampler counts on.
        if (!stat || stat->Cpus.size() < processorCount) return std::nullopt;
        return proc::ToProcessorSample(*stat, FTicksPerSecond);
    }

    std::optional<TPerformanceInfo> PerformanceInfo() override {
        std::lock_guard lock(FMutex);
        auto m = proc::ParseMeminfo(FMeminfo.Read());
        if (!m) return std::nullopt;
        TPerformanceInfo p = proc::ToPerformanceInfo(*m);
        FCommitPeak = std::max(FCommitPeak, p.CommitTotal);
        p.CommitPeak = FCommitPeak;
        // The three counts cost as much as the rest of the sample (walking /proc alone several times that),
        // so they are refreshed at most every few seconds, and only for a caller that shows them.
        const uint64_t now = MonotonicMs();
        if (FCountsWanted && (FCountsAt == 0 || now - FCountsAt >= kCountsMaxAgeMs)) {
            FHandleCount = static_cast<uint32_t>(FirstNumber(FFileNr.Read()));
            // "running/total" scheduling entities: the thread count of the whole system.
            std::string_view load = FLoadavg.Read();
            size_t slash = load.find('/');
            FThreadCount = slash == std::string_view::npos ? 0 : static_cast<uint32_t>(FirstNumber(load.substr(slash)));
            FProcessCount = CountProcesses();
            FCountsAt = now;
        }
        p.HandleCount = FHandleCount;
        p.ThreadCount = FThreadCount;
        p.ProcessCount = FProcessCount;
        return p;
    }

    void SetCountsWanted(bool wanted) override {
        std::lock_guard lock(FMutex);
        FCountsWanted = wanted;
    }

    std::optional<TMemoryPressure> MemoryPressure() override {
        std::lock_guard lock(FMutex);
        // A kernel without the measure has no such file, and never will while it runs: asked once only.
        if (FPressureMissing) return std::nullopt;
        const std::string_view text = FPressure.Read();
        if (text.empty()) {
            FPressureMissing = ::access((FRoot + "/pressure/memory").c_str(), F_OK) != 0;
            return std::nullopt;
        }
        return proc::ParsePressure(text);
    }

private:
    static constexpr uint64_t kCountsMaxAgeMs = 5000;

    static uint64_t MonotonicMs() {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000 + 1;
    }

    uint32_t CountProcesses() {
        if (FProcDir < 0) FProcDir = ::open(FRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (FProcDir < 0 || ::lseek(FProcDir, 0, SEEK_SET) < 0) return 0;
        uint32_t count = 0;
        alignas(linux_dirent64) char buf[32768];
        for (;;) {
            long n = ::syscall(SYS_getdents64, FProcDir, buf, sizeof buf);
            if (n <= 0) break;
            for (long off = 0; off < n;) {
                auto* d = reinterpret_cast<linux_dirent64*>(buf + off);
                if (d->d_name[0] >= '1' && d->d_name[0] <= '9') ++count;
                off += d->d_reclen;
            }
        }
        return count;
    }

    std::mutex FMutex; // the sampler and a run off the UI thread may share one backend
    std::string FRoot;
    proc::TProcFile FStat, FMeminfo, FLoadavg, FFileNr, FPressure;
    bool FPressureMissing = false;
    bool FCountsWanted = true;
    int FProcDir = -1;
    uint64_t FTicksPerSecond = 100;
    uint64_t FCommitPeak = 0;
    uint32_t FHandleCount = 0, FThreadCount = 0, FProcessCount = 0;
    uint64_t FCountsAt = 0;
};

} // namespace

std::unique_ptr<ISystemInfo> MakeLinuxSystemInfo(const std::string& procRoot) {
    return std::make_unique<TLinuxSystemInfo>(procRoot.empty() ? "/proc" : procRoot);
}

} // namespace kestrum::platform
