#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "QtPrint.h"
#include "common/TestHome.h"
#include "store/KSLogMgr.h"
#include "store/KSRunPrograms.h"
#include "store/OrvLogManager.h"

using namespace kestrum;
using namespace kestrum::test;

TEST(RunPrograms, NamesWithTheSeparatorsSurviveAndBadPairsAreLeftOut) {
    const TKSRunPrograms::TList programs{
        {"firefox-esr", 536870912}, {"a=b;c|d%e", 1}, {"Web Content", 2}, {"x", 3}, {"y", 4}, {"sixth", 5}};
    const QString text = TKSRunPrograms::Encode(programs);
    EXPECT_FALSE(text.contains(u'|')) << text.toStdString();
    EXPECT_TRUE(text.startsWith("firefox-esr=536870912;")) << text.toStdString();
    EXPECT_EQ(TKSRunPrograms::Decode(text),
              (TKSRunPrograms::TList(programs.begin(), programs.begin() + TKSRunPrograms::MaxPrograms)));
    EXPECT_EQ(TKSRunPrograms::Decode("ok=7;=3;noval=;bad=x;;also ok=8"),
              (TKSRunPrograms::TList{{"ok", 7}, {"also ok", 8}}));
    EXPECT_TRUE(TKSRunPrograms::Decode("").empty());
}

TEST(RunPrograms, ThirdFieldOfTheRecordAndOldRecordsStayReadable) {
    TTestHome home;
    const QString day = QDate::currentDate().toString("yyyyMMdd");
    TKSLogMgr history(home.Path());
    // A record as written before the field existed, then one with it.
    ASSERT_TRUE(history.AddHistoryRecord("old op", "1 -> 2, +1."));
    ASSERT_TRUE(history.AddHistoryRecord("new op", "2 -> 3, +1.", TKSRunPrograms::Encode({{"python3.11", 42}})));

    // The reader of two fields sees the same two texts in both records; the new one holds a third.
    TOrvLogManager reader;
    reader.SetLogFile(home.File("Logs/Kestrum/" + day + ".log"));
    ASSERT_TRUE(reader.LoadFromFile());
    ASSERT_EQ(reader.Count(), 2);
    EXPECT_EQ(reader.Items(0)->Fields, (QStringList{"old op", "1 -> 2, +1."}));
    ASSERT_GE(reader.Items(1)->Fields.size(), 3);
    EXPECT_EQ(reader.Items(1)->Fields.mid(0, 2), (QStringList{"new op", "2 -> 3, +1."}));
    EXPECT_EQ(TKSRunPrograms::Decode(reader.Items(1)->Fields[2]), (TKSRunPrograms::TList{{"python3.11", 42}}));
}
