#include "engine/Services.h"

#include <algorithm>

namespace kestrum {

namespace {

bool IsPending(uint32_t state) {
    using namespace platform;
    return state == SERVICE_STATE_START_PENDING || state == SERVICE_STATE_STOP_PENDING ||
           state == SERVICE_STATE_CONTINUE_PENDING || state == SERVICE_STATE_PAUSE_PENDING;
}

// Does the work of TServices; closes its handles on every path.
class TServiceHelper {
public:
    TServiceHelper(platform::IServiceManager& manager, platform::IClock& clock) : FManager(manager), FClock(clock) {}
    ~TServiceHelper() {
        if (FService) FManager.CloseHandle(FService);
        if (FScm) FManager.CloseHandle(FScm);
    }

    bool StartAndWait(const std::string& name, uint32_t limit) {
        using platform::SERVICE_STATE_RUNNING;
        FScm = FManager.OpenManager();
        if (!FScm) return false;
        FService = FManager.OpenService(FScm, name);
        if (!FService) return false;
        auto status = FManager.QueryStatus(FService);
        if (!status) return false;
        if (status->CurrentState == SERVICE_STATE_RUNNING) return true;

        const uint32_t start = FClock.TickCount();
        auto timedOut = [&] {
            return limit != TServices::INFINITE && static_cast<uint32_t>(FClock.TickCount() - start) > limit;
        };
        // A poll that fails keeps the last known status.
        auto poll = [&] {
            if (auto s = FManager.QueryStatus(FService))
                status = s;
            else
                return false;
            return status->CurrentState == SERVICE_STATE_RUNNING;
        };

        uint32_t interval = TServices::PollInterval(status->WaitHint);
        while (IsPending(status->CurrentState)) {
            FClock.Sleep(interval);
            if (poll()) return true;
            if (timedOut()) return false;
        }

        if (!FManager.StartService(FService)) return false;
        if (poll()) return true;

        interval = TServices::PollInterval(status->WaitHint);
        for (;;) {
            FClock.Sleep(interval);
            if (poll()) return true;
            if (timedOut()) return false;
        }
    }

private:
    platform::IServiceManager& FManager;
    platform::IClock& FClock;
    platform::TServiceHandle FScm = 0, FService = 0;
};

} // namespace

uint32_t TServices::PollInterval(uint32_t waitHint) {
    return std::clamp<uint32_t>(waitHint / 10, 1000, 10000);
}

bool TServices::StartServiceAndWait(platform::IServiceManager& manager, platform::IClock& clock,
                                    const QString& serviceName, uint32_t timeLimit) {
    const QString name = serviceName.trimmed();
    if (name.isEmpty()) return false;
    try {
        TServiceHelper helper(manager, clock);
        return helper.StartAndWait(name.toStdString(), timeLimit);
    } catch (...) {
        return false;
    }
}

} // namespace kestrum
