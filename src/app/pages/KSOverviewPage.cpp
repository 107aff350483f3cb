#include "app/pages/KSOverviewPage.h"

#include "app/KSCaptionFit.h"

#include <QEvent>
#include <QHash>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "app/KSArt.h"
#include "app/pages/KSGauge.h"
#include "app/pages/KSOverviewTexts.h"
#include "app/pages/KSTextCache.h"
#include "app/pages/KSUsageChart.h"
#include "engine/SystemStatus.h"
#include "i18n/OrvMultiLangs.h"
#include "skin/OrvColor.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvImagePanel.h"

namespace kestrum {

namespace {

constexpr TColor White = 0xFFFFFF;
const QColor SeriesColors[3] = {QColor(0, 255, 0), QColor(0, 0, 255), QColor(255, 128, 64)};

// An information panel whose caption fills the part above its gauge, so the lines never run under it.
class TKSInfoPanel : public TOrvImagePanel {
public:
    using TOrvImagePanel::TOrvImagePanel;
    static constexpr int TextBottom = 80;
    static constexpr int TextLeft = 4;

    // A new caption repaints only the lines that read differently: most ticks change one or two of them.
    void SetInfo(const QString& text) {
        if (text == Caption()) return;
        const QStringList before = PaintedLines(Caption()), after = PaintedLines(text);
        // The caption's own repaint of the whole panel is held back while it is set.
        const bool held = testAttribute(Qt::WA_UpdatesDisabled);
        setAttribute(Qt::WA_UpdatesDisabled, true);
        SetCaption(text);
        setAttribute(Qt::WA_UpdatesDisabled, held);
        if (before.size() != after.size()) {
            update();
            return;
        }
        // Within a line, from the piece where it starts to read differently: mostly a figure's last digits.
        QRegion changed;
        for (int i = 0; i < after.size(); ++i) {
            if (after[i] == before[i]) continue;
            qsizetype same = 0;
            while (same < after[i].size() && same < before[i].size() && after[i][same] == before[i][same]) ++same;
            QRect line = LineRect(i);
            const qreal from = TextLeft + FTexts.PieceStart(after[i], same, font()) - TKSTextCache::Overhang;
            line.setLeft(std::max(line.left(), contentsRect().left() + int(std::floor(from))));
            // ...to the end of the longer of the two texts, not of the panel.
            const qreal to = TextLeft + std::max(FTexts.Width(after[i], font()), FTexts.Width(before[i], font())) +
                             TKSTextCache::Overhang;
            line.setRight(std::min(line.right(), contentsRect().left() + int(std::ceil(to))));
            changed += line;
        }
        update(changed);
    }

protected:
    // The lines as painted. The captions are short lines with their own breaks: drawn as they are unless one
    // is too wide, which the word-wrapping layout then handles.
    QStringList PaintedLines(const QString& text) const {
        if (text == FLinesOf && font() == FLinesFont && width() == FLinesWidth) return FLines;
        const QFontMetrics fm(font());
        const int box = width() - 8;
        QStringList lines = text.split(u'\n');
        for (QString& line : lines) line = line.trimmed();
        bool fits = lines.size() * fm.height() <= TextBottom - 4;
        // Measured from the laid-out pieces that paint the line: a new line is not shaped again to measure it.
        for (const QString& line : lines) {
            if (!fits) break;
            fits = FTexts.Width(line, font()) <= box;
        }
        FLinesOf = text;
        FLinesFont = font();
        FLinesWidth = width();
        FLines = fits ? lines : LayoutCaption(text, font(), QSize(box, TextBottom - 4));
        return FLines;
    }
    // Where line i lies, in widget coordinates.
    QRect LineRect(int i) const {
        const int h = QFontMetrics(font()).height();
        const QRect client = contentsRect();
        return QRect(client.left(), client.top() + 4 + i * h, client.width(), h);
    }

    void PaintCaption(QPainter& g, const QString& text) override {
        const QStringList lines = PaintedLines(text);
        const int h = QFontMetrics(font()).height();
        g.save();
        g.setFont(font());
        g.setPen(Qt::black);
        for (int i = 0; i < lines.size(); ++i) {
            const QRect dirty = (FDirty & LineRect(i)).boundingRect();
            if (!dirty.isEmpty())
                FTexts.Draw(g, QPointF(TextLeft, 4 + i * h), lines[i], font(), dirty.left() - contentsRect().left());
        }
        g.restore();
    }

    // Painted straight onto the widget: composing an image first and copying it costs more than the
    // text itself, and the copy wakes the painter's worker threads once a second for nothing.
    void paintEvent(QPaintEvent* event) override {
        FDirty = event->region();
        QPainter p(this);
        p.fillRect(rect(), ToQColor(Color()));
        if (BorderSingle()) {
            p.setPen(ToQColor(clGray));
            p.drawRect(rect().adjusted(0, 0, -1, -1));
        }
        const QRect client = contentsRect();
        p.setClipRect(client);
        p.translate(client.topLeft());
        if (!Caption().trimmed().isEmpty()) PaintCaption(p, Caption());
    }

private:
    mutable TKSTextCache FTexts;
    QRegion FDirty; // what the paint under way covers
    // The lines of the latest caption laid out.
    mutable QString FLinesOf;
    mutable QFont FLinesFont;
    mutable int FLinesWidth = -1;
    mutable QStringList FLines;
};

} // namespace

TKSOverviewPage::TKSOverviewPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsOverview"));
    chtOverview = new TKSUsageChart(this);
    chtOverview->setGeometry(4, 0, 762, 302);

    const char* panels[3] = {"pnlOverviewCPU", "pnlOverviewMEM", "pnlOverviewPF"};
    const char* gauges[3] = {"pbOverviewCPU", "pbOverviewMEM", "pbOverviewPF"};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new TKSInfoPanel(this);
        panel->setObjectName(QLatin1String(panels[i]));
        panel->SetTransparent(false); // a plain white panel: no need to compose what lies behind it
        panel->SetColor(White);
        panel->SetBorderSingle(true);
        panel->setGeometry(32 + 200 * i, 311, 194, 105);
        panel->SetCaption(QStringLiteral("..."));
        auto* gauge = new TKSGauge(panel);
        gauge->setObjectName(QLatin1String(gauges[i]));
        gauge->setGeometry(29, 82, 135, 12);
        gauge->SetColor(SeriesColors[i]);
        FPanels[i] = panel;
        FGauges[i] = gauge;
    }

    btnOverviewOptimize = new TOrvImageButton(this);
    btnOverviewOptimize->setObjectName(QStringLiteral("btnOverviewOptimize"));
    btnOverviewOptimize->setGeometry(643, 311, 105, 105);
    btnOverviewOptimize->setCursor(Qt::PointingHandCursor);
    btnOverviewOptimize->SetTransparent(true);
    btnOverviewOptimize->SetPicNormal(Art(QStringLiteral("optimize/freenow_normal.png")));
    btnOverviewOptimize->SetPicMouseHover(Art(QStringLiteral("optimize/freenow_hover.png")));
    btnOverviewOptimize->SetPicMouseDown(Art(QStringLiteral("optimize/freenow_pressed.png")));
    btnOverviewOptimize->SetPicDisabled(Art(QStringLiteral("optimize/freenow_disabled.png")));
    btnOverviewOptimize->SetFontColor(Qt::white);
    btnOverviewOptimize->SetTextAlign(OrvAlign_MiddleCenter);
    btnOverviewOptimize->SetCaption(QStringLiteral("Free Now"));
    connect(btnOverviewOptimize, &TOrvImageButton::OnClick, this, &TKSOverviewPage::OptimizeClicked);
}

TKSOverviewPage::~TKSOverviewPage() = default;

void TKSOverviewPage::ApplyLanguage(TOrvMultiLangs& langs) {
    chtOverview->SetTitle(langs.GetText(QStringLiteral("FormKSMain.chtOverview.Title.Text.Text")));
    btnOverviewOptimize->setToolTip(langs.GetText(QStringLiteral("FormKSMain.btnOverviewOptimize.Hint")));
    QFont bold(QStringLiteral("Tahoma"), 10, QFont::Bold);
    TKSCaptionFit::FitRoundButton(
        *btnOverviewOptimize, langs.GetText(QStringLiteral("FormKSMain.btnOverviewOptimize.Caption")),
        FontFromDesc(langs.GetFontSet(QStringLiteral("FormKSMain.btnOverviewOptimize.Font")), bold));
}

void TKSOverviewPage::Refresh(const TOrvMultiLangs& langs, const TSystemStatus& status, const TKSUsagePercents& usage) {
    FLangs = &langs;
    FStatus = &status;
    FUsage = &usage;
    // Memory pressure (share of time tasks waited for memory) where the system measures it.
    int pressure = -1;
    if (const auto& psi = status.Pressure()) pressure = int(std::lround(psi->Some.Avg10));
    // The chart must hold the whole span whenever it is looked at, so its points are added at every tick.
    chtOverview->AddPoints(int(status.GetCPUUsage(0)), usage.MemUsagePercent, usage.PageFileUsagePercent, pressure);
    // A window in the tray, minimized or on another page shows none of the texts: formatting them once a
    // second would be work for nobody.
    FStale = true;
    if (Seen()) ShowFigures();
}

bool TKSOverviewPage::Seen() const {
    return isVisible() && !window()->isMinimized();
}

void TKSOverviewPage::ShowFigures() {
    if (!FStale || !FLangs) return;
    FStale = false;
    const int values[3] = {int(FStatus->GetCPUUsage(0)), FUsage->MemUsagePercent, FUsage->PageFileUsagePercent};
    const char* titles[3] = {"FormKSMain.slineCPU.Title", "FormKSMain.slineMEM.Title", "FormKSMain.slinePF.Title"};
    for (int i = 0; i < 3; ++i)
        chtOverview->SetSeriesTitle(i, FLangs->FormatText(QLatin1String(titles[i]), {values[i]}));
    if (const auto& psi = FStatus->Pressure())
        chtOverview->SetSeriesTitle(
            TKSUsageChart::SeriesPressure,
            FLangs->FormatText(u"FormKSMain.slinePSI.Title"_qs, {int(std::lround(psi->Some.Avg10))}));
    const QString captions[3] = {CpuPanelCaption(*FLangs, *FStatus),
                                 MemPanelCaption(*FLangs, *FStatus, FUsage->MemUsagePercent),
                                 PfPanelCaption(*FLangs, *FStatus, FUsage->PageFileUsagePercent)};
    for (int i = 0; i < 3; ++i) static_cast<TKSInfoPanel*>(FPanels[i])->SetInfo(captions[i]);
    for (int i = 0; i < 3; ++i) FGauges[i]->SetPosition(values[i]);
}

void TKSOverviewPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A restored window sends its page no show event: its state change is watched instead.
    if (window() != FWatchedWindow) {
        if (FWatchedWindow) FWatchedWindow->removeEventFilter(this);
        FWatchedWindow = window();
        FWatchedWindow->installEventFilter(this);
    }
    ShowFigures();
}

bool TKSOverviewPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FWatchedWindow && event->type() == QEvent::WindowStateChange && Seen()) ShowFigures();
    return QWidget::eventFilter(watched, event);
}

void TKSOverviewPage::SetOptimizeButtonEnabled(bool on) {
    btnOverviewOptimize->setEnabled(on);
}

bool TKSOverviewPage::OptimizeButtonEnabled() const {
    return btnOverviewOptimize->isEnabled();
}

} // namespace kestrum
