#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <optional>

#include "platform/IProcesses.h"

namespace kestrum {

// One program's memory at one moment (its processes added up).
struct TProgramMemory {
    uint64_t Resident = 0;    // bytes
    uint64_t MajorFaults = 0; // pages it had to wait for, since each process started
};
// By program name as the system names it.
using TProgramMemoryMap = std::map<QString, TProgramMemory>;

// The resident memory and major faults of every program; empty when no process list could be read.
TProgramMemoryMap SnapshotPrograms(platform::IProcesses& processes);

// What a run cost in the time after it: how much of what it took came back, and what the system paid.
struct TKSRunCost {
    uint32_t WindowMs = 0;          // how long it was watched
    uint64_t Taken = 0;             // resident bytes the programs lost during the run
    uint64_t CameBack = 0;          // of those, bytes back in memory at the end of the window
    uint64_t MajorFaults = 0;       // major faults of the programs that lost memory, within the window
    uint64_t RefaultBytes = 0;      // pages the whole system brought back soon after pushing them out
    std::optional<double> Pressure; // "some" memory pressure averaged over the window, percent
    QStringList CameStraightBack;   // programs that got most of their memory back at once
};

// Programs count as having got their memory straight back when they lost at least this much and got at least
// this share of it back within the window: trimming them only cost time.
inline constexpr uint64_t StraightBackMinBytes = 8ull << 20;
inline constexpr double StraightBackShare = 0.5;

// The programs' part of the cost, from their memory before the run, right after it, and at the end of the
// window. A program gone by the end counts as having got nothing back.
TKSRunCost ComputeRunCost(const TProgramMemoryMap& before, const TProgramMemoryMap& after,
                          const TProgramMemoryMap& later);

} // namespace kestrum
