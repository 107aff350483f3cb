#pragma once
#include <QObject>
#include <Qt>

class QLabel;
class QModelIndex;

namespace kestrum {

class TKSLogsPage;
class TOrvMultiLangs;

// Under the history list of the Logs page: what the selected run took from the programs that gave the
// most ("firefox-esr 512.0 MB, python3.11 100.0 MB"), from the record's third field; runs recorded before
// the field existed say that nothing is known.
class TKSRunProgramsView : public QObject {
    Q_OBJECT
public:
    explicit TKSRunProgramsView(TKSLogsPage& page);

    void ApplyLanguage(TOrvMultiLangs& langs);
    // The text shown for a record's third field.
    QString TextFor(const QString& programs) const;
    QLabel* Label() const { return lblLogsPrograms; }

private:
    void Show(const QModelIndex& index);
    bool eventFilter(QObject* watched, QEvent* event) override;
    void Place();

    TKSLogsPage& FPage;
    QLabel* lblLogsPrograms = nullptr;
    TOrvMultiLangs* FLangs = nullptr;
    QString FTitle, FNone;
};

} // namespace kestrum
