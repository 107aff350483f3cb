#include "app/pages/KSGauge.h"

#include <QPainter>
#include <algorithm>

namespace kestrum {

TKSGauge::TKSGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TKSGauge::SetPosition(int value) {
    value = std::clamp(value, 0, 100);
    if (value == FPosition) return;
    FPosition = value;
    update();
}

void TKSGauge::SetColor(const QColor& color) {
    if (color == FColor) return;
    FColor = color;
    update();
}

void TKSGauge::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FTextFont = font();
    FTextFont.setPixelSize(std::max(8, height() - 2));
}

void TKSGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    p.fillRect(rect(), QColor(236, 236, 236));
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    const int filled = inner.width() * FPosition / 100;
    p.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), FColor);
    p.setPen(QColor(160, 160, 160));
    p.drawRect(frame);
    p.setFont(FTextFont);
    // Dark text over light colours, white over dark ones, so the figure reads on the bar and beside it.
    const QString text = QString::number(FPosition) + QStringLiteral(" %");
    const QRect textRect = QFontMetrics(FTextFont).boundingRect(rect(), Qt::AlignCenter, text);
    const bool overFill = textRect.center().x() < inner.left() + filled;
    p.setPen(overFill && FColor.lightness() < 110 ? Qt::white : Qt::black);
    p.drawText(rect(), Qt::AlignCenter, text);
}

} // namespace kestrum
