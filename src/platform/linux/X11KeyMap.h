#pragma once
#include <cstdint>

namespace kestrum::platform {

// The X keysym of the key a Windows virtual-key code names (the unshifted symbol, US layout for punctuation);
// 0 when the code has no counterpart.
uint32_t VirtualKeyToKeySym(uint8_t virtualKey);

} // namespace kestrum::platform
