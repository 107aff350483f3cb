#pragma once
#include <vector>

#include "platform/ISystemParameters.h"

namespace kestrum::platform {

// Records every system-parameter call in order.
class TFakeSystemParameters final : public ISystemParameters {
public:
    std::vector<TSystemParameterCall> Calls;
    bool Succeeds = true;
    bool SetSystemParameter(const TSystemParameterCall& call) override {
        Calls.push_back(call);
        return Succeeds;
    }
};

} // namespace kestrum::platform
