#include "platform/linux/ProcMaps.h"

#include <algorithm>
#include <charconv>

namespace kestrum::platform::proc {

namespace {
constexpr uint64_t kUserSpaceEnd = 0x800000000000ull;
}

namespace {
// The range of one maps/smaps header line, when it is a mapping worth paging out.
bool PageoutRange(std::string_view line, TRange& range) {
    uint64_t start = 0, end = 0;
    const char* p = line.data();
    const char* e = line.data() + line.size();
    auto r1 = std::from_chars(p, e, start, 16);
    if (r1.ec != std::errc() || r1.ptr == e || *r1.ptr != '-') return false;
    auto r2 = std::from_chars(r1.ptr + 1, e, end, 16);
    if (r2.ec != std::errc() || end <= start) return false;
    // A header has the permissions after the range; smaps value lines ("Rss: ...") never parse as hex.
    if (r2.ptr == e || *r2.ptr != ' ') return false;
    if (start >= kUserSpaceEnd) return false;
    if (end > kUserSpaceEnd) end = kUserSpaceEnd;

    // The path is the last field; special mappings are named in brackets.
    size_t bracket = line.rfind('[');
    if (bracket != std::string_view::npos) {
        std::string_view name = line.substr(bracket);
        if (name.starts_with("[vsyscall]") || name.starts_with("[vvar")) return false;
    }
    range = {start, end - start};
    return true;
}

bool IsMappingHeader(std::string_view line) {
    uint64_t v = 0;
    auto r = std::from_chars(line.data(), line.data() + line.size(), v, 16);
    return r.ec == std::errc() && r.ptr != line.data() + line.size() && *r.ptr == '-';
}

std::string_view NextLine(std::string_view& text) {
    size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    return line;
}

// "Name:   123 kB" -> bytes, when the line names that field.
bool KbField(std::string_view line, std::string_view name, uint64_t& bytes) {
    if (!line.starts_with(name) || line.size() <= name.size() || line[name.size()] != ':') return false;
    std::string_view v = line.substr(name.size() + 1);
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    uint64_t kb = 0;
    if (std::from_chars(v.data(), v.data() + v.size(), kb).ec != std::errc()) return false;
    bytes = kb * 1024;
    return true;
}
} // namespace

std::vector<TRange> ParseMapsForPageout(std::string_view text) {
    std::vector<TRange> out;
    while (!text.empty()) {
        TRange r;
        if (PageoutRange(NextLine(text), r)) out.push_back(r);
    }
    return out;
}

std::vector<TMappingUse> ParseSmapsForPageout(std::string_view text) {
    std::vector<TMappingUse> out;
    bool keep = false; // whether the value lines belong to a mapping we list
    while (!text.empty()) {
        const std::string_view line = NextLine(text);
        if (IsMappingHeader(line)) {
            TRange r;
            keep = PageoutRange(line, r);
            if (keep) out.push_back({{r.Start, r.Length}});
            continue;
        }
        if (!keep) continue;
        TMappingUse& m = out.back();
        KbField(line, "Rss", m.Resident) || KbField(line, "Referenced", m.Referenced) ||
            KbField(line, "Anonymous", m.Anonymous);
    }
    return out;
}

std::vector<TRange> SplitLargeRanges(const std::vector<TRange>& ranges, uint64_t maxBytes) {
    std::vector<TRange> out;
    out.reserve(ranges.size());
    for (auto r : ranges) {
        while (r.Length > maxBytes) {
            out.push_back({r.Start, maxBytes});
            r.Start += maxBytes;
            r.Length -= maxBytes;
        }
        out.push_back(r);
    }
    return out;
}

size_t BatchSize(const std::vector<TRange>& entries, size_t first, uint64_t maxBytes) {
    size_t n = 0;
    uint64_t bytes = 0;
    while (first + n < entries.size() && n < kMaxBatchEntries) {
        uint64_t len = entries[first + n].Length;
        if (n > 0 && bytes + len > std::min(maxBytes, kMaxBatchBytes)) break;
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
