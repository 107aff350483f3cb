// The index over the day files gives the records the full reader gives, newest first, reading none
// until asked; it never follows a day file that is a link.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "common/TestHome.h"
#include "store/KSHistoryIndex.h"
#include "store/KSLogMgr.h"

using namespace kestrum;

namespace {

void Put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

TEST(HistoryIndex, GivesWhatTheReaderGivesNewestFirst) {
    test::TTestHome home;
    const QString folder = home.File("Logs/Kestrum/");
    // Line ends of both kinds, an empty line, a line without a stamp, a quoted field with the delimiter,
    // a third field, and a last line without its end.
    Put(folder + "20240301.log",
        "20240301100000000|0|Free|\"1 | 2\"\r\n"
        "\r\n"
        "garbage\n"
        "20240301110000000|7|Auto|\"3 -> 4\"|extra\n"
        "20240301120000000|0|Last|5");
    Put(folder + "20240229.log", "20240229090000000|0|Yesterday|x\r\n");
    Put(folder + "20240101.log", "20240101090000000|0|Out of range|x\r\n");
    const TDateTime loadTime = DateTimeFromQt(QDateTime(QDate(2024, 3, 1), QTime(15, 0)));

    TOrvLogManager reader;
    reader.SetClock([] { return QDateTime(QDate(2024, 3, 1), QTime(15, 0)); });
    std::vector<THistoryRecord> expected;
    for (const char* day : {"20240229", "20240301"}) {
        reader.SetLogFile(folder + day + ".log");
        ASSERT_TRUE(reader.LoadFromFile());
        for (int i = 0; i < reader.Count(); ++i)
            expected.insert(expected.begin(), {reader.Items(i)->Time, reader.Items(i)->Code, reader.Items(i)->Fields});
    }
    const auto index = TKSHistoryIndex::Build(folder, QDate(2024, 2, 28), QDate(2024, 3, 1));
    ASSERT_EQ(index->Count(), expected.size());
    ASSERT_EQ(index->Count(), 6u);
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto got = index->Read(i, loadTime);
        ASSERT_TRUE(got) << i;
        EXPECT_EQ(got->Time, expected[i].Time) << i;
        EXPECT_EQ(got->Code, expected[i].Code) << i;
        EXPECT_EQ(got->Fields, expected[i].Fields) << i;
    }
    EXPECT_EQ(index->Read(0, loadTime)->Fields, (QStringList{"Last", "5"}));
    EXPECT_EQ(index->Read(1, loadTime)->Fields, (QStringList{"Auto", "3 -> 4", "extra"}));
    EXPECT_FALSE(index->Read(6, loadTime));

    // A day file that is a link is not read at all.
    Put(home.File("elsewhere.log"), "20240301130000000|0|Secret|x\r\n");
    QFile::remove(folder + "20240229.log");
    ASSERT_TRUE(QFile::link(home.File("elsewhere.log"), folder + "20240229.log"));
    EXPECT_EQ(TKSHistoryIndex::Build(folder, QDate(2024, 2, 28), QDate(2024, 3, 1))->Count(), 5u);
    // A backwards range lists nothing; a cancelled scan stops.
    EXPECT_EQ(TKSHistoryIndex::Build(folder, QDate(2024, 3, 1), QDate(2024, 2, 1))->Count(), 0u);
    std::atomic<bool> cancel{true};
    EXPECT_EQ(TKSHistoryIndex::Build(folder, QDate(2024, 2, 28), QDate(2024, 3, 1), &cancel)->Count(), 0u);
}
