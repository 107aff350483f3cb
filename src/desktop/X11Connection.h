#pragma once

namespace kestrum {

// The xcb_connection_t* of the running Qt application when it talks to an X server; nullptr otherwise
// (Wayland, offscreen, no application).
void* QtX11Connection();

} // namespace kestrum
