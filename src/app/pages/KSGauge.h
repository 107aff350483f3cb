#pragma once
#include <QColor>
#include <QFont>
#include <QWidget>

#include "app/pages/KSTextCache.h"

namespace kestrum {

// A gauge 0..100: a bar filled to the position in its colour, with the percentage written over it.
class TKSGauge : public QWidget {
    Q_OBJECT
public:
    explicit TKSGauge(QWidget* parent = nullptr);

    void SetPosition(int value);
    int Position() const { return FPosition; }
    void SetColor(const QColor& color);
    // The text colour that reads on `fill`: white on dark colours (the blue memory bar), black on light ones.
    static QColor OnColor(const QColor& fill);
    QColor Color() const { return FColor; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int FPosition = 0;
    QColor FColor = Qt::green;
    QFont FTextFont; // sized to the bar once, not at every paint
    TKSTextCache FTexts;
};

} // namespace kestrum
