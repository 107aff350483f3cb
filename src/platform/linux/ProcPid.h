#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::platform::proc {

// /proc/PID/statm: resident pages and the file-backed/shared part of them.
struct TStatm {
    uint64_t Resident = 0; // pages
    uint64_t Shared = 0;   // pages (RssFile + RssShmem)
    uint64_t Anon() const { return Resident > Shared ? Resident - Shared : 0; }
};
std::optional<TStatm> ParseStatm(std::string_view text);

// True when /proc/PID/stat names a kernel thread (PF_KTHREAD in its flags field).
bool IsKernelThreadStat(std::string_view text);

// The start time field of /proc/PID/stat (clock ticks since boot); empty when unreadable.
std::optional<uint64_t> StatStartTime(std::string_view text);

// The parent process id field of /proc/PID/stat; empty when unreadable.
std::optional<uint32_t> StatParentId(std::string_view text);

// "VmSwap:" of /proc/PID/status in kB; empty when absent.
std::optional<uint64_t> StatusSwapKb(std::string_view text);

// The path of every hierarchy in the text of /proc/PID/cgroup ("ID:controllers:path" lines).
std::vector<std::string> CgroupPaths(std::string_view text);

// The file name of an executable link target: the last path component, without the " (deleted)" the
// kernel appends for a replaced file.
std::string ExeNameFromLink(std::string_view target);
// The link target without " (deleted)".
std::string CleanExeLink(std::string_view target);

// The cgroup v2 path ("0::/path") from the text of /proc/PID/cgroup; empty when there is none.
std::optional<std::string> CgroupV2Path(std::string_view text);

// The mount point of the cgroup v2 hierarchy from the text of /proc/self/mountinfo; empty when none.
std::optional<std::string> CgroupV2Mount(std::string_view mountinfo);

// Whether cgroup path `inner` is `outer` or lies below it.
bool CgroupWithin(std::string_view inner, std::string_view outer);

// "Writeback:" of /proc/meminfo in kB; empty when absent.
std::optional<uint64_t> MeminfoWritebackKb(std::string_view text);

// Whether pages pushed out now go to a device that writes them (a disk or a file) rather than to compressed
// memory (zram), from the text of /proc/swaps: the kernel fills the area of highest priority that has room.
bool SwapGoesToDisk(std::string_view swaps);

} // namespace kestrum::platform::proc
