#include <QString>

#include "ArtSet.h"
#include "Draw.h"
#include "Makers.h"
#include "Palette.h"

namespace kestrum::mkart {
namespace {

const char* const StateNames[] = {"normal", "hover", "pressed", "disabled"};

QImage CommandButton(int state) {
    QImage img = Canvas(70, 23);
    QPainter p;
    Begin(p, img);
    const QRectF r(0.5, 0.5, 69, 22);
    struct {
        QColor top, bottom, edge;
    } look[] = {
        {{255, 255, 255}, {224, 235, 251}, {128, 160, 210}}, // normal
        {{250, 253, 255}, {208, 229, 255}, {62, 136, 230}},  // hover
        {{200, 218, 246}, {226, 237, 252}, {52, 112, 204}},  // pressed
        {{241, 244, 249}, {233, 237, 244}, {188, 198, 214}}, // disabled
    };
    const auto& l = look[state];
    p.setPen(QPen(l.edge, 1));
    p.setBrush(Vertical(r, l.top, l.bottom));
    p.drawPath(RoundRect(r, 4));
    if (state != 2 && state != 3) { // a crisp inner highlight
        p.setPen(QPen(QColor(255, 255, 255, 200), 1));
        p.setBrush(Qt::NoBrush);
        p.drawPath(RoundRect(r.adjusted(1, 1, -1, -1), 3));
    }
    p.end();
    return img;
}

QImage Separator() {
    QImage img = Canvas(390, 12);
    QPainter p;
    Begin(p, img);
    // a line that fades out at both ends, with a white highlight under it
    auto fade = [](const QColor& c) {
        QLinearGradient g(0, 0, 390, 0);
        g.setColorAt(0, pal::Alpha(c, 0));
        g.setColorAt(0.12, c);
        g.setColorAt(0.88, c);
        g.setColorAt(1, pal::Alpha(c, 0));
        return g;
    };
    p.setBrush(fade(QColor(164, 190, 230)));
    p.drawRect(0, 5, 390, 1);
    p.setBrush(fade(QColor(255, 255, 255, 230)));
    p.drawRect(0, 6, 390, 1);
    p.end();
    return img;
}

// The banner beside the tabs: a glass card on the header with a golden "go further" badge and a rising
// chart; words would have to be translated, so there are none.
QImage Banner() {
    QImage img = Canvas(230, 75);
    QPainter p;
    Begin(p, img);
    const QRectF card(0.5, 0.5, 229, 74);
    p.setPen(QPen(QColor(255, 255, 255, 96), 1));
    p.setBrush(Vertical(card, QColor(255, 255, 255, 54), QColor(255, 255, 255, 14)));
    p.drawPath(RoundRect(card, 8));
    p.setPen(Qt::NoPen);
    // badge
    const QPointF c(40, 37.5);
    p.setBrush(QColor(0, 20, 70, 60));
    p.drawEllipse(c + QPointF(0, 1.5), 25, 25);
    QLinearGradient gold(c.x(), c.y() - 25, c.x(), c.y() + 25);
    gold.setColorAt(0, QColor(255, 222, 96));
    gold.setColorAt(1, QColor(244, 140, 24));
    p.setPen(QPen(QColor(255, 245, 200), 1.5));
    p.setBrush(gold);
    p.drawEllipse(c, 24, 24);
    p.setPen(Qt::NoPen);
    QPainterPath gloss;
    gloss.addEllipse(QRectF(c.x() - 18, c.y() - 22, 36, 22));
    p.setBrush(Vertical(gloss.boundingRect(), QColor(255, 255, 255, 140), QColor(255, 255, 255, 10)));
    p.drawPath(gloss);
    p.setBrush(QColor(190, 90, 0, 110));
    p.drawPath(ArrowUp(QRectF(c.x() - 12, c.y() - 13, 24, 28)));
    p.setBrush(Qt::white);
    p.drawPath(ArrowUp(QRectF(c.x() - 12, c.y() - 14.5, 24, 28)));
    // rising bars
    const double base = 62;
    const double heights[] = {14, 21, 18, 29, 36, 44};
    for (int i = 0; i < 6; ++i) {
        const QRectF bar(84 + i * 21, base - heights[i], 13, heights[i]);
        p.setBrush(Vertical(bar, QColor(255, 255, 255, 120 + 20 * i), QColor(255, 255, 255, 40 + 10 * i)));
        p.drawPath(RoundRect(bar, 2.5));
    }
    p.setBrush(QColor(255, 255, 255, 70));
    p.drawRect(QRectF(80, base + 1, 134, 1));
    // trend line over the bars
    QPainterPath trend;
    const QPointF pts[] = {{90.5, 40}, {111.5, 35}, {132.5, 37}, {153.5, 26}, {174.5, 20}, {195.5, 11}};
    trend.moveTo(pts[0]);
    for (int i = 1; i < 6; ++i) trend.lineTo(pts[i]);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(pal::Accent, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(trend);
    p.setPen(QPen(pal::Accent, 1.5));
    p.setBrush(Qt::white);
    for (const auto& pt : pts) p.drawEllipse(pt, 2.6, 2.6);
    p.end();
    return img;
}

} // namespace

void MakeCommon(TArtSet& set) {
    for (int s = 0; s < 4; ++s)
        set.Png(QString("buttons/button_%1.png").arg(StateNames[s]), CommandButton(s),
                QString("Command button face of the settings dialog (`btnOk`, `btnCancel`, `btnApply`), %1; dark "
                        "caption drawn by the button")
                    .arg(StateNames[s]));
    set.Png("common/separator.png", Separator(), "Separator line `imgLine1` … `imgLine4` of the settings dialog");
    set.Png("about/logo.png", Logo(128), "Product logo `imgLogo` of the about box");
    set.Png("main/banner.png", Banner(),
            "Advertising picture `imgAD` at (560, 39) of the main window, drawn over the header (alpha)");
}

} // namespace kestrum::mkart
