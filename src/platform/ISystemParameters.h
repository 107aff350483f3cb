#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrum::platform {

// One system-parameter change: action code, its integer argument and its pointer argument, which is either
// a plain value (PvData empty) or a record (PvData holds its bytes).
struct TSystemParameterCall {
    uint32_t Action = 0;
    uint32_t UiParam = 0;
    uint64_t PvValue = 0;
    std::vector<uint8_t> PvData;
    uint32_t WinIni = 0; // 0: takes effect now, not saved, nothing broadcast
    bool operator==(const TSystemParameterCall&) const = default;
};

// System parameters of the tuning settings.
class ISystemParameters {
public:
    virtual ~ISystemParameters() = default;
    virtual bool SetSystemParameter(const TSystemParameterCall& call) = 0;
    // Whether a change reaches the running system; false where changes are only recorded.
    virtual bool TakesEffect() const { return true; }
};

std::unique_ptr<ISystemParameters> MakeLinuxSystemParameters(const std::string& dataDir);

} // namespace kestrum::platform
