// Every caption of every page and dialog fits its control in every shipped language, measured with the
// font metrics of the fonts the program uses: no text wider or taller than its control, no title cut short.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDebug>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>

#include "app/KSCaptionFit.h"
#include "app/frmKSAbout.h"
#include "app/frmKSSettings.h"
#include "app/pages/KSOptimizePage.h"
#include "common/DialogFixture.h"
#include "i18n/OrvMultiLangs.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvImagePanel.h"

using namespace kestrum;

namespace {

// The languages that ship: the built-in English (0) and every pack beside the sources.
QList<int> ShippedLanguages() {
    QList<int> languages{0};
    const QDir langs(QStringLiteral(KESTRUM_SOURCE_DIR "/Langs"));
    for (const QString& d : langs.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (QFileInfo::exists(langs.filePath(d + u"/Kestrum.ini"_qs))) languages << d.toInt();
    return languages;
}

// Where a widget's text runs past its control; empty when everything fits.
struct TFitChecker {
    QStringList Faults;
    int Language = 0;

    void Fault(const QWidget* w, const QString& text, const QString& what) {
        Faults << u"%1 %2 \"%3\": %4"_qs.arg(Language).arg(w->objectName(), text.left(60), what);
    }
    // The ink of one line (accents on capitals included) lies inside a control of height `h`, the line
    // centred as a label centres it.
    void CheckInkHeight(const QWidget* w, const QString& line, const QFont& f, int h) {
        const QFontMetrics fm(f);
        const int baseline = (h - fm.height()) / 2 + fm.ascent();
        const QRect ink = fm.tightBoundingRect(line);
        if (baseline + ink.top() < 0 || baseline + ink.bottom() > h)
            Fault(w, line,
                  u"ink %1..%2 outside 0..%3"_qs.arg(baseline + ink.top()).arg(baseline + ink.bottom()).arg(h));
    }
    void CheckInParent(const QWidget* w, const QString& text) {
        const QWidget* p = w->parentWidget();
        if (p && (w->geometry().right() >= p->width() || w->geometry().bottom() >= p->height()))
            Fault(w, text,
                  u"runs out of its parent (%1 in %2x%3)"_qs.arg(QDebug::toString(w->geometry()))
                      .arg(p->width())
                      .arg(p->height()));
    }
    void CheckLabel(const QLabel* l) {
        const QString text = l->text();
        if (text.isEmpty()) return;
        if (text.contains(QChar(0x2026))) Fault(l, text, u"cut with an ellipsis"_qs);
        const QFontMetrics fm(l->font());
        if (l->wordWrap()) {
            const int need = l->heightForWidth(l->width());
            if (need > l->height()) Fault(l, text, u"needs %1 px of height, has %2"_qs.arg(need).arg(l->height()));
        } else {
            for (const QString& line : text.split(u'\n')) {
                if (fm.horizontalAdvance(line) > l->width())
                    Fault(l, line, u"%1 px wide in %2"_qs.arg(fm.horizontalAdvance(line)).arg(l->width()));
                if (!text.contains(u'\n')) CheckInkHeight(l, line, l->font(), l->height());
            }
        }
        if (l->isVisibleTo(l->window()) || l->objectName() == u"lblHotKey") CheckInParent(l, text);
    }
    void CheckButton(const QAbstractButton* b) {
        // The about box's Cancel only takes Escape; the description lies over it and it is never seen.
        if (b->text().isEmpty() || (b->objectName() == u"btnCancel" && b->window()->objectName() == u"FormKSAbout"))
            return;
        if (b->sizeHint().width() > b->width())
            Fault(b, b->text(), u"needs %1 px, has %2"_qs.arg(b->sizeHint().width()).arg(b->width()));
        CheckInParent(b, b->text());
    }
    void CheckImageButton(const TOrvImageButton* b) {
        const QString caption = b->Caption();
        if (caption.isEmpty()) return;
        const QFontMetrics fm(b->font());
        const bool round = b->objectName() == u"btnOptimize" || b->objectName() == u"btnOverviewOptimize";
        const int room = b->width() - (round ? 2 * TKSCaptionFit::RoundMargin : 0);
        const int top = b->TextAlign() > OrvAlign_BottomRight ? b->TextY() : 0;
        const QRect need =
            fm.boundingRect(QRect(0, 0, b->width(), 1000),
                            (b->MultiLines() ? Qt::TextWordWrap : Qt::TextSingleLine) | Qt::AlignHCenter, caption);
        int widest = 0;
        for (const QString& line : caption.split(u'\n')) widest = std::max(widest, fm.horizontalAdvance(line));
        if (widest > room) Fault(b, caption, u"%1 px wide in %2"_qs.arg(widest).arg(room));
        if (top + need.height() > b->height())
            Fault(b, caption, u"%1 px tall from %2 in %3"_qs.arg(need.height()).arg(top).arg(b->height()));
    }
    void CheckPanel(const TOrvImagePanel* p) {
        const QStringList lines = p->Caption().split(u'\n');
        if (p->Caption().trimmed().isEmpty()) return;
        const QFontMetrics fm(p->font());
        for (const QString& line : lines)
            if (fm.horizontalAdvance(line.trimmed()) > p->width()) Fault(p, line, u"wider than the panel"_qs);
        if (int(lines.size()) * fm.height() > p->height()) Fault(p, p->Caption(), u"taller than the panel"_qs);
    }
    void CheckCombo(const QComboBox* c) {
        const QFontMetrics fm(c->font());
        const int arrow = 24; // the drop-down button and the frame
        for (int i = 0; i < c->count(); ++i)
            if (fm.horizontalAdvance(c->itemText(i)) + arrow > c->width())
                Fault(c, c->itemText(i),
                      u"%1 px + arrow in %2"_qs.arg(fm.horizontalAdvance(c->itemText(i))).arg(c->width()));
    }
    void CheckWindow(QWidget* window) {
        for (const QLabel* l : window->findChildren<QLabel*>()) CheckLabel(l);
        for (const QAbstractButton* b : window->findChildren<QAbstractButton*>()) CheckButton(b);
        for (const TOrvImageButton* b : window->findChildren<TOrvImageButton*>()) CheckImageButton(b);
        for (const TOrvImagePanel* p : window->findChildren<TOrvImagePanel*>()) CheckPanel(p);
        for (const QComboBox* c : window->findChildren<QComboBox*>()) CheckCombo(c);
    }
};

struct CaptionFit : test::TDialogFixture {
    void SetUp() override {
        test::TDialogFixture::SetUp();
        // The fonts the program loads at start; without them the check would measure another face.
        for (const char* f : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
            QFontDatabase::addApplicationFont(QString::fromLatin1(f));
        if (!QFontDatabase::families().contains(u"Tahoma"_qs)) GTEST_SKIP() << "Tahoma (fonts-wine) is not installed";
    }
};

} // namespace

TEST_F(CaptionFit, EveryCaptionFitsItsControlInEveryLanguage) {
    const QList<int> languages = ShippedLanguages();
    ASSERT_GE(languages.size(), 3);
    TFitChecker check;
    for (int language : languages) {
        check.Language = language;
        WriteConfig(QStringLiteral("[KESTRUM]\nUseHotKey=1\nHotKeyValue=49227\n[LANGUAGE]\nLanguage=%1\n")
                        .arg(language)
                        .toLatin1());
        if (language) {
            const QString to = Home.File(QStringLiteral("Langs/%1/Kestrum.ini").arg(language));
            QDir().mkpath(QFileInfo(to).absolutePath());
            QFile::remove(to);
            ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRUM_SOURCE_DIR "/Langs/%1/Kestrum.ini").arg(language), to));
        }
        TFormKSMain main(Plat, Settings, {"Kestrum"});
        main.FormCreate();
        ASSERT_EQ(main.LanguageId(), language);
        main.tmrRefreshOverviewTimer(); // the panels' and gauges' captions
        check.CheckWindow(&main);

        // Every text the Optimize page's status line shows during and after a run.
        TOrvMultiLangs& langs = *main.MultiLangs();
        TKSOptimizePage* page = main.OptimizePage();
        QStringList status;
        for (int k = 0; k < TKSOptimizePage::ChecklistRows; ++k) status << page->ChecklistText(k);
        const QString notTuned = langs.GetText(u"String.OptimizeProcess.NotTuned"_qs);
        status << page->ChecklistText(3) + u' ' + notTuned << page->ChecklistText(4) + u' ' + notTuned;
        const QString big = u"16,384.00 MB"_qs;
        status << langs.FormatText(u"String.OptimizeProcess.Result"_qs, {big, big, big})
               << langs.FormatText(u"String.OptimizeProcess.Nothing"_qs, {big, big})
               << langs.GetText(u"String.OptimizeProcess.NoRight"_qs);
        for (const QString& text : status) {
            page->SetStatusText(text);
            check.CheckLabel(page->lblOptimizeProc());
        }

        TFormKSSettings settings(&main, Settings, main.MultiLangs(), main.ConfigPath());
        check.CheckWindow(&settings);
        TFormKSAbout about(&main, main.MultiLangs(), *Plat.FileVersion, *Plat.Shell);
        check.CheckWindow(&about);
    }
    EXPECT_TRUE(check.Faults.isEmpty()) << check.Faults.join(u'\n').toStdString();
}

// The round buttons break a caption that is too long for one line into two centred lines (a single long
// word gets a smaller font), and a tab caption that wraps starts higher.
TEST_F(CaptionFit, LongCaptionsBreakOrShrinkAndTabCaptionsMoveUpOnlyWhenTheyWrap) {
    TOrvImageButton round;
    round.resize(105, 105);
    const QFont bold(u"Tahoma"_qs, 10, QFont::Bold);
    TKSCaptionFit::FitRoundButton(round, u"Free Now"_qs, bold);
    EXPECT_FALSE(round.MultiLines());
    EXPECT_EQ(round.Caption(), "Free Now");
    TKSCaptionFit::FitRoundButton(round, u"Jetzt freigeben"_qs, bold);
    EXPECT_TRUE(round.MultiLines());
    EXPECT_EQ(round.Caption(), "Jetzt\nfreigeben");
    EXPECT_EQ(round.font().pointSizeF(), 10);
    TKSCaptionFit::FitRoundButton(round, u"Freigabeknopf"_qs, bold);
    EXPECT_FALSE(round.MultiLines());
    EXPECT_LT(round.font().pointSizeF(), 10);
    EXPECT_LE(QFontMetrics(round.font()).horizontalAdvance(round.Caption()), 105 - 2 * TKSCaptionFit::RoundMargin);

    TOrvImageButton tab;
    tab.resize(77, 80);
    tab.setFont(bold);
    EXPECT_EQ(TKSCaptionFit::TabCaptionY(tab, u"Upgrade"_qs), TKSCaptionFit::TabTextY);
    EXPECT_EQ(TKSCaptionFit::TabCaptionY(tab, u"Mise à jour du programme"_qs), TKSCaptionFit::TabTextYTwoLines);
}
