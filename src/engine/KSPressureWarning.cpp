#include "engine/KSPressureWarning.h"

namespace kestrum {

bool TKSPressureWarning::Sample(const TPressureWarningSettings& settings, const TPressureFigures& figures) {
    if (!settings.Enabled || !figures.Pressure || figures.PhysicalTotal <= 0) {
        FWatching = FInEpisode;
        return false;
    }
    const double some = figures.Pressure->Some.Avg10;
    FWatching = FInEpisode || some >= settings.Level * WatchShare;
    if (FInEpisode) {
        // Hysteresis: a figure that wobbles around the level is one episode, not many.
        if (some >= settings.Level / 2) {
            FQuietSince = 0;
        } else {
            const uint32_t now = FClock.TickCount() | 1;
            if (FQuietSince == 0) FQuietSince = now;
            if (now - FQuietSince >= QuietMs) {
                FInEpisode = false;
                FQuietSince = 0;
            }
        }
        return false;
    }
    const double share = static_cast<double>(figures.PhysicalAvailable) / static_cast<double>(figures.PhysicalTotal);
    if (some < settings.Level || share >= settings.LowAvailable) return false;
    FInEpisode = true;
    FWatching = true;
    FQuietSince = 0;
    ++FWarnings;
    return true;
}

} // namespace kestrum
