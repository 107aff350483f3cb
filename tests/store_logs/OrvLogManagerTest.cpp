#include "QtPrint.h"
#include "common/FileSizeLimit.h"
#include "common/TestHome.h"
#include "store/OrvLogManager.h"

#include <gtest/gtest.h>
#include <QFile>

#include <chrono>
#include <future>

using namespace kestrum;
using kestrum::test::TTestHome;

namespace {

QDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

} // namespace

TEST(LogStamp, EncodesAndDecodesDateTimes) {
    const TDateTime t = DateTimeFromQt(At(2010, 10, 15, 9, 5, 3, 42));
    EXPECT_EQ(DateTimeToStamp(t), "20101015090503042");
    EXPECT_EQ(DateToStamp(t), "20101015");
    EXPECT_EQ(DateTimeToStamp(0), "00000000000000000");
    EXPECT_EQ(DateToStamp(0), "00000000");
    EXPECT_EQ(StampToDateTime("20101015090503042"), t);
    EXPECT_EQ(DateTimeToStamp(StampToDateTime("99991231235959999")), "99991231235959999");
    EXPECT_EQ(DateTimeToQt(StampToDate("20101015235959")), At(2010, 10, 15));
}

TEST(LogStamp, InvalidStampsGiveZero) {
    struct Case {
        const char* Stamp;
        bool Valid;
    } cases[] = {
        {"20101015", true},           // missing time pieces count as midnight
        {"2010101509", true},         // hour only
        {"2010101", false},           // day absent -> 0
        {"20101315000000000", false}, // month 13
        {"20110229", false},          // not a leap year
        {"20120229", true},
        {"20101015240000000", false}, // hour 24
        {"201010150960", false},      // minute 60
        {"00001015", false},          // year 0
        {"2010x015", false},
        {"20101015090503xyz", true}, // an unparsable millisecond piece counts as 0
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(StampToDateTime(c.Stamp) != 0, c.Valid) << c.Stamp;
    EXPECT_EQ(StampToDate("20101315"), 0);
    EXPECT_EQ(StampToDate("notadate"), 0);
}

TEST(LogLine, FieldsRoundTripThroughTheLineFormat) {
    struct Case {
        QStringList Fields;
        QString Encoded;
        QStringList ReadBack;
    } cases[] = {
        {{"plain"}, "plain", {"plain"}},
        {{"Memory was optimized manually.", "1.00 MB -> 2.00 MB, +1.00 MB."},
         "\"Memory was optimized manually.\"|\"1.00 MB -> 2.00 MB, +1.00 MB.\"",
         {"Memory was optimized manually.", "1.00 MB -> 2.00 MB, +1.00 MB."}},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {{"a|b", "c"}, "\"a|b\"|c", {"a|b", "c"}},
        {{"tab\there", " lead"}, "\"tab\there\"|\" lead\"", {"tab\there", " lead"}},
        {{""}, "\"\"", {""}},
        {{"a", "", "b"}, "a||b", {"a", "", "b"}},
        {{"a", ""}, "a|", {"a", ""}},
        {{}, "", {""}}, // nothing after the code's delimiter reads back as one empty field
        {{"\"", "\"\""}, "\"\"\"\"|\"\"\"\"\"\"", {"\"", "\"\""}},
    };
    TOrvLogManager manager;
    manager.SetClock([] { return At(2010, 10, 15, 9, 5, 3, 42); });
    for (const Case& c : cases) {
        TOrvLogItem* item = manager.AddItem();
        item->Code = -12;
        item->Fields = c.Fields;
        const QString line = item->ToLine();
        EXPECT_EQ(line, "20101015090503042|-12|" + c.Encoded);
        const QStringList tokens = logline::Tokenize(line, u'|');
        ASSERT_GE(tokens.size(), 2);
        EXPECT_EQ(tokens.mid(2), c.ReadBack) << line.toStdString();
    }
}

TEST(LogLine, LineBreaksInsideFieldsSurviveWithAnyDelimiter) {
    const QStringList fields = {"before\nafter", "a\r\nb", "\n", "\"n\"r", "ends with a break\r", "n|r"};
    for (QChar delimiter : {QChar(u'|'), QChar(u'n'), QChar(u'r'), QChar(u';')}) {
        const QString line = logline::EncodeFields(fields, delimiter);
        EXPECT_FALSE(line.contains(u'\n') || line.contains(u'\r')) << line.toStdString();
        EXPECT_EQ(logline::Tokenize(line, delimiter), fields) << line.toStdString();
    }
    EXPECT_EQ(logline::EncodeFields({"x\ny"}, u'|'), "\"x\"ny\"");
}

TEST(LogLine, FilesWrittenBeforeTheLineBreakEscapeReadTheSame) {
    TOrvLogManager manager;
    manager.SetLogFile(QString(KESTRUM_FIXTURES) + "/store/old_format.log");
    ASSERT_TRUE(manager.LoadFromFile());
    const QList<QStringList> expected = {
        {"Memory was optimized manually.", "1.00 GB -> 1.50 GB, +512.00 MB."},
        {"plain", "say \"hi\"", "a|b"},
        {"tab\there", " lead", ""},
        {"ends in a quote\"", "n and r letters"},
        {"\"no\" and \"r\"", "x"},
    };
    ASSERT_EQ(manager.Count(), expected.size());
    for (int i = 0; i < manager.Count(); ++i) {
        EXPECT_EQ(manager.Items(i)->Fields, expected[i]) << i;
        // ... and they are written again as they were.
        EXPECT_EQ(manager.Items(i)->ToLine().toUtf8(), ReadAll(manager.LogFile()).split('\n')[i].chopped(1));
    }
    manager.SetLogFile(QString());
}

TEST(LogManager, LineBreakInAFieldKeepsTheRecordWholeThroughSaveAndReload) {
    TTestHome home;
    const QString path = home.File("day.log");
    TOrvLogManager writer;
    writer.SetClock([] { return At(2024, 5, 10, 14, 30); });
    writer.SetLogFile(path);
    TOrvLogItem* item = writer.AddItem();
    item->Fields = {"Memory was optimized manually.", "1.00 GB -> 1.50 GB#N#R+512.00 MB"};
    item->Fields[1].replace("#N#R", "\n\r");
    ASSERT_TRUE(item->Append());
    writer.AddItem()->Fields = {"second"};
    ASSERT_TRUE(writer.Items(1)->Append());

    TOrvLogManager reader;
    reader.SetLogFile(path);
    ASSERT_TRUE(reader.LoadFromFile());
    ASSERT_EQ(reader.Count(), 2);
    EXPECT_EQ(reader.Items(0)->Fields, item->Fields);
    EXPECT_EQ(DateTimeToStamp(reader.Items(0)->Time), "20240510143000000");
    ASSERT_TRUE(reader.Save());
    ASSERT_TRUE(reader.LoadFromFile());
    ASSERT_EQ(reader.Count(), 2);
    EXPECT_EQ(reader.Items(0)->Fields, item->Fields);
    EXPECT_EQ(reader.Items(1)->Fields, QStringList{"second"});
}

TEST(LogLine, TokenizerEdgeCases) {
    struct Case {
        QString Line;
        QStringList Tokens;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"a b|c", {"a", "b", "c"}},           // an unquoted blank splits a token
        {"  a | b ", {"a", "b"}},             // blanks around delimiters are skipped
        {"\"open quote|x", {"open quote|x"}}, // no closing quote: to the end of the line
        {"a|b|", {"a", "b", ""}},
        {QString("a") + QChar(0) + "|b", {"a"}}, // a NUL ends the line
    };
    for (const Case& c : cases) EXPECT_EQ(logline::Tokenize(c.Line, u'|'), c.Tokens) << c.Line.toStdString();
}

TEST(LogManager, DelimiterDefaultsToBar) {
    TOrvLogManager manager;
    EXPECT_EQ(manager.Delimter(), u'|');
    manager.SetDelimter(u';');
    EXPECT_EQ(manager.Delimter(), u';');
    manager.SetDelimter(QChar(0));
    EXPECT_EQ(manager.Delimter(), u'|');
    EXPECT_EQ(TOrvLogItem().Delimter(), u'|');
}

TEST(LogManager, LoadReadsEveryLineAndToleratesBadOnes) {
    TTestHome home;
    const QString path = home.File("x.log");
    WriteAll(path,
             "20101015|7\r\n"
             "\r\n"
             "20101315000000000|1|x\r\n"
             "20101015090503042|abc|\"two words\"|plain\r\n"
             "20101016000000000|2|\"caf\xC3\xA9 \xE2\x84\xA2\"");
    TOrvLogManager manager;
    const QDateTime loadTime = At(2024, 3, 1, 12, 0, 0);
    manager.SetClock([&] { return loadTime; });
    manager.SetLogFile(path);
    ASSERT_TRUE(manager.LoadFromFile());
    ASSERT_EQ(manager.Count(), 5);
    EXPECT_EQ(manager.LoadedCount(), 5);

    EXPECT_EQ(DateTimeToQt(manager.Items(0)->Time), At(2010, 10, 15));
    EXPECT_EQ(manager.Items(0)->Code, 7);
    EXPECT_TRUE(manager.Items(0)->Fields.isEmpty());

    EXPECT_EQ(DateTimeToQt(manager.Items(1)->Time), loadTime); // empty line: stamped with the load time
    EXPECT_EQ(manager.Items(1)->Code, 0);
    EXPECT_TRUE(manager.Items(1)->Fields.isEmpty());

    EXPECT_EQ(manager.Items(2)->Time, 0); // month 13
    EXPECT_EQ(manager.Items(2)->Code, 1);

    EXPECT_EQ(manager.Items(3)->Code, 0);
    EXPECT_EQ(manager.Items(3)->Fields, QStringList({"two words", "plain"}));
    EXPECT_EQ(manager.Items(4)->Fields, QStringList({u"café ™"_qs}));

    EXPECT_EQ(manager.Items(-1), nullptr);
    EXPECT_EQ(manager.Items(5), nullptr);
}

TEST(LogManager, MissingFileEmptiesTheListAndKeepsLoadedCount) {
    TTestHome home;
    WriteAll(home.File("a.log"), "20101015|1\r\n20101015|2\r\n");
    TOrvLogManager manager;
    manager.SetLogFile(home.File("a.log"));
    ASSERT_TRUE(manager.LoadFromFile());
    manager.SetLogFile(home.File("missing.log"));
    EXPECT_FALSE(manager.LoadFromFile());
    EXPECT_EQ(manager.Count(), 0);
    EXPECT_EQ(manager.LoadedCount(), 2);
    manager.SetLogFile(QString()); // nothing to write at destruction
}

TEST(LogManager, AppendWritesOnlyNewRecords) {
    TTestHome home;
    const QString path = home.File("deep/er/day.log");
    TOrvLogManager manager;
    manager.SetClock([] { return At(2010, 10, 15, 9, 5, 3, 42); });
    manager.SetLogFile(path);
    TOrvLogItem* first = manager.AddItem();
    first->Fields = {"one"};
    EXPECT_EQ(first->Index, 0);
    ASSERT_TRUE(first->Append()); // creates the folders and the file
    EXPECT_EQ(ReadAll(path), "20101015090503042|0|one\r\n");

    TOrvLogManager reader;
    reader.SetLogFile(path);
    ASSERT_TRUE(reader.LoadFromFile());
    EXPECT_FALSE(reader.Items(0)->Append()); // it came from the file
    TOrvLogItem* added = reader.AddItem();
    EXPECT_EQ(added->Index, 1);
    added->Fields = {"two"};
    ASSERT_TRUE(added->Append());
    EXPECT_EQ(ReadAll(path).count("\r\n"), 2);
    reader.SetLogFile(QString());
    manager.SetLogFile(QString());

    EXPECT_FALSE(TOrvLogItem().Append()); // no manager, no file
}

TEST(LogManager, AppendErrorsReachTheCaller) {
    TTestHome home;
    WriteAll(home.File("blocker"), "a file where a folder should be");
    TOrvLogManager manager;
    manager.SetLogFile(home.File("blocker/day.log"));
    EXPECT_THROW(manager.AddItem()->Append(), EInOutError);
    // The lock was released on the way out.
    std::unique_lock<std::mutex> lock(TOrvLogManager::LogLock(), std::try_to_lock);
    EXPECT_TRUE(lock.owns_lock());
    manager.SetLogFile(QString());
}

TEST(LogManager, SaveRewritesEveryRecordAndDestructionWritesNothing) {
    TTestHome home;
    const QString path = home.File("new/folder/day.log");
    {
        TOrvLogManager manager;
        manager.SetClock([] { return At(2010, 10, 15, 9, 5, 3, 42); });
        manager.SetLogFile(path);
        manager.AddItem()->Fields = {"a b"};
        manager.AddItem()->Code = 3;
        ASSERT_TRUE(manager.Save());
        EXPECT_EQ(ReadAll(path), "20101015090503042|0|\"a b\"\r\n20101015090503042|3|\r\n");
        manager.AddItem()->Code = 4;
    }
    EXPECT_EQ(ReadAll(path).count("\r\n"), 2);

    TOrvLogManager unnamed;
    EXPECT_FALSE(unnamed.Save());
}

TEST(LogManager, FailedSaveLeavesTheOldFileWhole) {
    TTestHome home;
    const QString path = home.File("day.log");
    const QByteArray old = "20101015090503042|0|\"old record\"\r\n";
    WriteAll(path, old);

    TOrvLogManager manager;
    manager.SetLogFile(path);
    ASSERT_TRUE(manager.LoadFromFile());
    for (int i = 0; i < 2000; ++i) manager.AddItem()->Fields = {QString("record number %1").arg(i)};
    {
        kestrum::test::TFileSizeLimit full(4096);
        EXPECT_FALSE(manager.Save());
    }
    EXPECT_EQ(ReadAll(path), old);
    EXPECT_EQ(QDir(home.Path()).entryList(QDir::Files), QStringList({"day.log"})); // no temporary left
    manager.SetLogFile(QString());
}

TEST(LogManager, FileAccessWaitsForTheLogLock) {
    TTestHome home;
    TOrvLogManager manager;
    manager.SetLogFile(home.File("day.log"));
    TOrvLogItem* item = manager.AddItem();
    std::future<bool> appended;
    {
        std::lock_guard<std::mutex> lock(TOrvLogManager::LogLock());
        appended = std::async(std::launch::async, [item] { return item->Append(); });
        EXPECT_EQ(appended.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        EXPECT_FALSE(QFile::exists(home.File("day.log")));
    }
    EXPECT_TRUE(appended.get());
    manager.SetLogFile(QString());
}
