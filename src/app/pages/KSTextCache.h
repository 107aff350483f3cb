#pragma once
#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QString>

namespace kestrum {

// Laid-out texts for painting the same lines again and again (panel lines, legend titles): shaping a line
// costs far more than drawing it. Bounded: past Capacity lines it starts over.
class TKSTextCache {
public:
    static constexpr int Capacity = 256;

    const QStaticText& Get(const QString& text, const QFont& font) {
        if (font != FFont) {
            FTexts.clear();
            FFont = font;
        }
        auto it = FTexts.find(text);
        if (it != FTexts.end()) return *it;
        if (FTexts.size() >= Capacity) FTexts.clear();
        QStaticText st(text);
        st.setTextFormat(Qt::PlainText);
        st.setPerformanceHint(QStaticText::AggressiveCaching);
        st.prepare(QTransform(), font);
        return *FTexts.insert(text, st);
    }

private:
    QFont FFont;
    QHash<QString, QStaticText> FTexts;
};

} // namespace kestrum
