#pragma once
#include <cstdint>
#include <optional>

#include "platform/IClock.h"
#include "platform/ISystemInfo.h"

namespace kestrum {

// The figures one check of the pressure rule looks at.
struct TPressureFigures {
    std::optional<platform::TMemoryPressure> Pressure; // empty: the system does not measure it
    int64_t PhysicalTotal = 0, PhysicalAvailable = 0;  // bytes
    uint32_t CpuUsage = 0;                             // percent, whole machine
};

// The user's choice for freeing on pressure (off unless switched on).
struct TPressureRuleSettings {
    bool Enabled = false;
    double Threshold = 10.0; // "some" pressure (10-second average, percent) that counts as high
    uint32_t HoldMs = 30000; // how long it must stay high before a run
};

// How one check ended.
enum class TPressureVerdict {
    Off,           // the rule is switched off
    NoMeasure,     // no pressure figures (kernel without the measure) or no memory figures yet
    Calm,          // "some" pressure below the threshold
    Building,      // high, but not yet for long enough
    Thrashing,     // "full" pressure says the machine is thrashing: paging out now only makes it worse
    MemoryNotLow,  // high pressure with plenty available (a memory-limited group, not the whole machine)
    ProcessorBusy, // processor usage at the threshold or above
    Spacing,       // an automatic run happened less than the user's spacing ago
    Held,          // do-not-disturb, or a run is under way
    Run,           // free memory now (automatically)
};

// Frees memory before the desktop stalls: when tasks have waited for memory for a while (the kernel's
// pressure figure) and available memory is low and the processor is idle. Beside the automatic policy, not
// instead of it: that one keeps its own rule and clock. Only decides; the caller runs the optimization and
// tells RunStarted.
class TKSPressureRule {
public:
    static constexpr double LowAvailable = 0.3;        // available ÷ total must be below this
    static constexpr double ThrashingFull = 10.0;      // "full" 10-second average, percent
    static constexpr uint32_t ProcessorThreshold = 80; // as the automatic policy's

    explicit TKSPressureRule(platform::IClock& clock) : FClock(clock) {}

    // One check (the policy's 5-second tick). `sleepValue`/`sleepEnabled` space runs as the user set them
    // (-1 or unticked: no spacing); `held` makes a due run wait.
    TPressureVerdict Tick(const TPressureRuleSettings& settings, const TPressureFigures& figures, int32_t sleepValue,
                          bool sleepEnabled, bool held);
    // An automatic run (this rule's or the policy's) started: the spacing counts from now.
    void RunStarted();

    bool High() const { return FHighSince != 0; }

private:
    platform::IClock& FClock;
    uint32_t FHighSince = 0; // tick count when "some" went above the threshold; 0: it is not
    uint32_t FLastRun = 0;   // 0: no automatic run yet
};

} // namespace kestrum
