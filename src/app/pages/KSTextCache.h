#pragma once
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QStaticText>
#include <QString>

namespace kestrum {

// Laid-out texts for painting the same lines again and again (panel lines, legend titles): shaping a line
// costs far more than drawing it. Bounded: past Capacity pieces it starts over.
// Lines whose figures change every second ("12 345 MB") are laid out in pieces: the words between the
// figures, which come back tick after tick, and each digit on its own, so a new figure needs no shaping.
class TKSTextCache {
public:
    static constexpr int Capacity = 512;

    // The whole text laid out as one.
    const QStaticText& Get(const QString& text, const QFont& font) { return Piece(text, font).Text; }

    // Draws `text` with its top left at `at`, as QPainter::drawStaticText does; pieces that end left of
    // `fromX` are left out (a repaint of the text's changed end).
    void Draw(QPainter& p, const QPointF& at, const QString& text, const QFont& font, qreal fromX = -1e9) {
        qreal x = at.x();
        ForEachPiece(text, font, [&](const TPiece& piece) {
            if (x + piece.Advance + Overhang >= fromX) p.drawStaticText(QPointF(x, at.y()), piece.Text);
            x += piece.Advance;
        });
    }

    // Where Draw puts the piece that holds character `index` (the text's width past its end): two texts
    // alike up to `index` look alike left of it.
    qreal PieceStart(const QString& text, qsizetype index, const QFont& font) {
        qreal x = 0;
        qsizetype at = 0;
        ForEachPiece(text, font, [&](const TPiece& piece) {
            if (at + piece.Length <= index) x += piece.Advance;
            at += piece.Length;
        });
        return x;
    }

    // How far a glyph may reach past its piece's advance, in pixels.
    static constexpr qreal Overhang = 2;

    // How far Draw reaches to the right.
    qreal Width(const QString& text, const QFont& font) {
        qreal width = 0;
        ForEachPiece(text, font, [&](const TPiece& piece) { width += piece.Advance; });
        return width;
    }

    // Pieces laid out so far (how much shaping the texts cost).
    int Pieces() const { return int(FPieces.size()); }

private:
    struct TPiece {
        QStaticText Text;
        qreal Advance = 0;
        qsizetype Length = 0;
    };

    static bool IsDigit(QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; }

    template <typename F>
    void ForEachPiece(const QString& text, const QFont& font, F&& each) {
        // Scripts whose letters join, or that run right to left, are shaped as whole lines.
        bool simple = true;
        for (QChar c : text) simple = simple && c.unicode() < 0x0590;
        if (!simple) {
            each(Piece(text, font));
            return;
        }
        for (qsizetype at = 0; at < text.size();) {
            qsizetype end = at + 1;
            if (!IsDigit(text[at]))
                while (end < text.size() && !IsDigit(text[end])) ++end;
            each(Piece(text.mid(at, end - at), font));
            at = end;
        }
    }

    const TPiece& Piece(const QString& text, const QFont& font) {
        if (font != FFont) {
            FPieces.clear();
            FFont = font;
        }
        auto it = FPieces.find(text);
        if (it != FPieces.end()) return *it;
        if (FPieces.size() >= Capacity) FPieces.clear();
        TPiece piece;
        piece.Text = QStaticText(text);
        piece.Text.setTextFormat(Qt::PlainText);
        piece.Text.setPerformanceHint(QStaticText::AggressiveCaching);
        piece.Text.prepare(QTransform(), font);
        piece.Advance = QFontMetricsF(font).horizontalAdvance(text);
        piece.Length = text.size();
        return *FPieces.insert(text, piece);
    }

    QFont FFont;
    QHash<QString, TPiece> FPieces;
};

} // namespace kestrum
