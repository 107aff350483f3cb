#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/IProcesses.h"
#include "platform/ISystemInfo.h"

namespace kestrum::platform::proc {

// Parses the text of /proc/pressure/memory ("some avg10=… avg60=… avg300=… total=…", then the same for
// "full"). Unknown fields are skipped, a missing "full" line leaves it empty; empty when there is no usable
// "some" line.
std::optional<TMemoryPressure> ParsePressure(std::string_view text);

// The sum of the workingset_refault counters of /proc/vmstat (pages brought back in soon after they were
// pushed out): "workingset_refault" on kernels before 5.9, "_anon" and "_file" since. Empty when absent.
std::optional<uint64_t> VmstatRefaults(std::string_view text);

// The proactive reclaim's pgscan_proactive and pgsteal_proactive counters of /proc/vmstat, in pages.
// Empty unless both are there (kernels before 6.8 do not count that reclaim apart).
std::optional<TReclaimCounters> VmstatProactiveReclaim(std::string_view text);

// The major fault count (field 12) of /proc/PID/stat; empty when unreadable.
std::optional<uint64_t> StatMajorFaults(std::string_view text);

} // namespace kestrum::platform::proc
