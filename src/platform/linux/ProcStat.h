#pragma once
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/ISystemInfo.h"

namespace kestrum::platform::proc {

// One "cpu" line of /proc/stat, in clock ticks (USER_HZ).
struct TCpuJiffies {
    uint64_t User = 0, Nice = 0, System = 0, Idle = 0, Iowait = 0, Irq = 0, Softirq = 0, Steal = 0;
    // Everything the processor spent, idle included (guest time is already inside user and nice).
    uint64_t Sum() const { return User + Nice + System + Idle + Iowait + Irq + Softirq + Steal; }
};

struct TProcStat {
    TCpuJiffies Total;             // the aggregate "cpu" line
    std::vector<TCpuJiffies> Cpus; // "cpuN" lines in file order (online processors)
    uint64_t BootTime = 0;         // "btime", seconds since the epoch; 0 when absent
};

// Parses the text of /proc/stat; empty when the aggregate "cpu" line is missing or malformed.
std::optional<TProcStat> ParseProcStat(std::string_view text);

// The sampler's view of a /proc/stat sample: 100-ns units; idle = idle + iowait; a processor's kernel
// time includes its idle time; the time of day is the aggregate's total shared out over the processors, so
// totals and idle times come from the same clock and two samples within one tick show no time passing.
TProcessorSample ToProcessorSample(const TProcStat& stat, uint64_t ticksPerSecond);

} // namespace kestrum::platform::proc
