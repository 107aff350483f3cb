#include "engine/SystemSettings_Core.h"

#include <QString>

#include "engine/Services.h"
#include "engine/WinSysRegistry.h"

namespace kestrum {

namespace {
QString Text(const char16_t* s) {
    return QString::fromUtf16(s);
}
} // namespace

bool SetVisualEffectsMode(const TSystemSettingsContext& c, uint32_t mode) {
    return WriteRegDWord(c.Registry, Text(kVisualEffectsKey), QStringLiteral("VisualFXSetting"), mode, true);
}

bool SetUserPreferencesMask(const TSystemSettingsContext& c, const std::vector<uint8_t>& mask) {
    return WriteRegBinary(c.Registry, Text(kDesktopKey), QStringLiteral("UserPreferencesMask"), mask, true);
}

bool SetExplorerAdvanced(const TSystemSettingsContext& c, const char16_t* valueName, uint32_t value) {
    return WriteRegDWord(c.Registry, Text(kExplorerAdvancedKey), Text(valueName), value, true);
}

bool SetFontSmoothing(const TSystemSettingsContext& c, bool on) {
    return c.Parameters.SetSystemParameter({SPI_SETFONTSMOOTHING, on ? 1u : 0u, 0, {}, 0});
}

bool SetMinimizeAnimation(const TSystemSettingsContext& c, bool on) {
    // ANIMATIONINFO: cbSize (8) then iMinAnimate, both 32-bit little-endian.
    std::vector<uint8_t> info = {8, 0, 0, 0, static_cast<uint8_t>(on ? 1 : 0), 0, 0, 0};
    return c.Parameters.SetSystemParameter({SPI_SETANIMATION, 8, 0, std::move(info), 0});
}

bool SetFlagParameter(const TSystemSettingsContext& c, uint32_t action, bool on) {
    return c.Parameters.SetSystemParameter({action, 0, on ? 1u : 0u, {}, 0});
}

bool SetDragFullWindows(const TSystemSettingsContext& c, bool on) {
    return c.Parameters.SetSystemParameter({SPI_SETDRAGFULLWINDOWS, on ? 1u : 0u, 0, {}, 0});
}

bool StartVisualStyles(const TSystemSettingsContext& c) {
    return TServices::StartServiceAndWait(c.Services, c.Clock, QStringLiteral("Themes"), 1000);
}

bool SetPrioritySeparation(const TSystemSettingsContext& c, uint32_t value) {
    return WriteRegDWord(c.Registry, Text(kPriorityControlKey), QStringLiteral("Win32PrioritySeparation"), value, true);
}

} // namespace kestrum
