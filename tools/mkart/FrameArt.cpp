#include <QString>
#include <cmath>
#include <vector>

#include "ArtSet.h"
#include "Draw.h"
#include "Makers.h"
#include "Palette.h"

namespace kestrum::mkart {
namespace {

constexpr int CornerW = 12;    // width of the corner pieces
constexpr int EdgeLen = 8;     // length of the tiled edge pieces
constexpr int SideW = 2;       // width of the left and right pieces
constexpr int Radius = 6;      // rounded window corners
constexpr int MainTop = 116;   // header: caption row, tab buttons (y 36..115) and banner
constexpr int MainBottom = 30; // status line (labels at y 575)
constexpr int DialogTop = 32;  // caption row only
constexpr int DialogBottom = 8;

struct TFrameStyle {
    int Top;
    int Bottom;
    bool StatusBar;
    double HeaderEnd; // how far down the main header's gradient the band ends (0..1)
};

QColor HeaderColour(int y, int top, double end) {
    const double t = top > 1 ? double(y) / (top - 1) * end : 0;
    QColor c = pal::Mix(pal::HeaderTop, pal::HeaderBottom, t);
    // a faint sheen over the caption row
    if (y < 30) c = pal::Mix(c, Qt::white, 0.10 * (1.0 - y / 30.0));
    return c;
}

QColor BodyColour(const TFrameStyle& s, int y, int h) {
    if (y < s.Top) return y == s.Top - 1 ? pal::HeaderLine : HeaderColour(y, s.Top, s.HeaderEnd);
    const int b = h - s.Bottom;
    if (s.StatusBar && y >= b) {
        if (y == b) return QColor(188, 206, 236);
        if (y == b + 1) return QColor(246, 250, 255);
        return pal::Mix(pal::StatusTop, pal::StatusBottom, double(y - b - 2) / std::max(1, s.Bottom - 3));
    }
    return pal::Window;
}

// The whole frame at its smallest size: the corners, one tile of each edge. Cutting it up gives pieces
// that meet without seams. The outline is decided per pixel (no antialiasing against the key colour:
// blended pink pixels would survive the key-colour cut).
QImage FrameSheet(const TFrameStyle& s) {
    const int w = 2 * CornerW + EdgeLen, h = s.Top + EdgeLen + s.Bottom;
    auto inside = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h) return false;
        const double cx = x + 0.5, cy = y + 0.5;
        const double kx = cx < Radius ? Radius : (cx > w - Radius ? w - Radius : cx);
        const double ky = cy < Radius ? Radius : (cy > h - Radius ? h - Radius : cy);
        return std::hypot(cx - kx, cy - ky) <= Radius - 0.25;
    };
    auto nearOutside = [&](int x, int y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (!inside(x + dx, y + dy)) return true;
        return false;
    };
    std::vector<char> ring(size_t(w * h), 0);
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!inside(x, y)) {
                img.setPixelColor(x, y, pal::Key);
                continue;
            }
            if (nearOutside(x, y)) {
                ring[size_t(y * w + x)] = 1;
                img.setPixelColor(x, y, pal::Border);
                continue;
            }
            img.setPixelColor(x, y, BodyColour(s, y, h));
        }
    // inner highlight, one pixel inside the outline
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (ring[size_t(y * w + x)] || !inside(x, y)) continue;
            bool next = false;
            for (int dy = -1; dy <= 1 && !next; ++dy)
                for (int dx = -1; dx <= 1 && !next; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    next = nx >= 0 && ny >= 0 && nx < w && ny < h && ring[size_t(ny * w + nx)];
                }
            if (!next) continue;
            const bool header = y < s.Top - 1;
            img.setPixelColor(x, y, pal::Mix(img.pixelColor(x, y), Qt::white, header ? 0.22 : 0.6));
        }
    return img;
}

void CutFrame(TArtSet& set, const QString& folder, const TFrameStyle& s, const QString& who) {
    const QImage sheet = FrameSheet(s);
    const int w = sheet.width(), h = sheet.height();
    const int midY = s.Top, botY = h - s.Bottom;
    struct TPiece {
        const char* name;
        QRect rect;
        const char* role;
    };
    const TPiece pieces[] = {
        {"topleft", QRect(0, 0, CornerW, s.Top), "top-left corner"},
        {"top", QRect(CornerW, 0, EdgeLen, s.Top), "top edge (tiled across)"},
        {"topright", QRect(w - CornerW, 0, CornerW, s.Top), "top-right corner"},
        {"left", QRect(0, midY, SideW, EdgeLen), "left edge (tiled down)"},
        {"right", QRect(w - SideW, midY, SideW, EdgeLen), "right edge (tiled down)"},
        {"bottomleft", QRect(0, botY, CornerW, s.Bottom), "bottom-left corner"},
        {"bottom", QRect(CornerW, botY, EdgeLen, s.Bottom), "bottom edge (tiled across)"},
        {"bottomright", QRect(w - CornerW, botY, CornerW, s.Bottom), "bottom-right corner"},
    };
    for (const auto& p : pieces)
        set.Png(QString("%1/frame_%2.png").arg(folder, p.name), sheet.copy(p.rect),
                QString("%1 frame, %2; opaque%3")
                    .arg(who, p.role, QString(p.role).contains("corner") ? ", magenta outside the rounded corner" : ""),
                true);
}

enum class TCaptionKind { Min, Max, Close, Menu };
enum class TState { Normal, Hover, Pressed, Disabled };
const char* const StateNames[] = {"normal", "hover", "pressed", "disabled"};

void CaptionGlyph(QPainter& p, TCaptionKind kind, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    switch (kind) {
        case TCaptionKind::Min:
            p.drawRect(QRectF(8, 14, 9, 2));
            break;
        case TCaptionKind::Max: {
            QPainterPath box;
            box.addRect(QRectF(8, 7, 9, 9));
            QPainterPath hole;
            hole.addRect(QRectF(9, 9, 7, 6));
            p.drawPath(box.subtracted(hole));
            break;
        }
        case TCaptionKind::Close: {
            QPen pen(c, 1.7, Qt::SolidLine, Qt::FlatCap);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawLine(QPointF(8.2, 7.2), QPointF(16.8, 15.8));
            p.drawLine(QPointF(16.8, 7.2), QPointF(8.2, 15.8));
            break;
        }
        case TCaptionKind::Menu:
            for (int i = 0; i < 3; ++i) p.drawRect(QRectF(7, 7 + 4 * i, 11, 2));
            break;
    }
}

QImage CaptionButton(TCaptionKind kind, TState st) {
    QImage img = Canvas(25, 24);
    QPainter p;
    Begin(p, img);
    const QRectF plate(1.5, 1.5, 22, 21);
    const bool close = kind == TCaptionKind::Close;
    if (st == TState::Hover) {
        p.setPen(QPen(QColor(255, 255, 255, close ? 90 : 80), 1));
        p.setBrush(close ? QColor(226, 64, 64) : QColor(255, 255, 255, 48));
        p.drawPath(RoundRect(plate, 4));
    } else if (st == TState::Pressed) {
        p.setPen(QPen(QColor(0, 16, 60, 60), 1));
        p.setBrush(close ? QColor(178, 34, 34) : QColor(0, 24, 80, 80));
        p.drawPath(RoundRect(plate, 4));
    }
    if (st == TState::Disabled) {
        CaptionGlyph(p, kind, QColor(255, 255, 255, 95));
    } else {
        p.save();
        p.translate(0, 1);
        CaptionGlyph(p, kind, QColor(0, 24, 72, st == TState::Normal ? 70 : 40)); // shadow
        p.restore();
        CaptionGlyph(p, kind, QColor(255, 255, 255, st == TState::Normal ? 240 : 255));
    }
    p.end();
    return img;
}

} // namespace

void MakeFrames(TArtSet& set) {
    CutFrame(set, "skin/main", {MainTop, MainBottom, true, 1.0}, "Main window (800×600)");
    CutFrame(set, "skin/dialog", {DialogTop, DialogBottom, false, 0.45},
             "Settings dialog (500×410) and about box (500×360)");
    set.Png("skin/caption/icon_main.png", Logo(20), "Main window caption icon (`Icon.PicNormal`), placed at (8, 5)");
    set.Png("skin/caption/icon_dialog.png", Logo(16),
            "Settings dialog and about box caption icon (`Icon.PicNormal`), placed at (9, 9)");
    const struct {
        TCaptionKind kind;
        const char* name;
        const char* role;
    } buttons[] = {
        {TCaptionKind::Min, "min", "Caption minimize button (`BtnMin`)"},
        {TCaptionKind::Max, "max", "Caption maximize button (`BtnMax`; hidden in the three windows)"},
        {TCaptionKind::Close, "close", "Caption close button (`BtnClose`)"},
        {TCaptionKind::Menu, "menu", "Main menu button `btnMainMenu`, at (window width − 80, 5)"},
    };
    for (const auto& b : buttons)
        for (int s = 0; s < 4; ++s)
            set.Png(QString("skin/caption/%1_%2.png").arg(b.name, StateNames[s]), CaptionButton(b.kind, TState(s)),
                    QString("%1, %2").arg(b.role, StateNames[s]));
}

} // namespace kestrum::mkart
