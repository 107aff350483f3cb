#include "platform/IServiceManager.h"

namespace kestrum::platform {

namespace {
class TStubIServiceManager final : public IServiceManager {};
} // namespace

std::unique_ptr<IServiceManager> MakeLinuxServiceManager() { return std::make_unique<TStubIServiceManager>(); }

} // namespace kestrum::platform
