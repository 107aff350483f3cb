#include "platform/IRegistry.h"

namespace kestrum::platform {

namespace {
class TStubIRegistry final : public IRegistry {};
} // namespace

std::unique_ptr<IRegistry> MakeFileRegistry(const std::string&) { return std::make_unique<TStubIRegistry>(); }

} // namespace kestrum::platform
