#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kestrum::platform {

// Service states as the service manager reports them.
enum : uint32_t {
    SERVICE_STATE_STOPPED = 1,
    SERVICE_STATE_START_PENDING = 2,
    SERVICE_STATE_STOP_PENDING = 3,
    SERVICE_STATE_RUNNING = 4,
    SERVICE_STATE_CONTINUE_PENDING = 5,
    SERVICE_STATE_PAUSE_PENDING = 6,
    SERVICE_STATE_PAUSED = 7,
};

struct TServiceStatus {
    uint32_t CurrentState = 0;
    uint32_t WaitHint = 0; // milliseconds the manager expects the pending change to take
};

using TServiceHandle = uint64_t; // 0 = none

// Service control: the manager, one service, its status and its start.
class IServiceManager {
public:
    virtual ~IServiceManager() = default;
    virtual TServiceHandle OpenManager() = 0;
    // Opens the service for status queries and starting; 0 when there is no such service or no right.
    virtual TServiceHandle OpenService(TServiceHandle manager, const std::string& name) = 0;
    virtual std::optional<TServiceStatus> QueryStatus(TServiceHandle service) = 0;
    // Starts the service without arguments; false when the start was refused.
    virtual bool StartService(TServiceHandle service) = 0;
    virtual void CloseHandle(TServiceHandle handle) = 0;
};

std::unique_ptr<IServiceManager> MakeLinuxServiceManager();

} // namespace kestrum::platform
