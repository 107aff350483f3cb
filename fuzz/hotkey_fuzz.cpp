// libFuzzer target for hotkey texts: every hotkey value turns into a display text with any modifier names,
// and splitting a value and joining it again gives the value's own bits back.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "desktop/HotKeyText.h"

using namespace kestrum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > 4096) return 0;
    uint32_t value = 0;
    std::memcpy(&value, data, 4);
    const QList<QByteArray> names = fuzz::Pieces(data + 4, size - 4);
    SetHotKeyModifierNames(QString::fromUtf8(names.value(0)), QString::fromUtf8(names.value(1)),
                           QString::fromUtf8(names.value(2)));
    const QString local = HotKeyToText(value, true);
    const QString us = HotKeyToText(value, false);
    (void)local;
    // Ctrl, Shift, Alt and Win each end in "+", then the key's name.
    const TSplitHotKey split = SplitHotKey(value);
    const uint32_t joined = JoinHotKey(split.Modifiers, split.VirtualKey);
    fuzz::Check(joined == (value & (0xFF | HotKey_Shift | HotKey_Ctrl | HotKey_Alt | HotKey_Win)));
    fuzz::Check(SplitHotKey(joined) == split);
    fuzz::Check(!IsMediaKey(value & 0xFF) || !MediaKeyName(value & 0xFF).isEmpty());
    (void)us;
    return 0;
}
