#pragma once
#include <QAbstractTableModel>
#include <QCache>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>

#include "store/IHistoryView.h"
#include "store/KSHistoryIndex.h"

namespace kestrum {

// The rows of the logs list: the records of an index over the day files (read only when a row is shown)
// with the records added since on top, newest first. Three columns: time, operation, result.
class TKSLogsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Every field of a row's record (QStringList), for views that show more than the three columns.
    static constexpr int FieldsRole = Qt::UserRole + 1;
    using TRowMaker = std::function<THistoryRow(const THistoryRecord&)>;

    explicit TKSLogsModel(QObject* parent = nullptr);

    // The list anew: `index` (may be null: no records), rows made by `makeRow`.
    // `loadTime` stamps lines that carry no stamp of their own.
    void Reset(std::shared_ptr<const TKSHistoryIndex> index, TRowMaker makeRow, TDateTime loadTime = 0);
    void Clear();
    // A record just written goes on top.
    void InsertAtTop(const THistoryRow& row);
    void SetHeader(const QStringList& captions);

    // The row, read from its day file when needed; an empty row when it cannot be read any more.
    THistoryRow Row(int row) const;
    QStringList Fields(int row) const { return Row(row).Fields; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const TKSHistoryIndex> FIndex;
    TRowMaker FMakeRow;
    TDateTime FLoadTime = 0;
    std::deque<THistoryRow> FAdded; // newest first, above the index's rows
    mutable QCache<int, THistoryRow> FCache{512};
    QStringList FHeader;
};

} // namespace kestrum
