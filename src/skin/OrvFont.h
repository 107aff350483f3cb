#pragma once
// A caption font together with its colour (the controls' fonts carry a colour, unlike QFont).
#include <QColor>
#include <QFont>

namespace kestrum {

struct TOrvFont {
    QFont Font;
    QColor Color = Qt::black;

    bool operator==(const TOrvFont& o) const { return Font == o.Font && Color == o.Color; }
};

} // namespace kestrum
