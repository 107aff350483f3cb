#pragma once
#include <memory>

namespace kestrum::platform {

// System-wide key grabs (filled in by the hotkey work).
class IHotKeys {
public:
    virtual ~IHotKeys() = default;
};

// `connection` is the xcb_connection_t* of the application; nullptr gives grabs that always fail.
std::unique_ptr<IHotKeys> MakeX11HotKeys(void* connection);

} // namespace kestrum::platform
