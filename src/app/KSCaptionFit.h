#pragma once
#include <QFont>
#include <QString>

namespace kestrum {

class TOrvImageButton;

// Captions of the picture buttons that must fit whatever the language: the round "Free Now" buttons and
// the tab buttons' text line.
class TKSCaptionFit {
public:
    // Room for a caption on a round button: the inner part of the circle, not its rim.
    static constexpr int RoundMargin = 10;
    // Tab buttons: the caption's top on one line, and where two lines start so both stay on the button.
    static constexpr int TabTextY = 57, TabTextYTwoLines = 48;

    // Sets `caption` in `font` on a round button: one centred line when it fits, else two centred lines
    // broken at the best space, else one line in a smaller font (down to 7 pt).
    static void FitRoundButton(TOrvImageButton& button, const QString& caption, const QFont& font);
    // The vertical text position for a tab button's caption: higher when the caption takes two lines.
    static int TabCaptionY(const TOrvImageButton& button, const QString& caption);
};

} // namespace kestrum
