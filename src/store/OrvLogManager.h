#pragma once
#include "store/OrvLogItem.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace kestrum {

// The records of one text log file held in memory; reads, appends and rewrites that file.
// Destruction writes nothing: records reach the file through their Append or through Save.
class TOrvLogManager : public QObject {
    Q_OBJECT
public:
    using TNowFunc = std::function<QDateTime()>;

    explicit TOrvLogManager(QObject* owner = nullptr);
    ~TOrvLogManager() override;

    // Serialises every read and write of log files across all managers of the process.
    static std::mutex& LogLock();

    const QString& LogFile() const { return FLogFile; }
    void SetLogFile(const QString& path) { FLogFile = path; }
    QChar Delimter() const { return FDelimter; }
    // NUL selects the default "|".
    void SetDelimter(QChar value) { FDelimter = value.isNull() ? QChar(u'|') : value; }

    // Local time that new records are stamped with; tests set a fixed clock.
    void SetClock(TNowFunc now) { FNow = std::move(now); }
    TDateTime Now() const;

    int Count() const { return static_cast<int>(FItems.size()); }
    TOrvLogItem* Items(int index) const;
    // Number of records the last successful LoadFromFile read; records below it are in the file already.
    int LoadedCount() const { return FLoadedCount; }

    TOrvLogItem* AddItem();
    // Drops the newest record (one whose Append failed).
    void RemoveLast();
    // Drops every record and forgets what was loaded, so records added later append again.
    void Clear();

    bool LoadFromFile();
    // Rewrites the file through a temporary file beside it: a failed write leaves the old file whole.
    bool Save();

private:
    QString FLogFile;
    QChar FDelimter = u'|';
    std::vector<std::unique_ptr<TOrvLogItem>> FItems;
    int FLoadedCount = 0;
    TNowFunc FNow;
};

} // namespace kestrum
