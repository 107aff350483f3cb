#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

// Small drawing helpers shared by the picture makers.
namespace kestrum::mkart {

QImage Canvas(int w, int h, const QColor& fill = Qt::transparent);
// An antialiased painter on a canvas.
void Begin(QPainter& p, QImage& img);

QPainterPath RoundRect(const QRectF& r, double radius);
QPainterPath Star(QPointF centre, double outer, double inner);
QPainterPath Bolt(const QRectF& box);    // lightning bolt filling the box
QPainterPath ArrowUp(const QRectF& box); // block arrow pointing up

QLinearGradient Vertical(const QRectF& r, const QColor& top, const QColor& bottom);

// The product logo: a blue tile with a memory chip and an up arrow. Small sizes get a simplified,
// pixel-aligned drawing so the chip stays readable in a 16-pixel tray slot.
QImage Logo(int size);

// Multiplies the alpha of every pixel (used for disabled looks).
QImage Faded(const QImage& img, double opacity);
// Shifts a picture's colours towards grey (disabled looks).
QImage Desaturated(const QImage& img, double amount);

} // namespace kestrum::mkart
