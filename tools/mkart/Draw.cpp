#include "Draw.h"

#include <QtMath>
#include <cmath>

#include "Palette.h"

namespace kestrum::mkart {

QImage Canvas(int w, int h, const QColor& fill) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(fill);
    return img;
}

void Begin(QPainter& p, QImage& img) {
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.setPen(Qt::NoPen);
}

QPainterPath RoundRect(const QRectF& r, double radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

QPainterPath Star(QPointF c, double outer, double inner) {
    QPainterPath path;
    for (int i = 0; i < 10; ++i) {
        const double a = -M_PI / 2 + i * M_PI / 5;
        const double r = (i % 2) ? inner : outer;
        const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    path.closeSubpath();
    return path;
}

QPainterPath Bolt(const QRectF& b) {
    auto at = [&](double x, double y) { return QPointF(b.left() + x * b.width(), b.top() + y * b.height()); };
    QPainterPath path;
    path.moveTo(at(0.62, 0.0));
    path.lineTo(at(0.08, 0.58));
    path.lineTo(at(0.46, 0.58));
    path.lineTo(at(0.34, 1.0));
    path.lineTo(at(0.92, 0.40));
    path.lineTo(at(0.54, 0.40));
    path.closeSubpath();
    return path;
}

QPainterPath ArrowUp(const QRectF& b) {
    auto at = [&](double x, double y) { return QPointF(b.left() + x * b.width(), b.top() + y * b.height()); };
    QPainterPath path;
    path.moveTo(at(0.5, 0.0));
    path.lineTo(at(1.0, 0.52));
    path.lineTo(at(0.68, 0.52));
    path.lineTo(at(0.68, 1.0));
    path.lineTo(at(0.32, 1.0));
    path.lineTo(at(0.32, 0.52));
    path.lineTo(at(0.0, 0.52));
    path.closeSubpath();
    return path;
}

QLinearGradient Vertical(const QRectF& r, const QColor& top, const QColor& bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

namespace {

const QColor LogoTop{96, 176, 252};
const QColor LogoBottom{22, 80, 184};
const QColor LogoEdge{18, 58, 132};
const QColor ArrowTop{52, 140, 240};
const QColor ArrowBottom{20, 84, 196};

// Pixel-aligned logo for the tray and caption sizes.
QImage SmallLogo(int s) {
    QImage img = Canvas(s, s);
    QPainter p;
    Begin(p, img);
    const QRectF tile(0.5, 0.5, s - 1, s - 1);
    p.setBrush(Vertical(tile, LogoTop, LogoBottom));
    p.setPen(QPen(LogoEdge, 1));
    p.drawPath(RoundRect(tile, s * 0.2));
    p.setPen(Qt::NoPen);
    p.setRenderHint(QPainter::Antialiasing, false);
    // chip body and pins, on whole pixels
    const int c0 = std::lround(s * 0.28), c1 = s - c0; // chip spans [c0, c1)
    p.setBrush(Qt::white);
    p.drawRect(c0, c0, c1 - c0, c1 - c0);
    const int pins = s > 20 ? 3 : 2;
    const int span = c1 - c0;
    for (int i = 0; i < pins; ++i) {
        const int at = c0 + 1 + (span - 2) * (2 * i + 1) / (2 * pins);
        p.drawRect(c0 - 2, at, 2, 1);
        p.drawRect(c1, at, 2, 1);
        p.drawRect(at, c0 - 2, 1, 2);
        p.drawRect(at, c1, 1, 2);
    }
    // arrow: a triangle over a stem, in the tile's blue
    p.setRenderHint(QPainter::Antialiasing, true);
    const double m = span * 0.16;
    p.setBrush(Vertical(QRectF(c0, c0, span, span), ArrowTop, ArrowBottom));
    p.drawPath(ArrowUp(QRectF(c0 + m, c0 + m, span - 2 * m, span - 2 * m)));
    p.end();
    return img;
}

} // namespace

QImage Logo(int s) {
    if (s <= 24) return SmallLogo(s);
    QImage img = Canvas(s, s);
    QPainter p;
    Begin(p, img);
    p.scale(s, s);
    const double px = 1.0 / s;
    const QRectF tile(0.04, 0.04, 0.92, 0.92);
    // soft drop shadow
    for (int i = 3; i >= 1; --i) {
        p.setBrush(QColor(10, 40, 100, 14));
        p.drawPath(RoundRect(tile.translated(0, 0.012 * i).adjusted(-0.004 * i, 0, 0.004 * i, 0.002 * i), 0.2));
    }
    p.setBrush(Vertical(tile, LogoTop, LogoBottom));
    p.setPen(QPen(LogoEdge, std::max(px, 0.012)));
    p.drawPath(RoundRect(tile, 0.2));
    p.setPen(Qt::NoPen);
    // gloss on the upper half
    QPainterPath gloss = RoundRect(tile.adjusted(0.02, 0.02, -0.02, -0.02), 0.18);
    QPainterPath half;
    half.addEllipse(QRectF(-0.3, -0.62, 1.6, 1.12));
    QLinearGradient gg(0, 0.05, 0, 0.5);
    gg.setColorAt(0, QColor(255, 255, 255, 90));
    gg.setColorAt(1, QColor(255, 255, 255, 8));
    p.setBrush(gg);
    p.drawPath(gloss.intersected(half));
    // chip with pins; below 64 pixels their edges are put on whole pixels so they stay crisp
    auto snap = [&](const QRectF& r) {
        if (s >= 64) return r;
        auto g = [&](double v) { return std::round(v * s) / s; };
        return QRectF(QPointF(g(r.left()), g(r.top())), QPointF(g(r.right()), g(r.bottom())));
    };
    const QRectF chip = snap(QRectF(0.28, 0.28, 0.44, 0.44));
    const double pinR = s >= 64 ? 0.02 : 0.0;
    p.setBrush(QColor(10, 40, 100, 50));
    p.drawPath(RoundRect(chip.translated(0, 0.015), 0.06));
    p.setBrush(Qt::white);
    for (int i = 0; i < 3; ++i) {
        const double c = 0.375 + i * 0.125;
        p.drawPath(RoundRect(snap(QRectF(0.175, c - 0.028, 0.12, 0.056)), pinR));
        p.drawPath(RoundRect(snap(QRectF(0.705, c - 0.028, 0.12, 0.056)), pinR));
        p.drawPath(RoundRect(snap(QRectF(c - 0.028, 0.175, 0.056, 0.12)), pinR));
        p.drawPath(RoundRect(snap(QRectF(c - 0.028, 0.705, 0.056, 0.12)), pinR));
    }
    p.setBrush(Vertical(chip, QColor(255, 255, 255), QColor(226, 238, 255)));
    p.drawPath(RoundRect(chip, 0.06));
    // the arrow
    p.setBrush(Vertical(chip, ArrowTop, ArrowBottom));
    p.drawPath(ArrowUp(chip.adjusted(0.085, 0.07, -0.085, -0.07)));
    p.end();
    return img;
}

QImage Faded(const QImage& src, double opacity) {
    QImage img = Canvas(src.width(), src.height());
    QPainter p(&img);
    p.setOpacity(opacity);
    p.drawImage(0, 0, src);
    p.end();
    return img;
}

QImage Desaturated(const QImage& src, double amount) {
    QImage img = src.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = row[x];
            const int g = qGray(c);
            auto mix = [&](int v) { return int(std::lround(v + (g - v) * amount)); };
            row[x] = qRgba(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)), qAlpha(c));
        }
    }
    return img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace kestrum::mkart
