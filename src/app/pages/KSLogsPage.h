#pragma once
#include <QWidget>

namespace kestrum {

class TOrvMultiLangs;

// The "Logs" page of the main window (object name tsLogs). The main window creates it, registers it with
// the tab switcher and re-applies its texts on every language change.
class TKSLogsPage : public QWidget {
    Q_OBJECT
public:
    explicit TKSLogsPage(QWidget* parent = nullptr);
    ~TKSLogsPage() override;

    // Every catalogue text and font of the page.
    void ApplyLanguage(TOrvMultiLangs& langs);
};

} // namespace kestrum
