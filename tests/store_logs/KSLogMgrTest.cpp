#include "QtPrint.h"
#include "common/TestHome.h"
#include "store/KSLogMgr.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>

using namespace kestrum;
using kestrum::test::TTestHome;

namespace {

QDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

class TFakeView : public IHistoryView {
public:
    QDate Begin, End;
    std::vector<THistoryRow> Rows;
    int Clears = 0;

    QDate BeginDate() const override { return Begin; }
    QDate EndDate() const override { return End; }
    void ClearRows() override {
        Rows.clear();
        ++Clears;
    }
    void InsertRowAtTop(const THistoryRow& row) override { Rows.insert(Rows.begin(), row); }

    QStringList Results() const {
        QStringList r;
        for (const THistoryRow& row : Rows) r << row.Result;
        return r;
    }
};

// A history whose clock the test moves, showing into a fake logs page.
struct THistoryFixture {
    TTestHome Home;
    QDateTime Now = At(2024, 5, 10, 14, 30);
    TFakeView View;
    std::unique_ptr<TKSLogMgr> History;

    void Start() {
        History = std::make_unique<TKSLogMgr>(Home.Path(), [this] { return Now; });
        History->SetLocale(QLocale::c());
        History->SetView(&View);
    }
    QString DayFile(const QDate& d) const { return Home.File("Logs/Kestrum/" + d.toString("yyyyMMdd") + ".log"); }
    void WriteDay(const QDate& day, const QStringList& results) {
        QDir().mkpath(Home.File("Logs/Kestrum"));
        QFile f(DayFile(day));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        int hour = 8;
        for (const QString& r : results)
            f.write((day.toString("yyyyMMdd") + QString("%1%2").arg(hour++, 2, 10, QChar('0')).arg("0000000") +
                     "|0|op|" + r + "\r\n")
                        .toUtf8());
    }
    int Lines(const QDate& day) const {
        QFile f(DayFile(day));
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count("\r\n")) : -1;
    }
};

} // namespace

TEST(History, FirstRecordCreatesTheFolderAndShowsWhenTodayIsInRange) {
    THistoryFixture h;
    h.Start();
    h.View.Begin = QDate(2024, 5, 7);
    h.View.End = QDate(2024, 5, 10);
    h.History->AddHistoryRecord("Memory was optimized manually.", "1.00 GB -> 1.50 GB, +512.00 MB.");
    EXPECT_EQ(h.Lines(QDate(2024, 5, 10)), 1);
    ASSERT_EQ(h.View.Rows.size(), 1u);
    EXPECT_EQ(h.View.Rows[0].Operation, "Memory was optimized manually.");
    EXPECT_EQ(h.View.Rows[0].Result, "1.00 GB -> 1.50 GB, +512.00 MB.");
    EXPECT_EQ(DateTimeToQt(h.View.Rows[0].Time), h.Now);
    EXPECT_EQ(h.View.Rows[0].TimeText, "10 May 2024 14:30:00");

    // A range that leaves today out gets no row, but the record is still written.
    h.View.End = QDate(2024, 5, 9);
    h.History->AddHistoryRecord("b", "c");
    EXPECT_EQ(h.View.Rows.size(), 1u);
    EXPECT_EQ(h.Lines(QDate(2024, 5, 10)), 2);

    // Without a logs page the record is only written.
    h.History->SetView(nullptr);
    h.History->AddHistoryRecord("d", "e");
    EXPECT_EQ(h.Lines(QDate(2024, 5, 10)), 3);
}

TEST(History, ViewListsTheDaysInRangeNewestFirst) {
    THistoryFixture h;
    h.WriteDay(QDate(2024, 5, 6), {"too old"});
    h.WriteDay(QDate(2024, 5, 7), {"7a", "7b"});
    h.WriteDay(QDate(2024, 5, 9), {"9a"});
    h.WriteDay(QDate(2024, 5, 10), {"10a", "10b"});
    QFile::copy(h.DayFile(QDate(2024, 5, 9)), h.Home.File("Logs/Kestrum/notes.txt"));
    QFile::copy(h.DayFile(QDate(2024, 5, 9)), h.Home.File("Logs/Kestrum/garbage.log")); // dated 1899-12-30
    h.Start();
    h.View.Begin = QDate(2024, 5, 7);
    h.View.End = QDate(2024, 5, 10);
    h.History->LoadHistoryView();
    EXPECT_EQ(h.View.Results(), QStringList({"10b", "10a", "9a", "7b", "7a"}));
    EXPECT_EQ(h.View.Rows.back().TimeText, "7 May 2024 08:00:00");

    // Begin after end: an empty list.
    h.View.Begin = QDate(2024, 5, 10);
    h.View.End = QDate(2024, 5, 9);
    h.History->LoadHistoryView();
    EXPECT_TRUE(h.View.Rows.empty());

    // A file whose name is no date counts as 30 December 1899.
    h.View.Begin = h.View.End = QDate(1899, 12, 30);
    h.History->LoadHistoryView();
    EXPECT_EQ(h.View.Results(), QStringList({"9a"}));
}

TEST(History, MissingFolderShowsNothing) {
    THistoryFixture h;
    h.Start();
    h.View.Begin = QDate(2000, 1, 1);
    h.View.End = QDate(2100, 1, 1);
    h.View.Rows.push_back({});
    h.History->LoadHistoryView();
    EXPECT_TRUE(h.View.Rows.empty());
    EXPECT_FALSE(QDir(h.Home.File("Logs")).exists());
}

TEST(History, RunPastMidnightKeepsWritingTheStartDay) {
    THistoryFixture h;
    h.Now = At(2024, 5, 10, 23, 59, 30);
    h.Start();
    h.Now = At(2024, 5, 11, 0, 0, 10);
    h.View.Begin = h.View.End = QDate(2024, 5, 11);
    h.History->AddHistoryRecord("op", "after midnight");
    ASSERT_EQ(h.View.Rows.size(), 1u); // the record's own date is in range
    EXPECT_EQ(h.Lines(QDate(2024, 5, 10)), 1);
    EXPECT_EQ(h.Lines(QDate(2024, 5, 11)), -1);

    h.History->LoadHistoryView(); // the files know it under the day the run started
    EXPECT_TRUE(h.View.Rows.empty());
    h.View.Begin = h.View.End = QDate(2024, 5, 10);
    h.History->LoadHistoryView();
    EXPECT_EQ(h.View.Results(), QStringList({"after midnight"}));
    EXPECT_EQ(h.View.Rows[0].TimeText, "11 May 2024 00:00:10");
}

TEST(History, FailedAppendIsReportedWithoutARowAndTheNextOneWorks) {
    THistoryFixture h;
    QDir().mkpath(h.Home.File("Logs"));
    QFile blocker(h.Home.File("Logs/Kestrum"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    h.Start();
    h.View.Begin = h.View.End = h.Now.date();
    bool written = true;
    EXPECT_NO_THROW(written = h.History->AddHistoryRecord("op", "r"));
    EXPECT_FALSE(written);
    EXPECT_TRUE(h.View.Rows.empty());
    EXPECT_EQ(h.History->HistoryWriter().Count(), 0); // the failed record is not held either

    ASSERT_TRUE(blocker.remove());
    EXPECT_TRUE(h.History->AddHistoryRecord("op", "r2"));
    EXPECT_EQ(h.View.Results(), QStringList({"r2"}));
    EXPECT_EQ(h.Lines(h.Now.date()), 1);
}

TEST(History, ExitKeepsRecordsAppendedAfterTheViewLoadedToday) {
    THistoryFixture h;
    h.WriteDay(QDate(2024, 5, 10), {"earlier"});
    h.Start();
    h.View.Begin = h.View.End = QDate(2024, 5, 10);
    h.History->LoadHistoryView(); // the reader now holds today's single record
    h.History->AddHistoryRecord("op", "new");
    h.History.reset();
    EXPECT_EQ(h.Lines(QDate(2024, 5, 10)), 2);
}

TEST(History, DeletedHistoryStaysDeletedAndLaterRecordsAppend) {
    THistoryFixture h;
    h.WriteDay(QDate(2024, 5, 9), {"yesterday"});
    h.WriteDay(QDate(2024, 5, 10), {"a", "b"});
    h.Start();
    h.View.Begin = QDate(2024, 5, 9);
    h.View.End = QDate(2024, 5, 10);
    h.History->LoadHistoryView();

    EXPECT_TRUE(h.History->DeleteAllHistory());
    EXPECT_FALSE(QDir(h.Home.File("Logs/Kestrum")).exists());

    h.History->AddHistoryRecord("op", "after delete");
    EXPECT_EQ(h.Lines(QDate(2024, 5, 10)), 1);
    h.History.reset();
    EXPECT_EQ(h.Lines(QDate(2024, 5, 10)), 1);
    EXPECT_EQ(h.Lines(QDate(2024, 5, 9)), -1);

    // Deleting with nothing written afterwards leaves no file behind at exit.
    h.Start();
    h.History->DeleteAllHistory();
    h.History.reset();
    EXPECT_FALSE(QDir(h.Home.File("Logs/Kestrum")).exists());
}

TEST(History, ADamagedDayFileIsNeitherReadAtStartNorRewrittenAtExit) {
    THistoryFixture h;
    const QDate today = h.Now.date();
    QDir().mkpath(h.Home.File("Logs/Kestrum"));
    ASSERT_TRUE(QFile::copy(QString(KESTRUM_FIXTURES) + "/store/damaged_day.log", h.DayFile(today)));
    QFile::setPermissions(h.DayFile(today), QFile::ReadOwner | QFile::WriteOwner);
    QFile day(h.DayFile(today));
    ASSERT_TRUE(day.open(QIODevice::ReadOnly));
    const QByteArray before = day.readAll();
    day.close();

    h.Start();
    EXPECT_EQ(h.History->HistoryWriter().Count(), 0); // nothing was read
    ASSERT_TRUE(h.History->AddHistoryRecord("op", "new record"));
    h.History.reset();

    // The old bytes stay as they were; the new record follows on a line of its own, though the file's last
    // line had been cut short.
    ASSERT_TRUE(day.open(QIODevice::ReadOnly));
    const QByteArray after = day.readAll();
    ASSERT_TRUE(after.startsWith(before));
    EXPECT_EQ(after.mid(before.size()), "\r\n20240510143000000|0|op|\"new record\"\r\n");

    TOrvLogManager reader;
    reader.SetLogFile(h.DayFile(today));
    ASSERT_TRUE(reader.LoadFromFile());
    ASSERT_GE(reader.Count(), 1);
    EXPECT_EQ(reader.Items(reader.Count() - 1)->Fields, QStringList({"op", "new record"}));
}

TEST(History, TimeTextLeavesOutMidnight) {
    EXPECT_EQ(HistoryTimeText(DateTimeFromQt(At(2010, 10, 15)), QLocale::c()), "15 Oct 2010");
    EXPECT_EQ(HistoryTimeText(DateTimeFromQt(At(2010, 10, 15, 9, 5, 3)), QLocale::c()), "15 Oct 2010 09:05:03");
}
