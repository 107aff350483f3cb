#pragma once
#include <deque>

#include "platform/ISystemInfo.h"

namespace kestrum::platform {

// Scripted counters: processor samples are handed out in order (the last one repeats); a missing entry
// (nullopt) makes that query fail.
class TFakeSystemInfo final : public ISystemInfo {
public:
    std::optional<uint32_t> Processors = 2;
    std::optional<std::chrono::system_clock::time_point> Boot;
    std::deque<std::optional<TProcessorSample>> Samples;
    std::optional<TPerformanceInfo> Memory;
    std::optional<TMemoryPressure> Pressure; // unset: the system has no pressure measure
    int ProcessorQueries = 0;

    std::optional<uint32_t> ProcessorCount() override { return Processors; }
    std::optional<std::chrono::system_clock::time_point> BootTime() override { return Boot; }
    std::optional<TProcessorSample> ProcessorSample(uint32_t) override {
        ++ProcessorQueries;
        if (Samples.empty()) return std::nullopt;
        auto s = Samples.front();
        if (Samples.size() > 1) Samples.pop_front();
        return s;
    }
    std::optional<TPerformanceInfo> PerformanceInfo() override { return Memory; }
    std::optional<TMemoryPressure> MemoryPressure() override { return Pressure; }
};

} // namespace kestrum::platform
