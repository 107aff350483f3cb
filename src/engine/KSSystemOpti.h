#pragma once
#include "engine/SystemSettings_Core.h"

namespace kestrum {

// Switches most desktop visual effects off (keeping font smoothing, icon-label shadows, folder tasks and
// visual styles). Every step runs whatever the previous one reported; a registry value that cannot be
// written after its key opened ends the remaining steps and gives false (nothing is thrown).
bool TuneMemoryAllocation(const TSystemSettingsContext& c);

// Short, variable time slices with a larger slice for the foreground program. False only when a
// registry error ended it.
bool TuneCpuAllocation(const TSystemSettingsContext& c);

} // namespace kestrum
