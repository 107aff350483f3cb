// The logs list over a long history: the page fills without blocking, and only the rows on screen are
// ever read from the day file.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTableView>

#include "app/pages/KSLogsModel.h"
#include "app/pages/KSLogsPage.h"
#include "app/pages/KSRunProgramsView.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "store/KSLogMgr.h"
#include "store/KSRunPrograms.h"
#include "support/KSUtils.h"

using namespace kestrum;

TEST(LogsModel, ALongHistoryFillsLazilyAndOffTheInterfaceThread) {
    test::EnsureQtApp();
    test::TTestHome home;
    const QDateTime today(QDate(2024, 3, 1), QTime(23, 0));
    constexpr int kRecords = 50000;
    {
        QByteArray text;
        for (int i = 0; i < kRecords; ++i)
            text += "20240301" + QByteArray::number(100000000 + i).right(9) + "|0|\"Run " + QByteArray::number(i) +
                    "\"|\"1 -> 2, +1.\"\r\n";
        QDir().mkpath(home.File("Logs/Kestrum"));
        QFile f(home.File("Logs/Kestrum/20240301.log"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    TKSLogMgr history(home.Path(), [&] { return today; });
    TKSLogsPage page;
    page.SetNow([&] { return today; });
    page.SetHistory(&history);
    page.resize(770, 435);
    page.show();
    page.InitLogsRange();
    EXPECT_TRUE(page.Loading()) << "the day files are read off the interface thread";
    QElapsedTimer t;
    t.start();
    while (page.Loading() && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_FALSE(page.Loading());
    TKSLogsModel* model = page.Model();
    ASSERT_EQ(model->rowCount(), kRecords);
    EXPECT_EQ(model->index(0, 1).data().toString(), QString("Run %1").arg(kRecords - 1)); // newest first
    EXPECT_EQ(model->index(kRecords - 1, 1).data().toString(), "Run 0");

    // Only what the view shows is read: count the rows made while it paints.
    int made = 0;
    model->Reset(TKSHistoryIndex::Build(history.HistoryFolder(), today.date(), today.date()),
                 [&](const THistoryRecord& r) {
                     ++made;
                     return history.MakeRow(r.Time, r.Fields);
                 });
    page.List()->viewport()->repaint();
    QCoreApplication::processEvents();
    EXPECT_GT(made, 0);
    EXPECT_LT(made, 200) << "rows read for one screen of a " << kRecords << "-record history";

    // A record written now goes on top at once, the rest move down.
    ASSERT_TRUE(history.AddHistoryRecord("Now", "3 -> 4, +1."));
    EXPECT_EQ(model->rowCount(), kRecords + 1);
    EXPECT_EQ(model->index(0, 1).data().toString(), "Now");
    EXPECT_EQ(model->index(1, 1).data().toString(), QString("Run %1").arg(kRecords - 1));
}

// A run's programs show under the list for the selected row, read from the record's third field through the
// model; a new record at the top moves the selection's text along.
TEST(LogsModel, TheSelectedRunsProgramsShowUnderTheList) {
    test::EnsureQtApp();
    test::TTestHome home;
    const QDateTime today(QDate(2024, 3, 1), QTime(12, 0));
    TKSLogMgr history(home.Path(), [&] { return today; });
    TKSLogsPage page;
    page.SetNow([&] { return today; });
    page.SetHistory(&history);
    page.resize(770, 435);
    page.show();
    page.InitLogsRange();
    QElapsedTimer t;
    t.start();
    while (page.Loading() && t.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    TKSRunProgramsView view(page);

    ASSERT_TRUE(history.AddHistoryRecord(u"old"_qs, u"1 -> 2, +1."_qs, QString()));
    ASSERT_TRUE(history.AddHistoryRecord(u"new"_qs, u"1 -> 3, +2."_qs,
                                         TKSRunPrograms::Encode({{u"firefox-esr"_qs, 512ull << 20}})));
    ASSERT_EQ(page.Model()->rowCount(), 2);
    page.List()->setCurrentIndex(page.Model()->index(0, 1));
    EXPECT_TRUE(view.Label()->isVisibleTo(&page));
    EXPECT_TRUE(view.Label()->text().contains(u"firefox-esr"_qs)) << view.Label()->text().toStdString();
    page.List()->setCurrentIndex(page.Model()->index(1, 1));
    EXPECT_FALSE(view.Label()->text().contains(u"firefox-esr"_qs)) << "an old record names no program";
}
