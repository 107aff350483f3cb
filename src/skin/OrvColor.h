#pragma once
// The colour value the windows are described in: red in the low byte, then green, then blue (0x00BBGGRR).
// Values with the high bit set name system colours and are resolved through the application palette.
#include <QColor>
#include <cstdint>

namespace kestrum {

using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clGray = 0x808080;    // 8421504
constexpr TColor clFuchsia = 0xFF00FF; // 16711935, the toolkit's key colour
constexpr TColor clSystemBit = 0x80000000u;
constexpr TColor clBtnFace = 0x8000000Fu;
constexpr TColor clWindowText = 0x80000008u;
constexpr TColor clGrayText = 0x80000011u;
constexpr TColor clBtnText = 0x80000012u;

constexpr bool IsSystemColor(TColor c) {
    return (c & clSystemBit) != 0;
}
constexpr TColor RGBColor(int r, int g, int b) {
    return TColor(r & 0xFF) | TColor(g & 0xFF) << 8 | TColor(b & 0xFF) << 16;
}

// Resolves system colours to their RGB value (from the application palette); others pass unchanged.
TColor ResolveColor(TColor c);
QColor ToQColor(TColor c);
TColor FromQColor(const QColor& c);

} // namespace kestrum
