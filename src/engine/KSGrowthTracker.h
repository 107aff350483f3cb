#pragma once
#include <QString>
#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "platform/IClock.h"
#include "platform/IProcesses.h"

namespace kestrum {

// A program and how much its resident memory grew.
struct TProgramGrowth {
    QString Name;
    int64_t Bytes = 0;
};

// Which programs grew most lately: keeps the resident memory of every program (processes of one name added
// up) at a few moments of the last minute. Sampling walks every process, so the caller does it only while
// memory pressure is up, and every few seconds at most.
class TKSGrowthTracker {
public:
    static constexpr uint32_t WindowMs = 60000;
    static constexpr uint32_t MinSpacingMs = 5000;

    TKSGrowthTracker(platform::IClock& clock, platform::IProcesses& processes) : FClock(clock), FProcesses(processes) {}

    // Takes a sample unless the last is younger than MinSpacingMs; drops those older than the window.
    void Sample();
    // Forgets every sample (pressure is down: the next episode starts afresh).
    void Clear() { FSamples.clear(); }
    // Up to `count` programs whose memory grew most between the oldest and the newest sample, largest first;
    // only those that grew.
    std::vector<TProgramGrowth> TopGrowers(size_t count) const;
    size_t Samples() const { return FSamples.size(); }

private:
    struct TSample {
        uint32_t Tick = 0;
        std::map<QString, uint64_t> Resident; // by lower-cased program name
    };

    platform::IClock& FClock;
    platform::IProcesses& FProcesses;
    std::deque<TSample> FSamples;
    std::map<QString, QString> FNames; // lower-cased → as the system names it
};

} // namespace kestrum
