#include "platform/linux/ProcStat.h"

#include <charconv>

namespace kestrum::platform::proc {

namespace {

bool ParseU64(std::string_view& s, uint64_t& out) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    s.remove_prefix(i);
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    if (r.ec != std::errc()) return false;
    s.remove_prefix(static_cast<size_t>(r.ptr - s.data()));
    return true;
}

// Reads the fields after the "cpu"/"cpuN" label; the first four are required (very old kernels have no more).
bool ParseCpuFields(std::string_view s, TCpuJiffies& j) {
    uint64_t* fields[] = {&j.User, &j.Nice, &j.System, &j.Idle, &j.Iowait, &j.Irq, &j.Softirq, &j.Steal};
    for (size_t i = 0; i < std::size(fields); ++i) {
        if (!ParseU64(s, *fields[i])) return i >= 4;
    }
    return true;
}

} // namespace

std::optional<TProcStat> ParseProcStat(std::string_view text) {
    TProcStat stat;
    bool haveTotal = false;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.starts_with("cpu")) {
            std::string_view rest = line.substr(3);
            if (!rest.empty() && rest[0] == ' ') {
                if (!ParseCpuFields(rest, stat.Total)) return std::nullopt;
                haveTotal = true;
            } else {
                size_t sp = rest.find(' ');
                if (sp == std::string_view::npos) return std::nullopt;
                TCpuJiffies j;
                if (!ParseCpuFields(rest.substr(sp), j)) return std::nullopt;
                stat.Cpus.push_back(j);
            }
        } else if (line.starts_with("btime ")) {
            std::string_view rest = line.substr(6);
            ParseU64(rest, stat.BootTime);
        }
    }
    if (!haveTotal) return std::nullopt;
    return stat;
}

TProcessorSample ToProcessorSample(const TProcStat& stat, uint64_t ticksPerSecond) {
    const uint64_t unit = ticksPerSecond ? 10'000'000 / ticksPerSecond : 100'000;
    const uint64_t count = stat.Cpus.empty() ? 1 : stat.Cpus.size();
    TProcessorSample s;
    s.CurrentTime = static_cast<int64_t>(stat.Total.Sum() * unit / count);
    s.IdleProcessTime = static_cast<int64_t>((stat.Total.Idle + stat.Total.Iowait) * unit);
    s.Processors.reserve(stat.Cpus.size());
    for (const auto& c : stat.Cpus) {
        TProcessorTimes t;
        t.IdleTime = static_cast<int64_t>((c.Idle + c.Iowait) * unit);
        t.KernelTime = static_cast<int64_t>((c.System + c.Idle + c.Iowait + c.Steal) * unit);
        t.UserTime = static_cast<int64_t>((c.User + c.Nice) * unit);
        t.DpcTime = static_cast<int64_t>(c.Softirq * unit);
        t.InterruptTime = static_cast<int64_t>(c.Irq * unit);
        s.Processors.push_back(t);
    }
    return s;
}

} // namespace kestrum::platform::proc
