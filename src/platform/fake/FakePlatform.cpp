#include "platform/fake/FakePlatform.h"

namespace kestrum::platform {

TPlatform MakeFakePlatform(TFakeHandles* handles) {
    TPlatform p;
    auto clock = std::make_unique<TFakeClock>();
    auto shell = std::make_unique<TFakeShell>();
    auto version = std::make_unique<TFakeFileVersion>();
    auto single = std::make_unique<TFakeSingleInstance>(std::make_shared<TFakeSingleInstance::TRegistry>());
    if (handles) {
        handles->Clock = clock.get();
        handles->Shell = shell.get();
        handles->FileVersion = version.get();
        handles->SingleInstance = single.get();
    }
    p.Clock = std::move(clock);
    p.Shell = std::move(shell);
    p.FileVersion = std::move(version);
    p.SingleInstance = std::move(single);
    // The other concerns start as the Linux placeholders' fakes; each concern's fake replaces its slot.
    FillFakeConcerns(p, handles);
    return p;
}

} // namespace kestrum::platform
