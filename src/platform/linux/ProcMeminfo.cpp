#include "platform/linux/ProcMeminfo.h"

#include <charconv>

namespace kestrum::platform::proc {

std::optional<TMeminfo> ParseMeminfo(std::string_view text) {
    struct TField {
        std::string_view Name;
        uint64_t TMeminfo::*Member;
    };
    static constexpr TField kFields[] = {
        {"MemTotal", &TMeminfo::MemTotal},
        {"MemFree", &TMeminfo::MemFree},
        {"MemAvailable", &TMeminfo::MemAvailable},
        {"Buffers", &TMeminfo::Buffers},
        {"Cached", &TMeminfo::Cached},
        {"SwapTotal", &TMeminfo::SwapTotal},
        {"SwapFree", &TMeminfo::SwapFree},
        {"SwapCached", &TMeminfo::SwapCached},
        {"Writeback", &TMeminfo::Writeback},
        {"Committed_AS", &TMeminfo::CommittedAS},
        {"SReclaimable", &TMeminfo::SReclaimable},
        {"SUnreclaim", &TMeminfo::SUnreclaim},
        {"KernelStack", &TMeminfo::KernelStack},
        {"PageTables", &TMeminfo::PageTables},
    };
    TMeminfo m;
    bool haveTotal = false;
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view name = line.substr(0, colon);
        for (const auto& f : kFields) {
            if (f.Name != name) continue;
            std::string_view v = line.substr(colon + 1);
            while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
            uint64_t value = 0;
            if (std::from_chars(v.data(), v.data() + v.size(), value).ec != std::errc()) break;
            m.*f.Member = value;
            if (f.Member == &TMeminfo::MemTotal) haveTotal = true;
            if (f.Member == &TMeminfo::MemAvailable) m.HasMemAvailable = true;
            break;
        }
    }
    if (!haveTotal) return std::nullopt;
    return m;
}

TPerformanceInfo ToPerformanceInfo(const TMeminfo& m) {
    TPerformanceInfo p;
    p.PageSize = 1024;
    p.PhysicalTotal = m.MemTotal;
    p.PhysicalAvailable = m.HasMemAvailable ? m.MemAvailable : m.MemFree + m.Buffers + m.Cached;
    p.SystemCache = m.Cached + m.Buffers;
    p.CommitLimit = m.MemTotal + m.SwapTotal;
    p.CommitTotal = m.CommittedAS;
    p.CommitPeak = m.CommittedAS;
    p.KernelPaged = m.SReclaimable;
    p.KernelNonpaged = m.SUnreclaim + m.KernelStack + m.PageTables;
    p.KernelTotal = p.KernelPaged + p.KernelNonpaged;
    return p;
}

std::optional<uint64_t> NodeMeminfoKb(std::string_view text, std::string_view name) {
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        // "Node 0 Inactive(anon):  1234 kB"
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view key = line.substr(0, colon);
        size_t space = key.rfind(' ');
        if (space == std::string_view::npos || key.substr(space + 1) != name) continue;
        std::string_view v = line.substr(colon + 1);
        while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
        uint64_t value = 0;
        if (std::from_chars(v.data(), v.data() + v.size(), value).ec != std::errc()) return std::nullopt;
        return value;
    }
    return std::nullopt;
}

} // namespace kestrum::platform::proc
