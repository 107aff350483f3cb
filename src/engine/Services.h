#pragma once
#include <QString>
#include <cstdint>

#include "platform/IClock.h"
#include "platform/IServiceManager.h"

namespace kestrum {

// Service control, as class-level operations (nothing to place on a form).
class TServices {
public:
    static constexpr uint32_t INFINITE = 0xFFFFFFFFu; // no time limit

    // Starts the service and waits until it runs. True when it runs at the end; false on any failure or
    // when more than `timeLimit` ms passed. Blocks the calling thread while it waits (through `clock`).
    static bool StartServiceAndWait(platform::IServiceManager& manager, platform::IClock& clock,
                                    const QString& serviceName, uint32_t timeLimit);

    // One tenth of the manager's wait hint, kept between 1 and 10 seconds.
    static uint32_t PollInterval(uint32_t waitHint);
};

} // namespace kestrum
