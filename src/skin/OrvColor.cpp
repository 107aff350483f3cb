#include "skin/OrvColor.h"

#include <QGuiApplication>
#include <QPalette>

namespace kestrum {

TColor ResolveColor(TColor c) {
    if (!IsSystemColor(c)) return c & 0xFFFFFF;
    QPalette pal = QGuiApplication::palette();
    QColor q;
    switch (c & 0xFF) {
        case 0x05:
            q = pal.color(QPalette::Base);
            break; // window
        case 0x08:
            q = pal.color(QPalette::WindowText);
            break; // window text
        case 0x0F:
            q = pal.color(QPalette::Button);
            break; // button face
        case 0x10:
            q = pal.color(QPalette::Dark);
            break; // button shadow
        case 0x11:
            q = pal.color(QPalette::Disabled, QPalette::WindowText);
            break; // gray text
        case 0x12:
            q = pal.color(QPalette::ButtonText);
            break; // button text
        case 0x0D:
            q = pal.color(QPalette::Highlight);
            break;
        case 0x0E:
            q = pal.color(QPalette::HighlightedText);
            break;
        default:
            q = pal.color(QPalette::Window);
            break;
    }
    return FromQColor(q);
}

QColor ToQColor(TColor c) {
    c = ResolveColor(c);
    return QColor(int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF));
}

TColor FromQColor(const QColor& c) {
    return RGBColor(c.red(), c.green(), c.blue());
}

} // namespace kestrum
