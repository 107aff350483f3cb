// libFuzzer target for the /proc parsers: any text gives a result or nothing, never a crash, and what the
// parsers give holds together (address ranges cut into page-aligned batches that cover them exactly).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "platform/linux/CommandLine.h"
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcMeminfo.h"
#include "platform/linux/ProcPid.h"
#include "platform/linux/ProcPressure.h"
#include "platform/linux/ProcSchedstat.h"
#include "platform/linux/ProcStat.h"

using namespace kestrum;
using namespace kestrum::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (auto m = proc::ParseMeminfo(text)) (void)proc::ToPerformanceInfo(*m);
    if (auto s = proc::ParseProcStat(text)) {
        for (uint64_t hz : {uint64_t(1), uint64_t(100), uint64_t(1000)}) (void)proc::ToProcessorSample(*s, hz);
    }
    (void)proc::ParseStatm(text);
    (void)proc::IsKernelThreadStat(text);
    (void)proc::ExeNameFromLink(text);
    (void)proc::CleanExeLink(text);
    (void)proc::CgroupV2Path(text);
    (void)proc::CgroupV2Mount(text);
    if (auto a = proc::CgroupV2Path(text)) (void)proc::CgroupWithin(*a, text);
    (void)proc::MeminfoWritebackKb(text);
    (void)proc::SwapGoesToDisk(text);
    (void)proc::ParsePressure(text);
    (void)proc::VmstatRefaults(text);
    (void)proc::StatMajorFaults(text);
    (void)proc::SchedstatRunNs(text);
    (void)proc::StatProcessorTicks(text);
    (void)proc::StatStartTime(text);
    (void)proc::StatParentId(text);
    (void)proc::StatusSwapKb(text);
    (void)proc::CgroupPaths(text);
    (void)SplitCommandLine(std::string(text));

    const std::vector<proc::TRange> ranges = proc::ParseMapsForPageout(text);
    const std::vector<proc::TRange> entries = proc::SplitLargeRanges(ranges);
    uint64_t total = 0, split = 0;
    for (const auto& r : ranges) total += r.Length;
    for (const auto& e : entries) {
        fuzz::Check(e.Length <= proc::kMaxCallBytes);
        split += e.Length;
    }
    fuzz::Check(total == split);
    for (size_t first = 0; first < entries.size();) {
        const size_t count = proc::BatchSize(entries, first);
        fuzz::Check(count >= 1 && count <= proc::kMaxBatchEntries && first + count <= entries.size());
        uint64_t bytes = 0;
        for (size_t i = first; i < first + count; ++i) bytes += entries[i].Length;
        fuzz::Check(count == 1 || bytes <= proc::kMaxCallBytes);
        const size_t at = proc::EntryAtOffset(entries, first, count, bytes / 2);
        fuzz::Check(at >= first && at <= first + count);
        first += count;
    }
    return 0;
}
