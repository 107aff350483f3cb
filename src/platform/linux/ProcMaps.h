#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/IProcesses.h"

namespace kestrum::platform::proc {

// One address range of a process.
struct TRange {
    uint64_t Start = 0;
    uint64_t Length = 0;
    bool operator==(const TRange&) const = default;
};

// Ranges worth handing to the kernel from the text of /proc/PID/maps: every mapping but the ones the
// kernel refuses to page out for everybody ([vsyscall], [vvar*]) and anything at or above the user
// address space's end (0x800000000000 on x86-64). Unparsable lines are skipped.
std::vector<TRange> ParseMapsForPageout(std::string_view text);

// The mappings of the text of /proc/PID/smaps with their Rss, Referenced and Anonymous bytes, under the
// same rule as ParseMapsForPageout.
std::vector<TMappingUse> ParseSmapsForPageout(std::string_view text);

// Largest byte count one process_madvise call accepts (MAX_RW_COUNT), and most iovecs (IOV_MAX).
constexpr uint64_t kMaxBatchBytes = 0x7ffff000;
constexpr size_t kMaxBatchEntries = 1024;

// The most one page-out call asks for. On a virtual machine the end of a larger call holds the processor that
// made it for tens of milliseconds (about a hundred for 1 GiB) while the hypervisor catches up, and nothing else
// runs there meanwhile, the window included; calls of this size showed no such hold.
constexpr uint64_t kMaxCallBytes = 16ull << 20;

// Cuts the ranges into entries of at most `maxBytes` each (a multiple of the page size).
std::vector<TRange> SplitLargeRanges(const std::vector<TRange>& ranges, uint64_t maxBytes = kMaxCallBytes);

// The entry size a page-out asks for. The kernel writes each entry's pages out and puts them back on its
// list only after the whole entry: a page whose writing ended before that loses its place at the cold end
// and waits behind the programs in use, where a later reclaim finds it only by going through them.
constexpr uint64_t kPageoutEntryBytes = 256ull << 10;

// Starting at entry `first`, how many entries go into one call: at most kMaxBatchEntries and at most
// `maxBytes` in total (at least one entry while any is left).
size_t BatchSize(const std::vector<TRange>& entries, size_t first, uint64_t maxBytes = kMaxCallBytes);

// A page-out written to a disk or file pauses this long after each call: the swap device's completions then
// come spread out rather than in bursts that take a processor from the desktop for tens of milliseconds.
constexpr int kPacedPauseUs = 3000;

// Which entry a partial byte count stopped at: the index of the entry that starts at byte offset `done`
// of the batch starting at `first` (entries before it completed).
size_t EntryAtOffset(const std::vector<TRange>& entries, size_t first, size_t count, uint64_t done);

} // namespace kestrum::platform::proc
