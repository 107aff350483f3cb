#pragma once
#include <QDate>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "store/OrvLogItem.h"

namespace kestrum {

// One history record as read back from its day file.
struct THistoryRecord {
    TDateTime Time = 0;
    int Code = 0;
    QStringList Fields; // operation, result, and whatever later fields the record carries
};

// Where the records of a range of day files lie, newest first, without reading them: a few bytes per
// record, so a history of millions of records is listed at once and each record is read only when it is
// shown. Built off the interface thread; reading a record is one small positioned read.
class TKSHistoryIndex {
public:
    // The day files "<folder>yyyymmdd.log" of the days begin..end (files with other names are not history);
    // `cancel` set ends the scan early (the result is then incomplete and not used). A file that cannot be
    // read is skipped, as the reader skips it.
    static std::shared_ptr<const TKSHistoryIndex> Build(const QString& folder, const QDate& begin, const QDate& end,
                                                        const std::atomic<bool>* cancel = nullptr);
    ~TKSHistoryIndex();

    size_t Count() const { return FRecords.size(); }
    // The record at `row` (0 = newest); lines without a stamp get `loadTime`, as the reader gives them.
    // Nothing when the file changed under us and the line is gone.
    std::optional<THistoryRecord> Read(size_t row, TDateTime loadTime) const;

private:
    struct TRef {
        uint64_t Offset;
        uint32_t Length; // without the line end
        uint32_t File;
    };
    QStringList FFiles;
    std::vector<TRef> FRecords; // in file order; row r is FRecords[size - 1 - r]
    mutable std::vector<int> FFds;
};

} // namespace kestrum
