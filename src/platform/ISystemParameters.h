#pragma once
#include <memory>
#include <string>

namespace kestrum::platform {

// System parameters of the tuning settings (filled in by the tuning work).
class ISystemParameters {
public:
    virtual ~ISystemParameters() = default;
};

std::unique_ptr<ISystemParameters> MakeLinuxSystemParameters(const std::string& dataDir);

} // namespace kestrum::platform
