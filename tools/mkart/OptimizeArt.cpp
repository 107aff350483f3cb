#include <QString>
#include <QtMath>
#include <cmath>

#include "ArtSet.h"
#include "Draw.h"
#include "GifWriter.h"
#include "Makers.h"
#include "Palette.h"

namespace kestrum::mkart {
namespace {

constexpr int Disc = 105;
const QPointF Centre(52.5, 52.0);
constexpr double RimR = 50.0;
constexpr double FaceR = 45.0;

enum class TState { Normal, Hover, Pressed, Disabled };
const char* const StateNames[] = {"normal", "hover", "pressed", "disabled"};

struct TFace {
    QColor Top, Bottom, Glow;
};

TFace FaceFor(TState s) {
    switch (s) {
        case TState::Hover:
            return {{102, 196, 255}, {30, 112, 226}, {120, 230, 255}};
        case TState::Pressed:
            return {{40, 124, 222}, {18, 78, 180}, {70, 170, 240}};
        case TState::Disabled:
            return {{176, 190, 210}, {132, 146, 170}, {200, 210, 224}};
        case TState::Normal:
        default:
            return {{82, 178, 255}, {22, 96, 210}, {96, 214, 255}};
    }
}

// The round face shared by the button and its animation.
void DrawDiscBase(QPainter& p, TState s) {
    const TFace f = FaceFor(s);
    // soft shadow on the white panel
    QRadialGradient shadow(Centre + QPointF(0, 2), RimR + 2.5);
    shadow.setColorAt(0.90, QColor(20, 50, 110, 60));
    shadow.setColorAt(1.0, QColor(20, 50, 110, 0));
    p.setBrush(shadow);
    p.drawEllipse(Centre + QPointF(0, 2), RimR + 2.5, RimR + 2.5);
    // metallic rim
    const QRectF rim(Centre.x() - RimR, Centre.y() - RimR, 2 * RimR, 2 * RimR);
    p.setPen(QPen(QColor(130, 160, 205), 1));
    p.setBrush(Vertical(rim, QColor(246, 250, 255), QColor(184, 206, 238)));
    p.drawEllipse(rim);
    // face
    const QRectF face(Centre.x() - FaceR, Centre.y() - FaceR, 2 * FaceR, 2 * FaceR);
    p.setPen(QPen(pal::Alpha(f.Bottom.darker(140), 200), 1));
    p.setBrush(Vertical(face, s == TState::Pressed ? f.Bottom : f.Top, s == TState::Pressed ? f.Top : f.Bottom));
    p.drawEllipse(face);
    p.setPen(Qt::NoPen);
    // glow rising from the bottom
    QRadialGradient glow(Centre + QPointF(0, FaceR * 0.95), FaceR * 0.9);
    glow.setColorAt(0, pal::Alpha(f.Glow, s == TState::Disabled ? 40 : 120));
    glow.setColorAt(1, pal::Alpha(f.Glow, 0));
    p.setBrush(glow);
    p.drawEllipse(face);
    // gloss cap
    if (s != TState::Pressed) {
        QPainterPath cap;
        cap.addEllipse(QRectF(Centre.x() - 36, Centre.y() - FaceR + 3, 72, 44));
        QPainterPath disc;
        disc.addEllipse(face);
        // fades out completely before its lower edge, so no line runs behind the caption
        QLinearGradient g(0, Centre.y() - FaceR + 3, 0, Centre.y() + 2);
        g.setColorAt(0, QColor(255, 255, 255, s == TState::Hover ? 150 : 125));
        g.setColorAt(0.55, QColor(255, 255, 255, s == TState::Hover ? 44 : 34));
        g.setColorAt(1, QColor(255, 255, 255, 0));
        p.setBrush(g);
        p.drawPath(cap.intersected(disc));
    }
}

QImage FreeNowButton(TState s) {
    QImage img = Canvas(Disc, Disc);
    QPainter p;
    Begin(p, img);
    DrawDiscBase(p, s);
    // a small bolt above the centred caption
    const double dy = s == TState::Pressed ? 1 : 0;
    const QRectF bolt(Centre.x() - 8, 17 + dy, 16, 23);
    p.setBrush(QColor(0, 30, 90, s == TState::Disabled ? 30 : 60));
    p.drawPath(Bolt(bolt.translated(0, 1.2)));
    p.setBrush(s == TState::Disabled ? QColor(240, 244, 250) : QColor(255, 255, 255));
    p.drawPath(Bolt(bolt));
    p.end();
    return img;
}

constexpr int GifFrames = 24;
constexpr int GifDelayCs = 5; // 24 × 50 ms: one turn in 1.2 s

// One frame of the running animation: a comet circling inside the rim and the chip's arrow bobbing
// upwards. The lower part stays dark for the white "Freeing" label drawn over it (y 78..97).
QImage AnimationFrame(int k) {
    QImage img = Canvas(Disc, Disc);
    QPainter p;
    Begin(p, img);
    DrawDiscBase(p, TState::Normal);
    const double phase = double(k) / GifFrames;
    const double head = 90.0 - 360.0 * phase; // clockwise, degrees as Qt counts them
    const double r = FaceR - 5.5;
    const QRectF orbit(Centre.x() - r, Centre.y() - r, 2 * r, 2 * r);
    // a faint track, then the comet with its fading tail
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 36, 110, 110), 6.0)); // a darker channel keeps the comet visible under the gloss
    p.drawEllipse(orbit);
    QConicalGradient tail(Centre, head);
    tail.setColorAt(0.0, QColor(255, 255, 255, 255));
    tail.setColorAt(0.15, QColor(170, 238, 255, 240));
    tail.setColorAt(0.4, QColor(120, 220, 255, 130));
    tail.setColorAt(0.6, QColor(120, 220, 255, 0));
    tail.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setPen(QPen(QBrush(tail), 5.0, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(orbit, int(head * 16), int(220 * 16));
    p.setPen(Qt::NoPen);
    const double a = qDegreesToRadians(head);
    const QPointF tip = Centre + QPointF(std::cos(a), -std::sin(a)) * r;
    QRadialGradient halo(tip, 7);
    halo.setColorAt(0, QColor(200, 245, 255, 200));
    halo.setColorAt(1, QColor(200, 245, 255, 0));
    p.setBrush(halo);
    p.drawEllipse(tip, 7, 7);
    p.setBrush(Qt::white);
    p.drawEllipse(tip, 3.2, 3.2);

    // chip in the middle, its arrow rising and coming back each turn
    const QRectF chip(Centre.x() - 13, 30, 26, 26);
    p.setBrush(Qt::white);
    for (int i = 0; i < 3; ++i) {
        const double c = chip.top() + 6 + i * 7;
        p.drawPath(RoundRect(QRectF(chip.left() - 5.5, c - 1.4, 6.5, 2.8), 1));
        p.drawPath(RoundRect(QRectF(chip.right() - 1, c - 1.4, 6.5, 2.8), 1));
        const double cx = chip.left() + 6 + i * 7;
        p.drawPath(RoundRect(QRectF(cx - 1.4, chip.top() - 5.5, 2.8, 6.5), 1));
        p.drawPath(RoundRect(QRectF(cx - 1.4, chip.bottom() - 1, 2.8, 6.5), 1));
    }
    p.drawPath(RoundRect(chip, 3.5));
    const double bob = -2.5 * std::sin(2 * M_PI * phase);
    p.save();
    p.setClipRect(chip.adjusted(2, 2, -2, -2));
    p.setBrush(Vertical(chip, QColor(60, 150, 245), QColor(20, 84, 196)));
    p.drawPath(ArrowUp(chip.adjusted(5, 4 + bob, -5, -4 + bob)));
    p.restore();
    p.end();
    return img;
}

QImage Track(bool full) {
    QImage img = Canvas(500, 45);
    QPainter p;
    Begin(p, img);
    // the bar sits low in its 45 rows: the status text above overlaps the upper part
    const QRectF bar(0.5, 21.5, 499, 16);
    if (!full) {
        p.setPen(QPen(QColor(168, 190, 224), 1));
        p.setBrush(Vertical(bar, QColor(212, 224, 243), QColor(236, 243, 253)));
        p.drawPath(RoundRect(bar, 8));
        p.setPen(QPen(QColor(0, 30, 90, 28), 1));
        p.drawLine(QPointF(8, 23), QPointF(492, 23)); // inner shadow under the top edge
    } else {
        QLinearGradient across(bar.topLeft(), bar.topRight());
        across.setColorAt(0, QColor(64, 200, 240));
        across.setColorAt(1, QColor(30, 104, 222));
        p.setPen(QPen(QColor(22, 86, 186), 1));
        p.setBrush(across);
        p.drawPath(RoundRect(bar, 8));
        // soft gloss on the upper half and a bright line under the top edge
        p.save();
        p.setClipPath(RoundRect(bar.adjusted(1, 1, -1, -1), 7));
        p.setBrush(Vertical(QRectF(0, 22, 500, 9), QColor(255, 255, 255, 110), QColor(255, 255, 255, 0)));
        p.drawRect(QRectF(0, 22, 500, 9));
        p.setBrush(QColor(255, 255, 255, 120));
        p.drawRect(QRectF(0, 22, 500, 1));
        p.restore();
    }
    p.end();
    return img;
}

QImage StarPicture(bool done) {
    QImage img = Canvas(16, 16);
    QPainter p;
    Begin(p, img);
    const QPainterPath star = Star(QPointF(8, 8.6), 7.6, 3.3);
    if (done) {
        p.setPen(QPen(QColor(206, 128, 0), 1));
        p.setBrush(Vertical(QRectF(0, 1, 16, 14), QColor(255, 232, 110), QColor(248, 164, 20)));
        p.drawPath(star);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 120));
        p.drawPath(Star(QPointF(7.2, 7.2), 2.4, 1.1));
    } else {
        p.setPen(QPen(QColor(170, 188, 216), 1));
        p.setBrush(Vertical(QRectF(0, 1, 16, 14), QColor(246, 249, 255), QColor(214, 225, 243)));
        p.drawPath(star);
    }
    p.end();
    return img;
}

} // namespace

void MakeOptimize(TArtSet& set) {
    for (int s = 0; s < 4; ++s)
        set.Png(QString("optimize/freenow_%1.png").arg(StateNames[s]), FreeNowButton(TState(s)),
                QString("Round \"Free Now\" button (`btnOptimize`, `btnOverviewOptimize`), %1; caption drawn "
                        "centred by the button")
                    .arg(StateNames[s]));
    std::vector<QImage> frames;
    for (int k = 0; k < GifFrames; ++k) frames.push_back(AnimationFrame(k));
    QString error;
    const QByteArray gif = TGifWriter::Encode(frames, GifDelayCs, Qt::white, &error);
    if (gif.isEmpty())
        set.Fail("optimize/freenow.gif: " + error);
    else
        set.File("optimize/freenow.gif", gif, frames[0],
                 QString("Animation `imgOptimze` shown while an optimization runs: %1 frames, %2 ms each (one turn "
                         "in 1.2 s at `GIFAnimationSpeed` 100; the control's default 1000 plays it ten times faster), "
                         "endless loop, transparent outside the disc (edges matted on the white panel); the white "
                         "\"Freeing\" label sits on its dark lower part")
                     .arg(GifFrames)
                     .arg(GifDelayCs * 10));
    set.Png("optimize/progress_empty.png", Track(false),
            "Empty progress track `imgOptimizeProc2`; the bar occupies rows 21..38");
    set.Png("optimize/progress_full.png", Track(true),
            "Filled progress track `imgOptimizeProc1`, drawn at its own size and clipped to the control's growing "
            "width");
    set.Png("optimize/star_pending.png", StarPicture(false),
            "Checklist picture, pending (`ilImages` icon 0, pale star)");
    set.Png("optimize/star_done.png", StarPicture(true), "Checklist picture, done (`ilImages` icon 1, golden star)");
}

} // namespace kestrum::mkart
