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

} // namespace kestrum
