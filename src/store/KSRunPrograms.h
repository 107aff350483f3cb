#pragma once
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

namespace kestrum {

// The programs that gave the most in one run, as the third field of its history record:
// "name=bytes;name=bytes", most first, each name percent-encoded where it holds "=", ";", "%", "|" or
// control characters. Records without the field (written before) read as no programs.
struct TKSRunPrograms {
    using TList = std::vector<std::pair<QString, uint64_t>>;
    static QString Encode(const TList& programs);
    // Pairs that do not parse are left out; never more than MaxPrograms.
    static TList Decode(const QString& text);
    static constexpr int MaxPrograms = 5;
};

} // namespace kestrum
