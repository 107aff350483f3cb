#pragma once
#include <cstdint>

#include "platform/IClock.h"

namespace kestrum {

class TSystemStatus;

// What the automatic policy reads of the status sampler.
class IOptiMonSampler {
public:
    virtual ~IOptiMonSampler() = default;
    virtual bool RefreshMemory() = 0;
    virtual int64_t PhysicalTotal() const = 0;
    virtual int64_t PhysicalAvailable() const = 0;
    virtual bool RefreshCPU() = 0;
    virtual uint32_t GetCPUUsage(uint32_t index) const = 0;
};

// The program's own sampler seen through that interface.
class TSystemStatusSampler final : public IOptiMonSampler {
public:
    explicit TSystemStatusSampler(TSystemStatus& status) : FStatus(status) {}
    bool RefreshMemory() override;
    int64_t PhysicalTotal() const override;
    int64_t PhysicalAvailable() const override;
    bool RefreshCPU() override;
    uint32_t GetCPUUsage(uint32_t index) const override;

private:
    TSystemStatus& FStatus;
};

// How one policy tick ended.
enum class TOptiMonResult {
    Held,           // a check was due (or unspaced) but runs wait: do-not-disturb, or a run is under way
    Spacing,        // the last check was less than SleepValue minutes ago
    NoMemoryFigure, // no memory figures yet (total not above 0)
    MemoryNotLow,   // available is 20 % of total or more
    ProcessorBusy,  // total processor usage 80 % or more
    Run,            // free memory now (automatically, with a balloon)
};

// The automatic optimization policy: every tick (5 s) decides, from the sampler's figures and the time of the
// last check, whether memory is freed in the background. It only decides; the caller runs the optimization.
class TKSOptiMonPolicy {
public:
    static constexpr int TickInterval = 5000; // ms
    static constexpr double MemoryThreshold = 0.2;
    static constexpr uint32_t ProcessorThreshold = 80;

    TKSOptiMonPolicy(platform::IClock& clock, IOptiMonSampler& sampler) : FClock(clock), FSampler(sampler) {}

    // One tick. SleepValue -1, or SleepEnabled off (the user cleared "do not optimize repeatedly within"),
    // lifts the spacing. `held` (do-not-disturb active, or a run already under way) makes a due check wait
    // without restarting the spacing, so it happens at the first tick after the hold ends.
    TOptiMonResult Tick(int32_t sleepValue, bool sleepEnabled, bool held);

    uint32_t LastCheckTick() const { return FLastCheckTick; }
    void SetLastCheckTick(uint32_t tick) { FLastCheckTick = tick; }

private:
    platform::IClock& FClock;
    IOptiMonSampler& FSampler;
    uint32_t FLastCheckTick = 0; // 0: not set yet
};

} // namespace kestrum
