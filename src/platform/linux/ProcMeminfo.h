#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/ISystemInfo.h"

namespace kestrum::platform::proc {

// The /proc/meminfo fields the sampler uses, in kB.
struct TMeminfo {
    uint64_t MemTotal = 0, MemFree = 0, MemAvailable = 0, Buffers = 0, Cached = 0;
    uint64_t SwapTotal = 0, CommittedAS = 0;
    uint64_t SwapFree = 0, SwapCached = 0, Writeback = 0;
    uint64_t SReclaimable = 0, SUnreclaim = 0, KernelStack = 0, PageTables = 0;
    bool HasMemAvailable = false;
};

// Parses the text of /proc/meminfo; empty when MemTotal is missing.
std::optional<TMeminfo> ParseMeminfo(std::string_view text);

// The memory snapshot in kB units (PageSize 1024). Commit limit = MemTotal + SwapTotal (everything that can
// back committed memory); available = MemAvailable (before 3.14: free + buffers + cache); system cache =
// Cached + Buffers; paged kernel memory = reclaimable slab, non-paged = the rest of the kernel's own.
// The peak is left to the caller, which has seen earlier samples.
TPerformanceInfo ToPerformanceInfo(const TMeminfo& m);

// One "Node N Name:  123 kB" field of /sys/devices/system/node/nodeN/meminfo, in kB; empty when absent.
std::optional<uint64_t> NodeMeminfoKb(std::string_view text, std::string_view name);

} // namespace kestrum::platform::proc
