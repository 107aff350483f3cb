#pragma once
#include <chrono>
#include <cstdint>
#include <memory>

namespace kestrum::platform {

// Time sources. Tests give a fake so timing rules run without real waits.
class IClock {
public:
    virtual ~IClock() = default;
    // Milliseconds since an arbitrary start, truncated to 32 bits so the wrap rules hold.
    virtual uint32_t TickCount() = 0;
    // Wall-clock time of day.
    virtual std::chrono::system_clock::time_point Now() = 0;
    // Blocks the calling thread (a fake only advances its clock).
    virtual void Sleep(uint32_t milliseconds) = 0;
};

std::unique_ptr<IClock> MakeLinuxClock();

} // namespace kestrum::platform
