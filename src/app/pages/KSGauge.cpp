#include "app/pages/KSGauge.h"

#include <QPainter>
#include <algorithm>

namespace kestrum {

TKSGauge::TKSGauge(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

// White or black, whichever stands out more against `fill` (by perceived brightness).
QColor TKSGauge::OnColor(const QColor& fill) {
    const int brightness = (fill.red() * 299 + fill.green() * 587 + fill.blue() * 114) / 1000;
    return brightness < 140 ? Qt::white : Qt::black;
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
    // The figure in a colour that reads on the bar where it lies over the bar, and dark beside it: black
    // on a blue bar is hard to read, white on the grey track as well. Laid out once per figure.
    const QStaticText& text = FTexts.Get(QString::number(FPosition) + QStringLiteral(" %"), FTextFont);
    const QPointF at((width() - text.size().width()) / 2.0, (height() - text.size().height()) / 2.0);
    const QRect bar(inner.left(), inner.top(), filled, inner.height());
    p.setFont(FTextFont);
    p.save();
    p.setClipRect(bar);
    p.setPen(OnColor(FColor));
    p.drawStaticText(at, text);
    p.restore();
    p.setClipRegion(QRegion(rect()).subtracted(bar));
    p.setPen(Qt::black);
    p.drawStaticText(at, text);
}

} // namespace kestrum
