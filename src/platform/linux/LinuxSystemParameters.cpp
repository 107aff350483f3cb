#include "platform/ISystemParameters.h"

namespace kestrum::platform {

namespace {
class TStubISystemParameters final : public ISystemParameters {};
} // namespace

std::unique_ptr<ISystemParameters> MakeLinuxSystemParameters(const std::string&) { return std::make_unique<TStubISystemParameters>(); }

} // namespace kestrum::platform
