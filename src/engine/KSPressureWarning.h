#pragma once
#include <cstdint>

#include "engine/KSPressureRule.h"
#include "platform/IClock.h"

namespace kestrum {

// When the early warning speaks.
struct TPressureWarningSettings {
    bool Enabled = true;
    double Level = 10.0;        // "some" pressure (10-second average, percent) that counts as climbing
    double LowAvailable = 0.15; // available ÷ total below this: about to run out
};

// The early warning's episodes: one warning when pressure has climbed and available memory is about to run
// out, then silence until pressure has stayed down for a while. Pure: the caller feeds each second's figures
// and shows the warning.
class TKSPressureWarning {
public:
    static constexpr uint32_t QuietMs = 60000; // pressure below half the level this long ends an episode
    static constexpr double WatchShare = 0.5;  // from half the level on, who grows is worth watching

    explicit TKSPressureWarning(platform::IClock& clock) : FClock(clock) {}

    // One sample; true exactly when the warning is to be given now.
    bool Sample(const TPressureWarningSettings& settings, const TPressureFigures& figures);

    bool InEpisode() const { return FInEpisode; }
    // Pressure is up at all (or an episode is on): the caller may look at which programs grow.
    bool Watching() const { return FWatching; }
    int Warnings() const { return FWarnings; }

private:
    platform::IClock& FClock;
    bool FInEpisode = false;
    bool FWatching = false;
    uint32_t FQuietSince = 0; // 0: pressure not below half the level
    int FWarnings = 0;
};

} // namespace kestrum
