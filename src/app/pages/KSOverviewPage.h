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
    // One refresh: series titles and points, the three panel captions and the three gauges.
    void Refresh(const TOrvMultiLangs& langs, const TSystemStatus& status, const TKSUsagePercents& usage);

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

private:
    TKSUsageChart* chtOverview = nullptr;
    std::array<TOrvImagePanel*, 3> FPanels{};
    std::array<TKSGauge*, 3> FGauges{};
    TOrvImageButton* btnOverviewOptimize = nullptr;
};

} // namespace kestrum
