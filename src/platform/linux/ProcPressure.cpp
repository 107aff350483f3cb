#include "platform/linux/ProcPressure.h"

#include <charconv>

namespace kestrum::platform::proc {

namespace {

std::string_view NextLine(std::string_view& text) {
    const size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    return line;
}

std::string_view NextWord(std::string_view& line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    size_t end = 0;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    std::string_view word = line.substr(0, end);
    line.remove_prefix(end);
    return word;
}

template <class T>
bool Number(std::string_view s, T& out) {
    if (s.empty()) return false;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && ptr == s.data() + s.size();
}

// "avg10=1.23 avg60=… avg300=… total=…"; every one of the four must be there and be a number.
std::optional<TPressureLine> ParseLine(std::string_view rest) {
    TPressureLine l;
    int seen = 0;
    for (std::string_view word = NextWord(rest); !word.empty(); word = NextWord(rest)) {
        const size_t eq = word.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const std::string_view key = word.substr(0, eq), value = word.substr(eq + 1);
        bool ok = true;
        if (key == "avg10")
            ok = Number(value, l.Avg10), seen |= 1;
        else if (key == "avg60")
            ok = Number(value, l.Avg60), seen |= 2;
        else if (key == "avg300")
            ok = Number(value, l.Avg300), seen |= 4;
        else if (key == "total")
            ok = Number(value, l.Total), seen |= 8;
        if (!ok) return std::nullopt;
    }
    if (seen != 15 || l.Avg10 < 0 || l.Avg60 < 0 || l.Avg300 < 0) return std::nullopt;
    return l;
}

} // namespace

std::optional<TMemoryPressure> ParsePressure(std::string_view text) {
    std::optional<TPressureLine> some, full;
    while (!text.empty()) {
        std::string_view line = NextLine(text);
        const std::string_view kind = NextWord(line);
        if (kind == "some")
            some = ParseLine(line);
        else if (kind == "full")
            full = ParseLine(line);
    }
    if (!some) return std::nullopt;
    return TMemoryPressure{*some, full};
}

std::optional<uint64_t> VmstatRefaults(std::string_view text) {
    uint64_t sum = 0;
    bool any = false;
    while (!text.empty()) {
        std::string_view line = NextLine(text);
        const std::string_view name = NextWord(line);
        if (name != "workingset_refault" && name != "workingset_refault_anon" && name != "workingset_refault_file")
            continue;
        uint64_t v = 0;
        if (!Number(NextWord(line), v)) continue;
        sum += v;
        any = true;
    }
    return any ? std::optional<uint64_t>(sum) : std::nullopt;
}

std::optional<TReclaimCounters> VmstatProactiveReclaim(std::string_view text) {
    TReclaimCounters c;
    bool scanned = false, stolen = false;
    while (!text.empty()) {
        std::string_view line = NextLine(text);
        const std::string_view name = NextWord(line);
        const bool isScan = name == "pgscan_proactive", isSteal = name == "pgsteal_proactive";
        if (!isScan && !isSteal) continue;
        uint64_t v = 0;
        if (!Number(NextWord(line), v)) continue;
        (isScan ? c.Scanned : c.Stolen) = v;
        (isScan ? scanned : stolen) = true;
    }
    if (!scanned || !stolen) return std::nullopt;
    return c;
}

std::optional<uint64_t> StatMajorFaults(std::string_view text) {
    // The name in parentheses may hold spaces and parentheses itself: fields count from the last ')'.
    const size_t close = text.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(close + 1);
    // After the name: state(3) ppid pgrp session tty_nr tpgid flags minflt cminflt majflt(12).
    std::string_view word;
    for (int field = 3; field <= 12; ++field) {
        word = NextWord(rest);
        if (word.empty()) return std::nullopt;
    }
    uint64_t v = 0;
    if (!Number(word, v)) return std::nullopt;
    return v;
}

} // namespace kestrum::platform::proc
