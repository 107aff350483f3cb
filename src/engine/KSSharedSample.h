#pragma once
#include <cstdint>

#include "engine/KSOptiMonPolicy.h"

namespace kestrum {

class TSystemStatus;

// The status sampler as the automatic policy sees it. While the once-a-second refresh has just sampled the
// machine, the policy decides on those figures instead of sampling again: one sample a second serves all.
// Outside such a call (a check asked for directly) it samples as the sampler itself does.
class TKSSharedSample final : public IOptiMonSampler {
public:
    explicit TKSSharedSample(TSystemStatus& status) : FStatus(status) {}

    // The caller took the sample just now; until switched off, refreshes reuse it.
    void SetFresh(bool fresh) { FFresh = fresh; }
    bool Fresh() const { return FFresh; }

    bool RefreshMemory() override;
    int64_t PhysicalTotal() const override;
    int64_t PhysicalAvailable() const override;
    bool RefreshCPU() override;
    uint32_t GetCPUUsage(uint32_t index) const override;

private:
    TSystemStatus& FStatus;
    bool FFresh = false;
};

} // namespace kestrum
