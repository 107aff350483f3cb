#include "platform/Platform.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/FakeServiceManager.h"
#include "platform/fake/FakeSystemInfo.h"
#include "platform/fake/FakeSystemParameters.h"

namespace kestrum::platform {

// Fakes of the engine's concerns (system counters, registry, system parameters, services). Tests reach
// them by casting the slot to its fake type.
void FillFakeEngineConcerns(TPlatform& p) {
    p.SystemInfo = std::make_unique<TFakeSystemInfo>();
    p.Registry = std::make_unique<TFakeRegistry>();
    p.SystemParameters = std::make_unique<TFakeSystemParameters>();
    p.Services = std::make_unique<TFakeServiceManager>();
}

} // namespace kestrum::platform
