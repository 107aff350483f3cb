#pragma once
#include <QWidget>

namespace kestrum {

class TOrvMultiLangs;

// The "Usage" page of the main window (object name tsOverview). The main window creates it, registers it with
// the tab switcher and re-applies its texts on every language change.
class TKSOverviewPage : public QWidget {
    Q_OBJECT
public:
    explicit TKSOverviewPage(QWidget* parent = nullptr);
    ~TKSOverviewPage() override;

    // Every catalogue text and font of the page.
    void ApplyLanguage(TOrvMultiLangs& langs);

    // The page's "Free Now" button (btnOverviewOptimize).
    void SetOptimizeButtonEnabled(bool on);
    bool OptimizeButtonEnabled() const;

signals:
    // A click on the page's "Free Now".
    void OptimizeClicked();

private:
    bool FOptimizeEnabled = true;
};

} // namespace kestrum
