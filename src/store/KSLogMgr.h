#pragma once
#include "store/IHistoryView.h"
#include "store/OrvLogManager.h"

#include <QLocale>
#include <QString>
#include <memory>

namespace kestrum {

// The row caption: the date in the locale's short format, then a space and the time in its long format
// (without a time zone); the time is left out when it is exactly midnight.
QString HistoryTimeText(TDateTime time, const QLocale& locale);

// The same, with the locale's formats looked up once for a whole list.
struct THistoryTimeFormat {
    explicit THistoryTimeFormat(const QLocale& locale);
    QString Text(TDateTime time) const;
    QLocale Locale;
    QString DateFormat;
    QString TimeFormat;
};

// The day-by-day optimization history below "<data folder>Logs/Kestrum/": a writer that appends today's
// records and a reader that loads day files for the logs page. The main window owns one instance.
class TKSLogMgr {
public:
    using TNowFunc = TOrvLogManager::TNowFunc;

    // Fixes the writer's day file from the current date. The file is not read: the writer only appends.
    explicit TKSLogMgr(QString appDir, TNowFunc now = {});
    // The history of the data folder GetAppDir() names.
    static std::unique_ptr<TKSLogMgr> Create();
    ~TKSLogMgr();
    TKSLogMgr(const TKSLogMgr&) = delete;
    TKSLogMgr& operator=(const TKSLogMgr&) = delete;

    QString HistoryFolder() const { return FFolder; }
    QString DayFile(const QDate& day) const;

    TOrvLogManager& HistoryWriter() { return *FWriter; }
    TOrvLogManager& HistoryReader() { return *FReader; }

    // The logs page; absent until the main window exists.
    void SetView(IHistoryView* view) { FView = view; }
    IHistoryView* View() const { return FView; }
    // Locale of the row captions (the user's own by default).
    void SetLocale(const QLocale& locale) { FTimeFormat = THistoryTimeFormat(locale); }

    // Appends one record to the writer's file and shows it when its day is in the view's range.
    // False, without a row and without throwing, when the file cannot be written.
    // `programs`: the run's programs that gave the most (TKSRunPrograms), kept as the record's third field.
    bool AddHistoryRecord(const QString& operation, const QString& result, const QString& programs = QString());
    // Refills the view with the records of the day files in its range, newest first.
    void LoadHistoryView();
    // A row of the list for a record read back from a day file.
    THistoryRow MakeRow(TDateTime time, const QStringList& fields) const;
    // What a line without a stamp is stamped with when read now.
    TDateTime Now() const { return DateTimeFromQt(FNow()); }

    // Removes the history folder. When it is gone the records held in memory go too, and the next record
    // starts a new day file.
    bool DeleteAllHistory();

private:
    THistoryRow MakeRow(const TOrvLogItem& item) const;

    QString FFolder;
    TNowFunc FNow;
    THistoryTimeFormat FTimeFormat;
    IHistoryView* FView = nullptr;
    std::unique_ptr<TOrvLogManager> FReader;
    std::unique_ptr<TOrvLogManager> FWriter;
};

} // namespace kestrum
