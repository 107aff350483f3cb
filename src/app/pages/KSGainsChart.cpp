#include "app/pages/KSGainsChart.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "i18n/OrvFormat.h"
#include "i18n/OrvMultiLangs.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {

const QColor Background(230, 240, 255);
const QColor GainColor(0, 0, 255);
const QColor BackColor(255, 128, 64);
const QColor AxisColor(128, 128, 128);
constexpr int MaxBarWidth = 14;

QString Size(int64_t bytes) {
    const QString text = FormatSize(uint64_t(bytes < 0 ? -bytes : bytes), 2).trimmed();
    return bytes < 0 ? u'-' + text : text;
}

} // namespace

TKSGainsChart::TKSGainsChart(QWidget* parent) : QWidget(parent) {
    setObjectName(u"chtLogsGains"_qs);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TKSGainsChart::ApplyLanguage(const TOrvMultiLangs& langs) {
    FTitle = langs.GetText(u"FormKSMain.chtLogsGains.Title"_qs);
    FGainLabel = langs.GetText(u"FormKSMain.chtLogsGains.Gain"_qs);
    FBackLabel = langs.GetText(u"FormKSMain.chtLogsGains.CameBack"_qs);
    FEmpty = langs.GetText(u"FormKSMain.chtLogsGains.Empty"_qs);
    FTipWithCost = langs.GetText(u"FormKSMain.chtLogsGains.Hint"_qs);
    FTipNoCost = langs.GetText(u"FormKSMain.chtLogsGains.HintNoCost"_qs);
    update();
}

void TKSGainsChart::Load(const QDate& begin, const QDate& end) {
    FRuns = FFolder.isEmpty() ? std::vector<TKSRunCostRecord>() : TKSRunCostLog(FFolder).Load(begin, end);
    FMax = 0;
    for (const auto& r : FRuns) FMax = std::max({FMax, r.Gain(), int64_t(r.CameBack)});
    update();
}

void TKSGainsChart::Clear() {
    FRuns.clear();
    FMax = 0;
    update();
}

QRect TKSGainsChart::PlotRect() const {
    const QFontMetrics fm(font());
    return QRect(8, fm.height() + 8, width() - 16, height() - fm.height() - 14);
}

double TKSGainsChart::Scale() const {
    return FMax > 0 ? double(PlotRect().height() - 1) / double(FMax) : 0.0;
}

QRect TKSGainsChart::GainBar(int i) const {
    if (i < 0 || i >= int(FRuns.size()) || FMax <= 0) return {};
    const QRect plot = PlotRect();
    const double slot = double(plot.width()) / double(FRuns.size());
    const int w = std::max(1, std::min(MaxBarWidth, int(slot / 2) - 1));
    const int x = plot.left() + int(slot * i + slot / 2) - w;
    const int h = std::max(0, int(std::max<int64_t>(FRuns[i].Gain(), 0) * Scale()));
    return QRect(x, plot.bottom() - h + 1, w, h);
}

QRect TKSGainsChart::BackBar(int i) const {
    const QRect gain = GainBar(i);
    if (gain.isNull() && gain.width() == 0) return {};
    const int h = int(double(FRuns[i].CameBack) * Scale());
    const QRect plot = PlotRect();
    return QRect(gain.right() + 1, plot.bottom() - h + 1, gain.width(), h);
}

int TKSGainsChart::RunAt(const QPoint& pos) const {
    const QRect plot = PlotRect();
    if (FRuns.empty() || !plot.contains(pos)) return -1;
    return std::clamp(int(double(pos.x() - plot.left()) * FRuns.size() / plot.width()), 0, int(FRuns.size()) - 1);
}

void TKSGainsChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Background);
    const QFontMetrics fm(font());
    p.setPen(Qt::black);
    p.drawText(QRect(8, 4, width() - 16, fm.height()), Qt::AlignLeft | Qt::AlignVCenter, FTitle);
    // Legend at the right of the title line.
    int x = width() - 8;
    for (const auto& [label, color] : {std::pair{FBackLabel, BackColor}, std::pair{FGainLabel, GainColor}}) {
        const int w = fm.horizontalAdvance(label);
        x -= w;
        p.setPen(Qt::black);
        p.drawText(QRect(x, 4, w, fm.height()), Qt::AlignVCenter, label);
        x -= 14;
        p.fillRect(QRect(x, 4 + fm.height() / 2 - 4, 10, 8), color);
        x -= 12;
    }
    const QRect plot = PlotRect();
    p.fillRect(plot, Qt::white);
    p.setPen(AxisColor);
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    if (FMax <= 0) {
        p.setPen(AxisColor);
        p.drawText(plot, Qt::AlignCenter, FEmpty);
        return;
    }
    for (int i = 0; i < int(FRuns.size()); ++i) {
        p.fillRect(GainBar(i), GainColor);
        p.fillRect(BackBar(i), BackColor);
    }
    p.setPen(AxisColor);
    p.drawText(plot.adjusted(4, 2, -4, 0), Qt::AlignLeft | Qt::AlignTop, Size(FMax));
}

QString TKSGainsChart::ToolTipOf(int i) const {
    if (i < 0 || i >= int(FRuns.size())) return {};
    const TKSRunCostRecord& r = FRuns[i];
    const QString when = QLocale().toString(r.Time, QLocale::ShortFormat);
    const QString pressure = r.Pressure ? QString::number(*r.Pressure, 'f', 2) + u" %"_qs : u"-"_qs;
    const QString tip =
        r.HasCost
            ? FormatTemplate(FTipWithCost, {when, Size(r.Gain()), Size(int64_t(r.CameBack)),
                                            Size(int64_t(r.RefaultBytes)), QString::number(r.MajorFaults), pressure})
            : FormatTemplate(FTipNoCost, {when, Size(r.Gain())});
    return QString(tip).replace(u"\n\r"_qs, u"\n"_qs);
}

bool TKSGainsChart::event(QEvent* e) {
    if (e->type() != QEvent::ToolTip) return QWidget::event(e);
    auto* help = static_cast<QHelpEvent*>(e);
    const int i = RunAt(help->pos());
    if (i < 0) {
        QToolTip::hideText();
        e->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), ToolTipOf(i), this);
    return true;
}

} // namespace kestrum
