#pragma once
// Placement of a caption or picture inside a toolkit control, and the placement arithmetic shared by the
// picture button and the picture panel (pure functions so the tables can be checked directly).
#include <QPoint>
#include <QSize>

namespace kestrum {

enum TOrvAlign {
    OrvAlign_TopLeft,
    OrvAlign_TopCenter,
    OrvAlign_TopRight,
    OrvAlign_MiddleLeft,
    OrvAlign_MiddleCenter,
    OrvAlign_MiddleRight,
    OrvAlign_BottomLeft,
    OrvAlign_BottomCenter,
    OrvAlign_BottomRight,
    OrvAlign_CustomTop,
    OrvAlign_CustomMiddle,
    OrvAlign_CustomBottom,
    OrvAlign_CustomLeft,
    OrvAlign_CustomCenter,
    OrvAlign_CustomRight,
    OrvAlign_Custom,
};

// Top-left corner of an item of size `item` in a control of size `box`; `custom` gives the custom coordinates.
// C++ integer division truncates toward zero, as the placement tables want.
QPoint AlignItem(TOrvAlign align, QSize box, QSize item, QPoint custom);
// The picture panel's variant: the first nine placements use the client size, the custom ones the outer size.
QPoint AlignPanelItem(TOrvAlign align, QSize client, QSize outer, QSize item, QPoint custom);

} // namespace kestrum
