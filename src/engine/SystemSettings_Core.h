#pragma once
#include <cstdint>
#include <vector>

#include "platform/IClock.h"
#include "platform/IRegistry.h"
#include "platform/IServiceManager.h"
#include "platform/ISystemParameters.h"

namespace kestrum {

// What the system settings are written through.
struct TSystemSettingsContext {
    platform::IRegistry& Registry;
    platform::ISystemParameters& Parameters;
    platform::IServiceManager& Services;
    platform::IClock& Clock;
};

// System-parameter actions used by the tuning.
enum : uint32_t {
    SPI_SETDRAGFULLWINDOWS = 0x0025,
    SPI_SETANIMATION = 0x0049,
    SPI_SETFONTSMOOTHING = 0x004B,
    SPI_SETMENUANIMATION = 0x1003,
    SPI_SETCOMBOBOXANIMATION = 0x1005,
    SPI_SETLISTBOXSMOOTHSCROLLING = 0x1007,
    SPI_SETSELECTIONFADE = 0x1015,
    SPI_SETTOOLTIPANIMATION = 0x1017,
    SPI_SETCURSORSHADOW = 0x101B,
};

// Registry places of the desktop's visual settings.
inline constexpr const char16_t* kVisualEffectsKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\VisualEffects";
inline constexpr const char16_t* kDesktopKey = u"HKEY_CURRENT_USER\\Control Panel\\Desktop";
inline constexpr const char16_t* kExplorerAdvancedKey =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
inline constexpr const char16_t* kPriorityControlKey =
    u"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\PriorityControl";

// Single settings. Registry writes create what is missing and may throw ERegistryError; system-parameter
// changes take effect now and are not saved (last argument 0).
bool SetVisualEffectsMode(const TSystemSettingsContext& c, uint32_t mode);
bool SetUserPreferencesMask(const TSystemSettingsContext& c, const std::vector<uint8_t>& mask);
bool SetExplorerAdvanced(const TSystemSettingsContext& c, const char16_t* valueName, uint32_t value);
bool SetFontSmoothing(const TSystemSettingsContext& c, bool on);
bool SetMinimizeAnimation(const TSystemSettingsContext& c, bool on);
// The on/off parameters whose state travels in the pointer argument (selection fade, cursor shadow ...).
bool SetFlagParameter(const TSystemSettingsContext& c, uint32_t action, bool on);
bool SetDragFullWindows(const TSystemSettingsContext& c, bool on);
bool StartVisualStyles(const TSystemSettingsContext& c);
bool SetPrioritySeparation(const TSystemSettingsContext& c, uint32_t value);

} // namespace kestrum
