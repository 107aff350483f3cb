#pragma once
#include <QWidget>
#include <array>

namespace kestrum {

class TOrvMultiLangs;
class TOrvImagePanel;
class TOrvImageButton;
class TSystemStatus;
class TKSUsageChart;
class TKSGauge;
struct TKSUsagePercents;

// The "Usage" page of the main window (object name tsOverview): the usage chart, the processor, memory and
// page-file panels with their gauges, and the page's "Free Now" button. The main window's refresh tick
// hands it each second's figures.
class TKSOverviewPage : public QWidget {
    Q_OBJECT
public:
    enum TPanel { PanelCPU = 0, PanelMEM = 1, PanelPF = 2 };

    explicit TKSOverviewPage(QWidget* parent = nullptr);
    ~TKSOverviewPage() override;

    // Every catalogue text and font of the page.
    void ApplyLanguage(TOrvMultiLangs& langs);
    // One refresh: series titles and points, the three panel captions and the three gauges. While the page
    // cannot be seen only the chart's points are kept; the rest follows when it shows again. The three
    // objects must outlive the page (the main window's own).
    void Refresh(const TOrvMultiLangs& langs, const TSystemStatus& status, const TKSUsagePercents& usage);
    // Whether texts and gauges wait for the page to be seen.
    bool Stale() const { return FStale; }

    // The page's "Free Now" button (btnOverviewOptimize).
    void SetOptimizeButtonEnabled(bool on);
    bool OptimizeButtonEnabled() const;

    TKSUsageChart* Chart() const { return chtOverview; }
    TOrvImagePanel* Panel(TPanel panel) const { return FPanels[panel]; }
    TKSGauge* Gauge(TPanel panel) const { return FGauges[panel]; }
    TOrvImageButton* OptimizeButton() const { return btnOverviewOptimize; }

signals:
    // A click on the page's "Free Now".
    void OptimizeClicked();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Seen() const;
    void ShowFigures();

    TKSUsageChart* chtOverview = nullptr;
    std::array<TOrvImagePanel*, 3> FPanels{};
    std::array<TKSGauge*, 3> FGauges{};
    TOrvImageButton* btnOverviewOptimize = nullptr;
    // The latest figures, shown when the page comes into sight.
    const TOrvMultiLangs* FLangs = nullptr;
    const TSystemStatus* FStatus = nullptr;
    const TKSUsagePercents* FUsage = nullptr;
    bool FStale = false;
    QObject* FWatchedWindow = nullptr;
};

} // namespace kestrum
