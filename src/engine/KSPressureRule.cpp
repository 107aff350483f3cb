#include "engine/KSPressureRule.h"

namespace kestrum {

TPressureVerdict TKSPressureRule::Tick(const TPressureRuleSettings& settings, const TPressureFigures& figures,
                                       int32_t sleepValue, bool sleepEnabled, bool held) {
    if (!settings.Enabled) {
        FHighSince = 0;
        return TPressureVerdict::Off;
    }
    if (!figures.Pressure || figures.PhysicalTotal <= 0) {
        FHighSince = 0;
        return TPressureVerdict::NoMeasure;
    }
    const uint32_t now = FClock.TickCount() | 1; // never 0, which means "not set"
    if (figures.Pressure->Some.Avg10 < settings.Threshold) {
        FHighSince = 0;
        return TPressureVerdict::Calm;
    }
    if (FHighSince == 0) FHighSince = now;
    // Unsigned 32-bit differences stay right across the tick count's wrap.
    if (now - FHighSince < settings.HoldMs) return TPressureVerdict::Building;
    if (figures.Pressure->Full && figures.Pressure->Full->Avg10 >= ThrashingFull) return TPressureVerdict::Thrashing;
    if (static_cast<double>(figures.PhysicalAvailable) / static_cast<double>(figures.PhysicalTotal) >= LowAvailable)
        return TPressureVerdict::MemoryNotLow;
    if (figures.CpuUsage >= ProcessorThreshold) return TPressureVerdict::ProcessorBusy;
    if (sleepValue != -1 && sleepEnabled && FLastRun != 0 &&
        now - FLastRun < static_cast<uint32_t>(sleepValue) * 60u * 1000u)
        return TPressureVerdict::Spacing;
    if (held) return TPressureVerdict::Held;
    return TPressureVerdict::Run;
}

void TKSPressureRule::RunStarted() {
    FLastRun = FClock.TickCount() | 1;
    // A new episode must build up again before the next run.
    FHighSince = 0;
}

} // namespace kestrum
