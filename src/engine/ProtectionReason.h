#pragma once
#include <cstdint>

namespace kestrum {

// Why a freeing run leaves a process alone (the first that holds, in this order of strength).
enum class TProtectionReason : uint8_t {
    None = 0,
    NeverTrim,  // on the never-trim list
    Game,       // a game registered with GameMode
    FullScreen, // the program whose window fills the screen
    Foreground, // the foreground program or one of its child processes
    MostUsed,   // one of the five most-used programs of the smart mode
    NotListed,  // the run trims only the trim-only list, and this is not on it
};

} // namespace kestrum
