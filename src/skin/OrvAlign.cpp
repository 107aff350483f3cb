#include "skin/OrvAlign.h"

namespace kestrum {

namespace {
int Horizontal(TOrvAlign a, int w, int iw, int cx) {
    switch (a) {
        case OrvAlign_TopLeft:
        case OrvAlign_MiddleLeft:
        case OrvAlign_BottomLeft:
        case OrvAlign_CustomLeft:
            return 0;
        case OrvAlign_TopCenter:
        case OrvAlign_MiddleCenter:
        case OrvAlign_BottomCenter:
        case OrvAlign_CustomCenter:
            return (w - iw) / 2;
        case OrvAlign_TopRight:
        case OrvAlign_MiddleRight:
        case OrvAlign_BottomRight:
        case OrvAlign_CustomRight:
            return w - iw;
        default:
            return cx;
    }
}
int Vertical(TOrvAlign a, int h, int ih, int cy) {
    switch (a) {
        case OrvAlign_TopLeft:
        case OrvAlign_TopCenter:
        case OrvAlign_TopRight:
        case OrvAlign_CustomTop:
            return 0;
        case OrvAlign_MiddleLeft:
        case OrvAlign_MiddleCenter:
        case OrvAlign_MiddleRight:
        case OrvAlign_CustomMiddle:
            return (h - ih) / 2;
        case OrvAlign_BottomLeft:
        case OrvAlign_BottomCenter:
        case OrvAlign_BottomRight:
        case OrvAlign_CustomBottom:
            return h - ih;
        default:
            return cy;
    }
}
} // namespace

QPoint AlignItem(TOrvAlign align, QSize box, QSize item, QPoint custom) {
    return {Horizontal(align, box.width(), item.width(), custom.x()),
            Vertical(align, box.height(), item.height(), custom.y())};
}

QPoint AlignPanelItem(TOrvAlign align, QSize client, QSize outer, QSize item, QPoint custom) {
    QSize box = align <= OrvAlign_BottomRight ? client : outer;
    return AlignItem(align, box, item, custom);
}

} // namespace kestrum
