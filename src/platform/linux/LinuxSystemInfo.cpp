#include "platform/ISystemInfo.h"

namespace kestrum::platform {

namespace {
class TStubISystemInfo final : public ISystemInfo {};
} // namespace

std::unique_ptr<ISystemInfo> MakeLinuxSystemInfo(const std::string&) { return std::make_unique<TStubISystemInfo>(); }

} // namespace kestrum::platform
