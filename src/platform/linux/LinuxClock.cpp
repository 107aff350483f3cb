#include <time.h>

#include <thread>

#include "platform/IClock.h"

namespace kestrum::platform {

namespace {
class TLinuxClock final : public IClock {
public:
    uint32_t TickCount() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
    }
    std::chrono::system_clock::time_point Now() override { return std::chrono::system_clock::now(); }
    void Sleep(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};
} // namespace

std::unique_ptr<IClock> MakeLinuxClock() { return std::make_unique<TLinuxClock>(); }

} // namespace kestrum::platform
