#include "platform/Platform.h"

namespace kestrum::platform {

// Fakes of the engine's concerns (system counters, registry, system parameters, services).
void FillFakeEngineConcerns(TPlatform&) {}

} // namespace kestrum::platform
