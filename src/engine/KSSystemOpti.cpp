#include "engine/KSSystemOpti.h"

#include "engine/WinSysRegistry.h"

namespace kestrum {

bool TuneMemoryAllocation(const TSystemSettingsContext& c) {
    try {
        SetVisualEffectsMode(c, 3); // custom
        SetUserPreferencesMask(c, {0x90, 0x12, 0x03, 0x80});
        SetFontSmoothing(c, true);
        SetExplorerAdvanced(c, u"ListviewShadow", 1);
        SetExplorerAdvanced(c, u"WebView", 1);
        StartVisualStyles(c);
        SetMinimizeAnimation(c, false);
        SetFlagParameter(c, SPI_SETSELECTIONFADE, false);
        SetFlagParameter(c, SPI_SETCURSORSHADOW, false);
        SetDragFullWindows(c, false);
        SetFlagParameter(c, SPI_SETCOMBOBOXANIMATION, false);
        SetFlagParameter(c, SPI_SETLISTBOXSMOOTHSCROLLING, false);
        SetExplorerAdvanced(c, u"ListviewAlphaSelect", 0);
        SetExplorerAdvanced(c, u"ListviewWatermark", 0);
        SetExplorerAdvanced(c, u"TaskbarAnimations", 0);
        SetFlagParameter(c, SPI_SETMENUANIMATION, false);
        SetFlagParameter(c, SPI_SETTOOLTIPANIMATION, false);
        return true;
    } catch (const ERegistryError&) {
        // Thrown into a timer handler it would end the program; the steps after it are skipped instead.
        return false;
    }
}

bool TuneCpuAllocation(const TSystemSettingsContext& c) {
    try {
        SetPrioritySeparation(c, 37);
        return true;
    } catch (const ERegistryError&) {
        return false;
    }
}

} // namespace kestrum
