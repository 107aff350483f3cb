#include "platform/linux/ProcMaps.h"

#include <charconv>

namespace kestrum::platform::proc {

namespace {
constexpr uint64_t kUserSpaceEnd = 0x800000000000ull;
}

std::vector<TRange> ParseMapsForPageout(std::string_view text) {
    std::vector<TRange> out;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);

        uint64_t start = 0, end = 0;
        const char* p = line.data();
        const char* e = line.data() + line.size();
        auto r1 = std::from_chars(p, e, start, 16);
        if (r1.ec != std::errc() || r1.ptr == e || *r1.ptr != '-') continue;
        auto r2 = std::from_chars(r1.ptr + 1, e, end, 16);
        if (r2.ec != std::errc() || end <= start) continue;
        if (start >= kUserSpaceEnd) continue;
        if (end > kUserSpaceEnd) end = kUserSpaceEnd;

        // The path is the last field; special mappings are named in brackets.
        size_t bracket = line.rfind('[');
        if (bracket != std::string_view::npos) {
            std::string_view name = line.substr(bracket);
            if (name.starts_with("[vsyscall]") || name.starts_with("[vvar")) continue;
        }
        out.push_back({start, end - start});
    }
    return out;
}

std::vector<TRange> SplitLargeRanges(const std::vector<TRange>& ranges) {
    std::vector<TRange> out;
    out.reserve(ranges.size());
    for (auto r : ranges) {
        while (r.Length > kMaxBatchBytes) {
            out.push_back({r.Start, kMaxBatchBytes});
            r.Start += kMaxBatchBytes;
            r.Length -= kMaxBatchBytes;
        }
        out.push_back(r);
    }
    return out;
}

size_t BatchSize(const std::vector<TRange>& entries, size_t first) {
    size_t n = 0;
    uint64_t bytes = 0;
    while (first + n < entries.size() && n < kMaxBatchEntries) {
        uint64_t len = entries[first + n].Length;
        if (n > 0 && bytes + len > kMaxBatchBytes) break;
        bytes += len;
        ++n;
    }
    return n;
}

size_t EntryAtOffset(const std::vector<TRange>& entries, size_t first, size_t count, uint64_t done) {
    uint64_t offset = 0;
    for (size_t i = first; i < first + count; ++i) {
        if (offset + entries[i].Length > done) return i;
        offset += entries[i].Length;
    }
    return first + count;
}

} // namespace kestrum::platform::proc
