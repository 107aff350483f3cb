#include "app/pages/KSLogsModel.h"

#include <climits>

namespace kestrum {

TKSLogsModel::TKSLogsModel(QObject* parent) : QAbstractTableModel(parent) {}

void TKSLogsModel::Reset(std::shared_ptr<const TKSHistoryIndex> index, TRowMaker makeRow, TDateTime loadTime) {
    beginResetModel();
    FLoadTime = loadTime;
    FIndex = std::move(index);
    FMakeRow = std::move(makeRow);
    FAdded.clear();
    FCache.clear();
    endResetModel();
}

void TKSLogsModel::Clear() {
    Reset(nullptr, {});
}

void TKSLogsModel::InsertAtTop(const THistoryRow& row) {
    beginInsertRows({}, 0, 0);
    FAdded.push_front(row);
    // Cached rows of the index moved down by one.
    FCache.clear();
    endInsertRows();
}

void TKSLogsModel::SetHeader(const QStringList& captions) {
    FHeader = captions;
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

THistoryRow TKSLogsModel::Row(int row) const {
    if (row < 0 || row >= rowCount()) return {};
    if (size_t(row) < FAdded.size()) return FAdded[size_t(row)];
    if (const THistoryRow* cached = FCache.object(row)) return *cached;
    THistoryRow made;
    if (FIndex && FMakeRow)
        if (auto record = FIndex->Read(size_t(row) - FAdded.size(), FLoadTime)) made = FMakeRow(*record);
    FCache.insert(row, new THistoryRow(made));
    return made;
}

int TKSLogsModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    const size_t n = FAdded.size() + (FIndex ? FIndex->Count() : 0);
    return int(std::min<size_t>(n, size_t(INT_MAX)));
}

int TKSLogsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant TKSLogsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != FieldsRole)) return {};
    const THistoryRow row = Row(index.row());
    if (role == FieldsRole) return row.Fields;
    switch (index.column()) {
        case 0:
            return row.TimeText;
        case 1:
            return row.Operation;
        case 2:
            return row.Result;
        default:
            return {};
    }
}

QVariant TKSLogsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return FHeader.value(section);
}

} // namespace kestrum
