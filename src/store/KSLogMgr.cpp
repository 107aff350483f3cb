#include "store/KSLogMgr.h"

#include "support/KSUtils.h"

#include <QFileInfo>
#include <algorithm>

namespace kestrum {

namespace {

// The locale's long time format without its time-zone letters, which a local history time does not need.
QString LongTimeFormat(const QLocale& locale) {
    QString format;
    bool quoted = false;
    for (QChar c : locale.timeFormat(QLocale::LongFormat)) {
        if (c == u'\'') quoted = !quoted;
        if (quoted || c != u't') format += c;
    }
    return format.simplified();
}

} // namespace

QString THistoryTimeFormat::Text(TDateTime time) const {
    QDate date;
    QTime clock;
    DecodeDateTime(time, date, clock);
    QString text = Locale.toString(date, DateFormat);
    if (clock != QTime(0, 0)) text += u' ' + Locale.toString(clock, TimeFormat);
    return text;
}

THistoryTimeFormat::THistoryTimeFormat(const QLocale& locale)
    : Locale(locale), DateFormat(locale.dateFormat(QLocale::ShortFormat)), TimeFormat(LongTimeFormat(locale)) {}

QString HistoryTimeText(TDateTime time, const QLocale& locale) {
    return THistoryTimeFormat(locale).Text(time);
}

TKSLogMgr::TKSLogMgr(QString appDir, TNowFunc now)
    : FFolder(appDir + QStringLiteral("Logs/Kestrum/")),
      FNow(now ? std::move(now) : TNowFunc([] { return QDateTime::currentDateTime(); })),
      FTimeFormat(QLocale::system()),
      FReader(std::make_unique<TOrvLogManager>()),
      FWriter(std::make_unique<TOrvLogManager>()) {
    FReader->SetClock(FNow);
    FWriter->SetClock(FNow);
    // The writer only ever appends, so what the day file already holds need not be read: a start-up costs
    // the same with a large or a damaged day file, and that file is never rewritten.
    FWriter->SetLogFile(DayFile(FNow().date()));
}

std::unique_ptr<TKSLogMgr> TKSLogMgr::Create() {
    return std::make_unique<TKSLogMgr>(GetAppDir());
}

TKSLogMgr::~TKSLogMgr() = default;

QString TKSLogMgr::DayFile(const QDate& day) const {
    return FFolder + DateToStamp(DateFromQt(day)) + QStringLiteral(".log");
}

THistoryRow TKSLogMgr::MakeRow(const TOrvLogItem& item) const {
    return MakeRow(item.Time, item.Fields);
}

THistoryRow TKSLogMgr::MakeRow(TDateTime time, const QStringList& fields) const {
    THistoryRow row;
    row.Time = time;
    row.TimeText = FTimeFormat.Text(time);
    row.Operation = fields.value(0);
    row.Result = fields.value(1);
    row.Programs = fields.value(2);
    row.Fields = fields;
    return row;
}

bool TKSLogMgr::AddHistoryRecord(const QString& operation, const QString& result, const QString& programs) {
    TOrvLogItem* item = FWriter->AddItem();
    item->Time = DateTimeFromQt(FNow());
    item->Code = 0;
    item->Fields = QStringList{operation, result};
    if (!programs.isEmpty()) item->Fields << programs;
    try {
        item->Append();
    } catch (const std::exception&) {
        // Called from timers and click handlers, where an exception would end the program: a record that
        // cannot be written is dropped and reported, and the run goes on.
        FWriter->RemoveLast();
        return false;
    }
    if (FView) {
        const QDate day = DateOfDateTime(item->Time);
        if (FView->BeginDate() <= day && day <= FView->EndDate()) FView->InsertRowAtTop(MakeRow(*item));
    }
    return true;
}

void TKSLogMgr::LoadHistoryView() {
    if (!FView) return;
    FView->BeginUpdate();
    FView->ClearRows();
    const QDate begin = FView->BeginDate();
    const QDate end = FView->EndDate();
    if (begin <= end) {
        QStringList files;
        ListFiles(files, FFolder, QStringLiteral("*.log"),
                  {QStringLiteral("desktop.ini"), QStringLiteral("Thumbs.db")});
        // Directory listings come in no particular order here; ascending names are ascending days.
        std::sort(files.begin(), files.end(),
                  [](const QString& a, const QString& b) { return FileBaseName(a) < FileBaseName(b); });
        for (const QString& path : files) {
            if (!QFileInfo::exists(path)) continue;
            const QDate day = DateOfDateTime(StampToDate(FileBaseName(path)));
            if (day < begin || end < day) continue;
            FReader->SetLogFile(path);
            if (!FReader->LoadFromFile()) continue;
            for (int i = 0; i < FReader->Count(); ++i) FView->InsertRowAtTop(MakeRow(*FReader->Items(i)));
        }
    }
    FView->EndUpdate();
}

bool TKSLogMgr::DeleteAllHistory() {
    const bool removed = DeleteFolder(FFolder);
    // The records held in memory go with the files (only when those are really gone).
    if (!QFileInfo::exists(FFolder)) {
        FWriter->Clear();
        FReader->Clear();
        FReader->SetLogFile(QString());
    }
    return removed;
}

} // namespace kestrum
