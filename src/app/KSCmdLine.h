#pragma once
#include <QStringList>

namespace kestrum {

// Tab-selection codes a second start hands to the running one with "-popup".
inline constexpr int PopupCodeOverview = 73825;
inline constexpr int PopupCodeOptimize = 73826;

// The integer after the first "-popup" (ASCII case ignored) that converts; the scan ends at the first
// empty argument; 0 when there is none.
int ParsePopupCode(const QStringList& arguments);
// The tab index a code selects: 0, 1, or -1 for any other code.
int TabIndexForPopupCode(long long code);

// What a second start hands to the running one: the tab code in the low 32 bits, requests above them.
// A running copy that predates a request bit only sees a code it does not know, which selects no tab.
inline constexpr long long HandOverOptimizeBit = 1LL << 32;
struct THandOver {
    int PopupCode = 0;
    bool Optimize = false; // "-optimize": free memory as the hotkey does
};
long long EncodeHandOver(const THandOver& handOver);
THandOver DecodeHandOver(long long message);
// The hand-over this start's own command line asks for.
THandOver HandOverFromArguments(const QStringList& arguments);

} // namespace kestrum
