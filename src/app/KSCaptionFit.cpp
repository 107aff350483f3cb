#include "app/KSCaptionFit.h"

#include <QFontMetrics>
#include <algorithm>

#include "skin/OrvImageButton.h"

namespace kestrum {

void TKSCaptionFit::FitRoundButton(TOrvImageButton& button, const QString& caption, const QFont& font) {
    const int room = button.width() - 2 * RoundMargin;
    QFont f = font;
    QFontMetrics fm(f);
    button.setFont(f);
    if (fm.horizontalAdvance(caption) <= room || !caption.contains(u' ')) {
        // One line; a single word that is too long gets a smaller font instead.
        while (fm.horizontalAdvance(caption) > room && f.pointSizeF() > 7) {
            f.setPointSizeF(f.pointSizeF() - 0.5);
            fm = QFontMetrics(f);
        }
        button.setFont(f);
        button.SetMultiLines(false);
        button.SetTextAlign(OrvAlign_MiddleCenter);
        button.SetCaption(caption);
        return;
    }
    // Two lines, broken where the longer line is shortest.
    qsizetype best = -1;
    int bestWidth = 0;
    for (qsizetype i = caption.indexOf(u' '); i >= 0; i = caption.indexOf(u' ', i + 1)) {
        const int w = std::max(fm.horizontalAdvance(caption.left(i)), fm.horizontalAdvance(caption.mid(i + 1)));
        if (best < 0 || w < bestWidth) best = i, bestWidth = w;
    }
    while (bestWidth > room && f.pointSizeF() > 7) {
        f.setPointSizeF(f.pointSizeF() - 0.5);
        fm = QFontMetrics(f);
        bestWidth = std::max(fm.horizontalAdvance(caption.left(best)), fm.horizontalAdvance(caption.mid(best + 1)));
    }
    button.setFont(f);
    button.SetMultiLines(true);
    button.SetTextAlign(OrvAlign_CustomCenter);
    button.SetTextY(std::max(0, (button.height() - fm.height() - fm.lineSpacing()) / 2));
    button.SetCaption(caption.left(best) + u'\n' + caption.mid(best + 1));
}

int TKSCaptionFit::TabCaptionY(const TOrvImageButton& button, const QString& caption) {
    return QFontMetrics(button.font()).horizontalAdvance(caption) > button.width() ? TabTextYTwoLines : TabTextY;
}

} // namespace kestrum
