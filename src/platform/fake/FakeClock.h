#pragma once
#include "platform/IClock.h"

namespace kestrum::platform {

// A clock that moves only when told to (or when Sleep is called).
class TFakeClock final : public IClock {
public:
    uint32_t Tick = 1000;
    std::chrono::system_clock::time_point Time = std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 20000);
    uint64_t SleptMs = 0;

    uint32_t TickCount() override { return Tick; }
    std::chrono::system_clock::time_point Now() override { return Time; }
    void Sleep(uint32_t ms) override { Advance(ms); SleptMs += ms; }
    void Advance(uint32_t ms) { Tick += ms; Time += std::chrono::milliseconds(ms); }
};

} // namespace kestrum::platform
