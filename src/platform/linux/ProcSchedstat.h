#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrum::platform::proc {

// The first field of /proc/PID/task/TID/schedstat: nanoseconds the thread has run on a processor.
std::optional<uint64_t> SchedstatRunNs(std::string_view text);

// utime + stime of /proc/PID/stat (clock ticks, all threads of the process); empty when unreadable.
std::optional<uint64_t> StatProcessorTicks(std::string_view text);

} // namespace kestrum::platform::proc
