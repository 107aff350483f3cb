#pragma once
#include <QDate>
#include <QString>
#include <QWidget>
#include <vector>

#include "store/KSRunCostLog.h"

namespace kestrum {

class TOrvMultiLangs;

// A small chart above the logs list: the gain of every run in the selected range, oldest on the left, and
// beside it how much of what the run took came back within the minute after it. Drawn only when the range
// or the records change.
class TKSGainsChart : public QWidget {
    Q_OBJECT
public:
    explicit TKSGainsChart(QWidget* parent = nullptr);

    // The folder of the run log (the history folder); empty shows nothing.
    void SetFolder(const QString& folder) { FFolder = folder; }
    void ApplyLanguage(const TOrvMultiLangs& langs);
    // Reads the runs of the range again.
    void Load(const QDate& begin, const QDate& end);
    void Clear();

    const std::vector<TKSRunCostRecord>& Runs() const { return FRuns; }
    // Where the bars of run i are drawn (empty when not shown), for tests and tooltips.
    QRect GainBar(int i) const;
    QRect BackBar(int i) const;
    // What the tooltip over run i says (its date, gain and, once measured, its cost).
    QString ToolTipOf(int i) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect PlotRect() const;
    double Scale() const;
    int RunAt(const QPoint& pos) const;

    QString FFolder;
    QString FTitle, FGainLabel, FBackLabel, FEmpty, FTipWithCost, FTipNoCost;
    std::vector<TKSRunCostRecord> FRuns;
    int64_t FMax = 0;
};

} // namespace kestrum
