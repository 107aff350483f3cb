#include "engine/KSSharedSample.h"

#include "engine/SystemStatus.h"

namespace kestrum {

bool TKSSharedSample::RefreshMemory() {
    return FFresh || FStatus.RefreshMemory();
}
int64_t TKSSharedSample::PhysicalTotal() const {
    return FStatus.PhysicalTotal();
}
int64_t TKSSharedSample::PhysicalAvailable() const {
    return FStatus.PhysicalAvailable();
}
// A processor sample of its own would also shorten the interval the next refresh measures over.
bool TKSSharedSample::RefreshCPU() {
    return FFresh || FStatus.RefreshCPU();
}
uint32_t TKSSharedSample::GetCPUUsage(uint32_t index) const {
    return FStatus.GetCPUUsage(index);
}

} // namespace kestrum
