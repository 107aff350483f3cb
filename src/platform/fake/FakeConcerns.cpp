#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeProcesses.h"

namespace kestrum::platform {

void FillFakeEngineConcerns(TPlatform& platform);
void FillFakeDesktopConcerns(TPlatform& platform);

void FillFakeConcerns(TPlatform& p, TFakeHandles* handles) {
    auto desktop = std::make_unique<TFakeDesktop>();
    auto processes = std::make_unique<TFakeProcesses>();
    if (handles) {
        handles->Desktop = desktop.get();
        handles->Processes = processes.get();
    }
    p.Desktop = std::move(desktop);
    p.Processes = std::move(processes);
    FillFakeEngineConcerns(p);
    FillFakeDesktopConcerns(p);
}

} // namespace kestrum::platform
