#include <QString>
#include <functional>

#include "ArtSet.h"
#include "Draw.h"
#include "Makers.h"
#include "Palette.h"

namespace kestrum::mkart {
namespace {

constexpr int TabW = 77, TabH = 80;
constexpr double Cx = TabW / 2.0; // icons are centred above the caption (caption top at y 57)
constexpr double Cy = 30;

using TGlyph = std::function<void(QPainter&, const QColor& ink, const QColor& accent)>;

void Gauge(QPainter& p, const QColor& ink, const QColor& accent) {
    const QRectF ring(Cx - 17, Cy - 15, 34, 34);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(pal::Alpha(ink, ink.alpha() * 2 / 5), 4.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(ring, -30 * 16, 240 * 16);
    p.setPen(QPen(accent, 4.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(ring, 90 * 16, 120 * 16);
    // tick marks inside the ring
    p.setPen(QPen(pal::Alpha(ink, ink.alpha() * 3 / 5), 1.6, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = ring.center();
    for (int a = -30; a <= 210; a += 60) {
        const double r = qDegreesToRadians(double(a));
        p.drawLine(c + QPointF(std::cos(r), -std::sin(r)) * 10.5, c + QPointF(std::cos(r), -std::sin(r)) * 12.5);
    }
    const double n = qDegreesToRadians(50.0);
    p.setPen(QPen(ink, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c, c + QPointF(std::cos(n), -std::sin(n)) * 12);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(c, 3.6, 3.6);
}

void Lightning(QPainter& p, const QColor& ink, const QColor& accent) {
    p.setPen(Qt::NoPen);
    const QRectF box(Cx - 12, Cy - 18, 24, 36);
    QLinearGradient g(box.topLeft(), box.bottomLeft());
    g.setColorAt(0, ink);
    g.setColorAt(1, pal::Mix(ink, accent, 0.55));
    p.setBrush(g);
    p.drawPath(Bolt(box));
    // two sparkles: memory set free
    p.setBrush(accent);
    auto sparkle = [&](QPointF c, double r) {
        QPainterPath s;
        s.moveTo(c + QPointF(0, -r));
        s.quadTo(c, c + QPointF(r, 0));
        s.quadTo(c, c + QPointF(0, r));
        s.quadTo(c, c + QPointF(-r, 0));
        s.quadTo(c, c + QPointF(0, -r));
        p.drawPath(s);
    };
    sparkle(QPointF(Cx - 14, Cy - 11), 5);
    sparkle(QPointF(Cx + 14, Cy + 9), 4);
}

void Upgrade(QPainter& p, const QColor& ink, const QColor& accent) {
    const QPointF c(Cx, Cy);
    p.setBrush(Qt::NoBrush);
    QConicalGradient cg(c, 90);
    cg.setColorAt(0, accent);
    cg.setColorAt(0.5, ink);
    cg.setColorAt(1, accent);
    p.setPen(QPen(QBrush(cg), 3.4));
    p.drawEllipse(c, 16.5, 16.5);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(ArrowUp(QRectF(Cx - 10, Cy - 11.5, 20, 23)));
}

void Logs(QPainter& p, const QColor& ink, const QColor& accent) {
    const QRectF page(Cx - 13.5, Cy - 17.5, 27, 35);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 2.8));
    p.drawPath(RoundRect(page, 3.5));
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        const double y = page.top() + 7 + i * 7;
        p.setBrush(accent);
        p.drawEllipse(QPointF(page.left() + 7, y + 1.25), 2.1, 2.1);
        p.setBrush(ink);
        p.drawPath(RoundRect(QRectF(page.left() + 11.5, y, i == 3 ? 7.5 : 10.5, 2.5), 1.2));
    }
}

enum class TState { Normal, Hover, Pressed, Disabled };
const char* const StateNames[] = {"normal", "hover", "pressed", "disabled"};

QImage Tab(const TGlyph& glyph, TState st, bool isTab) {
    if (st == TState::Disabled && !isTab) return Faded(Desaturated(Tab(glyph, TState::Normal, isTab), 0.6), 0.55);
    QImage img = Canvas(TabW, TabH);
    QPainter p;
    Begin(p, img);
    const QRectF plate(2.5, 2.5, TabW - 5, TabH - 6);
    switch (st) {
        case TState::Normal:
            break;
        case TState::Hover:
            p.setPen(QPen(QColor(255, 255, 255, 72), 1));
            p.setBrush(Vertical(plate, QColor(255, 255, 255, 52), QColor(255, 255, 255, 20)));
            p.drawPath(RoundRect(plate, 7));
            break;
        case TState::Pressed:
            p.setPen(QPen(QColor(0, 18, 64, 60), 1));
            p.setBrush(Vertical(plate, QColor(0, 22, 76, 92), QColor(0, 22, 76, 56)));
            p.drawPath(RoundRect(plate, 7));
            break;
        case TState::Disabled: { // the selected tab: a lit plate with a pointer into the page below
            p.setPen(QPen(QColor(255, 255, 255, 125), 1));
            p.setBrush(Vertical(plate, QColor(255, 255, 255, 86), QColor(255, 255, 255, 34)));
            p.drawPath(RoundRect(plate, 7));
            QPainterPath notch;
            notch.moveTo(Cx - 8, TabH);
            notch.lineTo(Cx, TabH - 8);
            notch.lineTo(Cx + 8, TabH);
            notch.closeSubpath();
            p.setPen(Qt::NoPen);
            p.setBrush(pal::Window);
            p.drawPath(notch);
            break;
        }
    }
    const double dy = st == TState::Pressed ? 1 : 0;
    p.save();
    p.translate(0, dy + 1.5);
    glyph(p, QColor(0, 20, 70, 70), QColor(0, 20, 70, 70)); // soft shadow
    p.restore();
    p.save();
    p.translate(0, dy);
    const QColor accent = st == TState::Normal ? pal::Accent : pal::Mix(pal::Accent, Qt::white, 0.25);
    glyph(p, Qt::white, accent);
    p.restore();
    p.end();
    return img;
}

} // namespace

void MakeTabs(TArtSet& set) {
    const struct {
        const char* name;
        const char* button;
        TGlyph glyph;
        bool isTab;
    } tabs[] = {
        {"usage", "`btnTabOverview` (\"Usage\"; gauge)", Gauge, true},
        {"optimize", "`btnTabOptimize` (\"Optimize\"; lightning)", Lightning, true},
        {"upgrade", "`btnTabUpgrade` (\"Upgrade\"; arrow up; a plain button, not a tab)", Upgrade, false},
        {"logs", "`btnTabLogs` (\"Logs\"; list)", Logs, true},
    };
    for (const auto& t : tabs)
        for (int s = 0; s < 4; ++s) {
            QString role = StateNames[s];
            if (s == 3 && t.isTab) role = "disabled = selected tab";
            set.Png(QString("tabs/%1_%2.png").arg(t.name, StateNames[s]), Tab(t.glyph, TState(s), t.isTab),
                    QString("Tab button %1, %2; icon above the caption (caption top at y 57)").arg(t.button, role));
        }
}

} // namespace kestrum::mkart
