#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>

#include "store/OrvLogItem.h"

namespace kestrum {

// One row of the history list: newest rows are inserted at the top.
struct THistoryRow {
    TDateTime Time = 0; // the record's time
    QString TimeText;   // the caption: short date, a space, long time (time left out at exactly midnight)
    QString Operation;  // first field of the record
    QString Result;     // second field of the record
    QString Programs;   // third field: the programs that gave the most (TKSRunPrograms), empty in old records
    QStringList Fields; // every field of the record (operation, result, and any later ones)
};

// What the history needs from the logs page: the two picker dates and a list that takes rows at the top.
class IHistoryView {
public:
    virtual ~IHistoryView() = default;
    virtual QDate BeginDate() const = 0;
    virtual QDate EndDate() const = 0;
    virtual void ClearRows() = 0;
    virtual void InsertRowAtTop(const THistoryRow& row) = 0;
    // Bracket a bulk load so a list widget can repaint once.
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
};

} // namespace kestrum
