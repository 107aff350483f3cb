#include "engine/KSOptiMonPolicy.h"

#include "engine/SystemStatus.h"

namespace kestrum {

bool TSystemStatusSampler::RefreshMemory() {
    return FStatus.RefreshMemory();
}
int64_t TSystemStatusSampler::PhysicalTotal() const {
    return FStatus.PhysicalTotal();
}
int64_t TSystemStatusSampler::PhysicalAvailable() const {
    return FStatus.PhysicalAvailable();
}
bool TSystemStatusSampler::RefreshCPU() {
    return FStatus.RefreshCPU();
}
uint32_t TSystemStatusSampler::GetCPUUsage(uint32_t index) const {
    return FStatus.GetCPUUsage(index);
}

TOptiMonResult TKSOptiMonPolicy::Tick(int32_t sleepValue, bool sleepEnabled, bool held) {
    if (sleepValue != -1 && sleepEnabled) {
        const uint32_t now = FClock.TickCount();
        if (FLastCheckTick == 0) FLastCheckTick = now;
        // 32-bit arithmetic throughout: the unsigned difference stays right across the tick count's wrap.
        const uint32_t spacing = static_cast<uint32_t>(sleepValue) * 60u * 1000u;
        if (now - FLastCheckTick < spacing) return TOptiMonResult::Spacing;
        if (held) return TOptiMonResult::Held;
        FLastCheckTick = now;
    } else if (held) {
        return TOptiMonResult::Held;
    }
    // A failed refresh leaves the previous figures, and the rules look at those.
    FSampler.RefreshMemory();
    const int64_t total = FSampler.PhysicalTotal();
    if (total <= 0) return TOptiMonResult::NoMemoryFigure;
    if (static_cast<double>(FSampler.PhysicalAvailable()) / static_cast<double>(total) >= MemoryThreshold)
        return TOptiMonResult::MemoryNotLow;
    FSampler.RefreshCPU();
    if (FSampler.GetCPUUsage(0) >= ProcessorThreshold) return TOptiMonResult::ProcessorBusy;
    return TOptiMonResult::Run;
}

} // namespace kestrum
