#include "platform/linux/ProcSchedstat.h"

#include <charconv>

namespace kestrum::platform::proc {

namespace {
bool ReadU64(std::string_view& s, uint64_t& v) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end == s.data()) return false;
    s.remove_prefix(static_cast<size_t>(end - s.data()));
    return true;
}
} // namespace

std::optional<uint64_t> SchedstatRunNs(std::string_view text) {
    uint64_t v = 0;
    if (!ReadU64(text, v)) return std::nullopt;
    return v;
}

std::optional<uint64_t> StatProcessorTicks(std::string_view text) {
    const size_t close = text.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = text.substr(close + 1);
    // utime and stime are fields 14 and 15; the fields after the command name start with field 3.
    for (int field = 3; field < 14; ++field) {
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        const size_t sp = rest.find(' ');
        if (sp == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(sp);
    }
    uint64_t user = 0, system = 0;
    if (!ReadU64(rest, user) || !ReadU64(rest, system)) return std::nullopt;
    return user + system;
}

} // namespace kestrum::platform::proc
