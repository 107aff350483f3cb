#pragma once

#include <QImage>

namespace kestrum::mkart {

class TArtSet;

// Pictures for looking at the artwork (never written into the asset folder): every picture on one
// sheet, and the three windows composed the way the skin manager lays them out.
QImage ContactSheet(const TArtSet& set);
QImage MainWindowMockup(const TArtSet& set, bool optimizePage);
QImage DialogsMockup(const TArtSet& set);

} // namespace kestrum::mkart
