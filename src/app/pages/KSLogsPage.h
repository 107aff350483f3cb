#pragma once
#include <QDateTime>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "store/IHistoryView.h"

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QTableView;

namespace kestrum {

class TOrvMultiLangs;
class TKSLogMgr;
class TKSGainsChart;
class TKSLogsModel;
class TKSHistoryIndex;

// The "Logs" page of the main window (object name tsLogs): a date range (five fixed ranges ending today
// and a custom one chosen with two pickers), the history records of that range newest first, and a link
// that deletes the whole history. The history fills the list through IHistoryView.
class TKSLogsPage : public QWidget, public IHistoryView {
    Q_OBJECT
public:
    using TNowFunc = std::function<QDateTime()>;

    // Index of the custom range in cbbLogsRange.
    static constexpr int CustomRange = 5;
    // Days back from today for range entries 0..4; -1 for the custom entry and out-of-range indexes.
    static int RangeDaysBack(int index);

    explicit TKSLogsPage(QWidget* parent = nullptr);
    ~TKSLogsPage() override;

    // Every catalogue text of the page. Refills the range box and selects entry 0 without touching the
    // pickers or reloading the list.
    void ApplyLanguage(TOrvMultiLangs& langs);

    // The history this page shows and deletes (the page becomes its view); null detaches.
    void SetHistory(TKSLogMgr* history);
    // The language of the delete question's buttons.
    void SetLanguageId(uint16_t id) { FLanguageId = id; }
    // The clock "today" comes from (tests give a fixed one).
    void SetNow(TNowFunc now);

    // Start-up: the "last 3 days" entry, begin = now - 3 days, end = now, pickers disabled, first fill.
    void InitLogsRange();
    // The list refilled from the history for the pickers' range: the day files are indexed off the
    // interface thread and each row is read only when it is shown; Loaded follows.
    void LoadHistoryView();
    bool Loading() const { return FLoading; }
    Q_SIGNAL void Loaded();

    // What the user does, as the page handles it (also what tests drive).
    void cbbLogsRangeChange(int index);
    void dtpLogsBeginDateCloseUp();
    void dtpLogsEndDateCloseUp();
    // A key pressed in a picker; true when it is swallowed (Enter).
    bool dtpLogsBeginDateKeyPress(int key);
    bool dtpLogsEndDateKeyPress(int key);
    void lblLogsDeleteClick();

    QComboBox* RangeBox() const { return cbbLogsRange; }
    QDateTimeEdit* BeginPicker() const { return dtpLogsBeginDate; }
    QDateTimeEdit* EndPicker() const { return dtpLogsEndDate; }
    QTableView* List() const { return lvLogsItems; }
    TKSLogsModel* Model() const { return FModel; }
    QLabel* DeleteLink() const { return lblLogsDelete; }
    TKSGainsChart* GainsChart() const { return chtLogsGains; }

    // IHistoryView
    QDate BeginDate() const override;
    QDate EndDate() const override;
    void ClearRows() override;
    void InsertRowAtTop(const THistoryRow& row) override;
    void BeginUpdate() override;
    void EndUpdate() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetPickers(const QDateTime& begin, const QDateTime& end);
    void SetPickersEnabled(bool on);
    void PlaceDeleteLink();
    void PickerChanged();
    void IndexReady(uint64_t generation, std::shared_ptr<const TKSHistoryIndex> index);
    void CancelLoad();

    TKSLogMgr* FHistory = nullptr;
    TOrvMultiLangs* FLangs = nullptr;
    uint16_t FLanguageId = 0;
    TNowFunc FNow;
    bool FSettingPickers = false;
    int FUpdateDepth = 0;
    TKSLogsModel* FModel = nullptr;
    std::shared_ptr<std::atomic<bool>> FCancel; // of the load in progress
    uint64_t FGeneration = 0;
    bool FLoading = false;
    bool FAddedWhileLoading = false;

    QLabel* lblLogsRange = nullptr;
    QComboBox* cbbLogsRange = nullptr;
    QLabel* lblLogsBeginDate = nullptr;
    QDateTimeEdit* dtpLogsBeginDate = nullptr;
    QLabel* lblLogsEndDate = nullptr;
    QDateTimeEdit* dtpLogsEndDate = nullptr;
    QLabel* lblLogsDelete = nullptr;
    QTableView* lvLogsItems = nullptr;
    TKSGainsChart* chtLogsGains = nullptr;
};

} // namespace kestrum
