#pragma once
#include <memory>
#include <string>

namespace kestrum::platform {

// Raw system counters for the status sampler (filled in by the memory engine work).
class ISystemInfo {
public:
    virtual ~ISystemInfo() = default;
};

std::unique_ptr<ISystemInfo> MakeLinuxSystemInfo(const std::string& procRoot);

} // namespace kestrum::platform
