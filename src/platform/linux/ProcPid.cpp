#include "platform/linux/ProcPid.h"

#include <algorithm>
#include <charconv>

namespace kestrum::platform::proc {

namespace {

bool NextU64(std::string_view& s, uint64_t& v) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc()) return false;
    s.remove_prefix(static_cast<size_t>(r.ptr - s.data()));
    return true;
}

std::string_view StripDeleted(std::string_view t) {
    constexpr std::string_view kDeleted = " (deleted)";
    if (t.ends_with(kDeleted)) t.remove_suffix(kDeleted.size());
    return t;
}

} // namespace

std::optional<TStatm> ParseStatm(std::string_view text) {
    uint64_t size = 0;
    TStatm s;
    if (!NextU64(text, size) || !NextU64(text, s.Resident) || !NextU64(text, s.Shared)) return std::nullopt;
    return s;
}

bool IsKernelThreadStat(std::string_view text) {
    constexpr uint64_t kPfKthread = 0x00200000;
    // The command name may hold spaces and parentheses; the fields start after the last ")".
    size_t close = text.rfind(')');
    if (close == std::string_view::npos) return false;
    std::string_view rest = text.substr(close + 1);
    // state ppid pgrp session tty_nr tpgid flags
    for (int field = 0; field < 6; ++field) {
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        size_t sp = rest.find(' ');
        if (sp == std::string_view::npos) return false;
        rest.remove_prefix(sp);
    }
    uint64_t flags = 0;
    if (!NextU64(rest, flags)) return false;
    return (flags & kPfKthread) != 0;
}

std::optional<uint64_t> StatStartTime(std::string_view text) {
    size_t close = text.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(close + 1);
    // Field 22 of the line; the fields after the command name start with field 3 (state).
    for (int field = 3; field < 22; ++field) {
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        size_t sp = rest.find(' ');
        if (sp == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(sp);
    }
    uint64_t start = 0;
    if (!NextU64(rest, start)) return std::nullopt;
    return start;
}

std::optional<uint32_t> StatParentId(std::string_view text) {
    size_t close = text.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(close + 1);
    // state, then ppid
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    size_t sp = rest.find(' ');
    if (sp == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(sp);
    uint64_t ppid = 0;
    if (!NextU64(rest, ppid) || ppid > UINT32_MAX) return std::nullopt;
    return static_cast<uint32_t>(ppid);
}

std::optional<uint64_t> StatusSwapKb(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.substr(0, 7) != "VmSwap:") continue;
        line.remove_prefix(7);
        while (!line.empty() && (line.front() == '\t' || line.front() == ' ')) line.remove_prefix(1);
        uint64_t kb = 0;
        if (!NextU64(line, kb)) return std::nullopt;
        return kb;
    }
    return std::nullopt;
}

std::vector<std::string> CgroupPaths(std::string_view text) {
    std::vector<std::string> out;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        // The path is everything after the second colon; it may hold colons itself.
        size_t first = line.find(':');
        if (first == std::string_view::npos) continue;
        size_t second = line.find(':', first + 1);
        if (second == std::string_view::npos) continue;
        std::string_view path = line.substr(second + 1);
        if (!path.empty()) out.emplace_back(path);
    }
    return out;
}

std::string CleanExeLink(std::string_view target) {
    return std::string(StripDeleted(target));
}

std::string ExeNameFromLink(std::string_view target) {
    target = StripDeleted(target);
    size_t slash = target.rfind('/');
    if (slash != std::string_view::npos) target.remove_prefix(slash + 1);
    return std::string(target);
}

std::optional<std::string> CgroupV2Path(std::string_view text) {
    while (!text.empty()) {
        size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (line.starts_with("0::")) {
            line.remove_prefix(3);
            // A process that left the hierarchy shows " (deleted)"; such a cgroup cannot be reclaimed in.
            if (line.ends_with(" (deleted)")) return std::nullopt;
            return std::string(line);
        }
    }
    return std::nullopt;
}

std::optional<std::string> CgroupV2Mount(std::string_view mountinfo) {
    while (!mountinfo.empty()) {
        size_t eol = mountinfo.find('\n');
        std::string_view line = mountinfo.substr(0, eol);
        mountinfo.remove_prefix(eol == std::string_view::npos ? mountinfo.size() : eol + 1);
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        size_t dash = line.find(" - ");
        if (dash == std::string_view::npos) continue;
        std::string_view tail = line.substr(dash + 3);
        if (!tail.starts_with("cgroup2 ")) continue;
        std::string_view head = line.substr(0, dash);
        std::string_view fields[5];
        for (auto& f : fields) {
            size_t sp = head.find(' ');
            f = head.substr(0, sp);
            head.remove_prefix(sp == std::string_view::npos ? head.size() : sp + 1);
        }
        if (fields[3] != "/") continue; // a bind mount of a sub-tree is not the hierarchy's root
        return std::string(fields[4]);
    }
    return std::nullopt;
}

bool CgroupWithin(std::string_view inner, std::string_view outer) {
    if (outer == "/") return true;
    if (!inner.starts_with(outer)) return false;
    return inner.size() == outer.size() || inner[outer.size()] == '/';
}

std::optional<uint64_t> MeminfoWritebackKb(std::string_view text) {
    size_t pos = text.find("\nWriteback:");
    if (pos == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(pos + 11);
    uint64_t v = 0;
    if (!NextU64(rest, v)) return std::nullopt;
    return v;
}

bool SwapGoesToDisk(std::string_view swaps) {
    bool found = false, disk = false;
    int64_t best = 0;
    size_t at = swaps.find('\n'); // past the heading
    while (at != std::string_view::npos && at + 1 < swaps.size()) {
        const size_t end = swaps.find('\n', at + 1);
        std::string_view line = swaps.substr(at + 1, end == std::string_view::npos ? swaps.npos : end - at - 1);
        at = end;
        // Filename Type Size Used Priority, apart by blanks; a blank inside a name shows escaped (\040).
        std::string_view field[5];
        int n = 0;
        while (n < 5) {
            const size_t b = line.find_first_not_of(" \t");
            if (b == std::string_view::npos) break;
            line.remove_prefix(b);
            const size_t e = std::min(line.find_first_of(" \t"), line.size());
            field[n++] = line.substr(0, e);
            line.remove_prefix(e);
        }
        uint64_t size = 0, used = 0;
        int64_t priority = 0;
        const auto number = [](std::string_view t, auto& v) {
            const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
            return r.ec == std::errc() && r.ptr == t.data() + t.size();
        };
        if (n < 5 || !number(field[2], size) || !number(field[3], used) || !number(field[4], priority)) continue;
        if (used >= size) continue; // full: the next area takes the pages
        if (!found || priority > best) {
            found = true;
            best = priority;
            disk = !field[0].starts_with("/dev/zram");
        }
    }
    return disk;
}

} // namespace kestrum::platform::proc
