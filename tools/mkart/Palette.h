#pragma once

#include <QColor>

// One palette for every picture, so the windows read as one piece.
namespace kestrum::mkart::pal {

inline const QColor Window{230, 240, 255};     // the windows' background
inline const QColor HeaderTop{70, 146, 238};   // caption band, top row
inline const QColor HeaderBottom{30, 93, 194}; // caption band, last row of the main window's header
inline const QColor Border{21, 64, 140};       // 1-pixel outline of every window
inline const QColor HeaderLine{19, 60, 134};   // line under the header
inline const QColor StatusTop{218, 230, 249};
inline const QColor StatusBottom{206, 221, 245};
inline const QColor Accent{102, 214, 255}; // cyan highlight on the dark header
inline const QColor Gold{255, 204, 64};
inline const QColor Key{255, 0, 255}; // the toolkit's key colour

// The thirteen tray pictures' gauge colours.
inline const QColor TrayBorder{128, 128, 128};
inline const QColor TrayLow{87, 177, 254};
inline const QColor TrayMid{0, 158, 150};
inline const QColor TrayHigh{227, 216, 0};
inline const QColor TrayFull{230, 0, 17};

inline QColor Mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

inline QColor Alpha(const QColor& c, int alpha) {
    QColor r = c;
    r.setAlpha(alpha);
    return r;
}

} // namespace kestrum::mkart::pal
