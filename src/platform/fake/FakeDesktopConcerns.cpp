#include "platform/Platform.h"
#include "platform/fake/FakeHotKeys.h"

namespace kestrum::platform {

// Fakes of the desktop's concerns beyond windows (key grabs).
void FillFakeDesktopConcerns(TPlatform& p) {
    p.HotKeys = std::make_unique<TFakeHotKeys>();
}

} // namespace kestrum::platform
