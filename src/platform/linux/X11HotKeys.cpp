#include "platform/IHotKeys.h"

namespace kestrum::platform {

namespace {
class TStubIHotKeys final : public IHotKeys {};
} // namespace

std::unique_ptr<IHotKeys> MakeX11HotKeys(void*) { return std::make_unique<TStubIHotKeys>(); }

} // namespace kestrum::platform
