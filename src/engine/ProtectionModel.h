#pragma once
#include <QString>
#include <cstdint>
#include <vector>

#include "engine/MemoryOptimize.h"
#include "engine/ProtectionReason.h"

namespace kestrum {

// One running program (all processes of one executable name) as the next run would see it.
struct TProgramProtection {
    QString Name;  // executable file name
    QString AppId; // the desktop's application id, where one of its processes has one
    uint32_t Processes = 0;
    uint32_t ProtectedProcesses = 0;
    uint64_t Resident = 0, Swapped = 0; // bytes, summed over the processes
    // The strongest reason one of its processes is spared for; None: the next run trims all of them.
    TProtectionReason Reason = TProtectionReason::None;
};

// What the running programs hold and whether, and why, the next run in the engine's selection mode leaves
// them alone. Reads every process once; no window, so the companion tool and the protection page share it.
class TProtectionModel {
public:
    // Largest resident memory first.
    static std::vector<TProgramProtection> Programs(TMemoryOptimize& engine, platform::IProcesses& processes);
    // The same for a mode and switches of the automatic protection that are not the engine's (yet).
    static std::vector<TProgramProtection> Programs(TMemoryOptimize& engine, platform::IProcesses& processes,
                                                    uint8_t mode, const TAutoProtection::TSwitches& switches);
    // A short English word for the reason (scripts and the companion tool).
    static const char* ReasonWord(TProtectionReason reason);
};

} // namespace kestrum
