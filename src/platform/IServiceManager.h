#pragma once
#include <memory>

namespace kestrum::platform {

// Service control (filled in by the service-control work).
class IServiceManager {
public:
    virtual ~IServiceManager() = default;
};

std::unique_ptr<IServiceManager> MakeLinuxServiceManager();

} // namespace kestrum::platform
