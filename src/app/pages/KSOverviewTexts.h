#pragma once
#include <QString>
#include <cstdint>

namespace kestrum {

class TOrvMultiLangs;
class TSystemStatus;

// The usage figures the refresh tick keeps between ticks: each keeps its last value while its total is
// unknown (0).
struct TKSUsagePercents {
    int MemUsagePercent = 0;
    int PageFileUsagePercent = 0;
    // Steps 2 and 3 of the tick, from the latest memory figures.
    void Update(const TSystemStatus& status);
};

// Tray picture for a memory use in percent: 0 → 1, 1–10 → 2 … 91–100 → 11; any other value keeps `current`.
int TrayPictureForUsage(int percent, int current);
// The picture after a tick: 12 while do-not-disturb is on, the usage band when the dynamic icon is shown,
// otherwise `current` untouched.
int TrayPictureForTick(bool antiDisturb, bool showTrayIcon, bool dynTrayIcon, int memPercent, int current);
// The picture right after a do-not-disturb change, or -1 when the tray picture is left alone.
int TrayPictureForStateChange(bool antiDisturb, bool showTrayIcon, bool dynTrayIcon);

// The three panel captions and the tray tooltip of one tick, from the catalogue.
QString CpuPanelCaption(const TOrvMultiLangs& langs, const TSystemStatus& status);
QString MemPanelCaption(const TOrvMultiLangs& langs, const TSystemStatus& status, int memPercent);
QString PfPanelCaption(const TOrvMultiLangs& langs, const TSystemStatus& status, int pfPercent);
QString TrayHint(const TOrvMultiLangs& langs, int memPercent, bool antiDisturb);

} // namespace kestrum
