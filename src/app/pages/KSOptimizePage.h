#pragma once
#include <QWidget>

namespace kestrum {

class TOrvMultiLangs;

// The "Optimize" page of the main window (object name tsOptimize). The main window creates it, registers it with
// the tab switcher and re-applies its texts on every language change.
class TKSOptimizePage : public QWidget {
    Q_OBJECT
public:
    explicit TKSOptimizePage(QWidget* parent = nullptr);
    ~TKSOptimizePage() override;

    // Every catalogue text and font of the page.
    void ApplyLanguage(TOrvMultiLangs& langs);
};

} // namespace kestrum
