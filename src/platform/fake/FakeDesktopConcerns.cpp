#include "platform/Platform.h"

namespace kestrum::platform {

// Fakes of the desktop's concerns beyond windows (key grabs).
void FillFakeDesktopConcerns(TPlatform&) {}

} // namespace kestrum::platform
