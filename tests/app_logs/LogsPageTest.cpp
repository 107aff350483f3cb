// The Logs page on its own: range table, pickers, the history it shows, the delete link.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTableView>

#include "app/pages/KSLogsModel.h"
#include "app/pages/KSLogsPage.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "store/KSLogMgr.h"
#include "support/KSUtils.h"

using namespace kestrum;

namespace {

// A Friday in a leap year: the ranges cross the end of February.
const QDateTime kToday(QDate(2024, 3, 1), QTime(14, 30, 5));

// One record, operation "day -N", in the day file N days before today, as an earlier run left it.
void WriteRecord(const QString& home, int daysBack) {
    const QDateTime at(kToday.date().addDays(-daysBack), QTime(10, 0));
    TKSLogMgr past(home, [at] { return at; });
    past.AddHistoryRecord(QStringLiteral("day -%1").arg(daysBack), QStringLiteral("1 -> 2, +1."));
}

struct TLogsPage : ::testing::Test {
    test::TTestHome Home;
    TOrvMultiLangs Langs;
    std::unique_ptr<TKSLogMgr> History;
    std::unique_ptr<TKSLogsPage> Page;

    void SetUp() override {
        test::EnsureQtApp();
        for (int back : {0, 2, 5, 10, 20, 40}) WriteRecord(Home.Path(), back);
        Langs.SetOnMakeDefault([](TOrvMultiLangs* l) { MultiLangsMakeDefault(l); });
        History = std::make_unique<TKSLogMgr>(Home.Path(), [] { return kToday; });
        Page = std::make_unique<TKSLogsPage>();
        Page->SetNow([] { return kToday; });
        Page->ApplyLanguage(Langs);
        Page->SetHistory(History.get());
        Page->InitLogsRange();
    }
    void TearDown() override {
        Page.reset(); // the view goes before the history
        History.reset();
    }

    // The list once the day files are read (that happens off the interface thread).
    QAbstractItemModel* Rows() const {
        QElapsedTimer t;
        t.start();
        while (Page->Loading() && t.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        EXPECT_FALSE(Page->Loading());
        return Page->List()->model();
    }
    QString Cell(int row, int column) const { return Rows()->index(row, column).data().toString(); }
    QStringList Operations() const {
        QStringList ops;
        for (int i = 0; i < Rows()->rowCount(); ++i) ops << Cell(i, 1);
        return ops;
    }
    void Custom(int beginBack, int endBack) {
        Page->cbbLogsRangeChange(TKSLogsPage::CustomRange);
        Page->BeginPicker()->setDate(kToday.date().addDays(-beginBack));
        Page->EndPicker()->setDate(kToday.date().addDays(-endBack));
    }
    bool Key(QWidget* target, int key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &press);
        return press.isAccepted();
    }
};

TEST_F(TLogsPage, StartsWithTheLastThreeDaysAndDisabledPickers) {
    EXPECT_EQ(Page->RangeBox()->currentIndex(), 1);
    EXPECT_EQ(Page->RangeBox()->count(), 6);
    EXPECT_EQ(Page->RangeBox()->itemText(1), "View logs within the last 3 days.");
    EXPECT_FALSE(Page->BeginPicker()->isEnabled());
    EXPECT_FALSE(Page->EndPicker()->isEnabled());
    EXPECT_EQ(Page->BeginPicker()->dateTime(), kToday.addDays(-3)); // date and time
    EXPECT_EQ(Page->EndPicker()->dateTime(), kToday);
    EXPECT_EQ(Operations(), (QStringList{"day -0", "day -2"})); // newest first
    auto* list = Page->List();
    EXPECT_EQ(list->model()->headerData(0, Qt::Horizontal), "Time");
    EXPECT_EQ(list->model()->headerData(2, Qt::Horizontal), "Result");
    EXPECT_EQ(list->columnWidth(0), 150);
    EXPECT_EQ(list->columnWidth(1), 300);
    EXPECT_EQ(list->columnWidth(2), 250);
    EXPECT_EQ(list->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(Cell(0, 2), "1 -> 2, +1.");
    // Every field of the record stays reachable for views that show more.
    EXPECT_EQ(Rows()->index(0, 0).data(TKSLogsModel::FieldsRole).toStringList(),
              (QStringList{"day -0", "1 -> 2, +1."}));
    // The link ends at x 745, whatever its text's length.
    EXPECT_EQ(Page->DeleteLink()->geometry().right() + 1, 745);
}

TEST_F(TLogsPage, RangeTableCountsBackFromToday) {
    struct {
        int Index;
        QDate Begin;
        QStringList Rows;
    } cases[] = {
        {0, QDate(2024, 3, 1), {"day -0"}},
        {1, QDate(2024, 2, 27), {"day -0", "day -2"}},
        {2, QDate(2024, 2, 23), {"day -0", "day -2", "day -5"}},
        {3, QDate(2024, 2, 15), {"day -0", "day -2", "day -5", "day -10"}},
        {4, QDate(2024, 1, 31), {"day -0", "day -2", "day -5", "day -10", "day -20"}},
    };
    for (auto& c : cases) {
        Page->cbbLogsRangeChange(TKSLogsPage::CustomRange); // from the custom range back each time
        Page->cbbLogsRangeChange(c.Index);
        EXPECT_EQ(Page->RangeBox()->currentIndex(), c.Index);
        EXPECT_EQ(Page->BeginDate(), c.Begin) << c.Index;
        EXPECT_EQ(Page->EndDate(), kToday.date()) << c.Index;
        EXPECT_FALSE(Page->BeginPicker()->isEnabled()) << c.Index;
        EXPECT_FALSE(Page->EndPicker()->isEnabled()) << c.Index;
        EXPECT_EQ(Operations(), c.Rows) << c.Index;
    }
    EXPECT_EQ(TKSLogsPage::RangeDaysBack(5), -1);
    EXPECT_EQ(TKSLogsPage::RangeDaysBack(6), -1);
}

TEST_F(TLogsPage, CustomRangeEnablesThePickersAndKeepsTheList) {
    Page->cbbLogsRangeChange(3);
    const QStringList shown = Operations();
    DeleteFolder(History->HistoryFolder()); // a reload now would empty the list
    Page->cbbLogsRangeChange(TKSLogsPage::CustomRange);
    EXPECT_TRUE(Page->BeginPicker()->isEnabled());
    EXPECT_TRUE(Page->EndPicker()->isEnabled());
    EXPECT_EQ(Page->BeginDate(), QDate(2024, 2, 15)); // the dates stay
    EXPECT_EQ(Operations(), shown);
    // A user's choice in the box comes through the box's own signal.
    emit Page->RangeBox()->activated(0);
    EXPECT_FALSE(Page->BeginPicker()->isEnabled());
    EXPECT_TRUE(Operations().isEmpty());
}

TEST_F(TLogsPage, PickersPullABackwardsRangeTogether) {
    // A changed date reloads at once; a backwards range shows nothing until it is pulled together.
    Custom(10, 2);
    EXPECT_EQ(Operations(), (QStringList{"day -2", "day -5", "day -10"}));
    Page->EndPicker()->setDate(kToday.date().addDays(-20));
    EXPECT_TRUE(Operations().isEmpty());
    Page->dtpLogsEndDateCloseUp(); // end := begin
    EXPECT_EQ(Page->EndDate(), kToday.date().addDays(-10));
    EXPECT_EQ(Operations(), (QStringList{"day -10"}));

    Page->BeginPicker()->setDate(kToday.date().addDays(-5));
    EXPECT_TRUE(Operations().isEmpty());
    Page->dtpLogsBeginDateCloseUp(); // begin := end
    EXPECT_EQ(Page->BeginDate(), kToday.date().addDays(-10));
    EXPECT_EQ(Operations(), (QStringList{"day -10"}));

    // Enter does the same and goes no further than the picker.
    int reachedPage = 0;
    struct TCounter : QObject {
        int& N;
        explicit TCounter(int& n) : N(n) {}
        bool eventFilter(QObject*, QEvent* e) override { return N += e->type() == QEvent::KeyPress, false; }
    } counter(reachedPage);
    Page->installEventFilter(&counter);
    Page->BeginPicker()->setDate(kToday.date().addDays(-2));
    Key(Page->BeginPicker(), Qt::Key_Return);
    EXPECT_EQ(Page->BeginDate(), kToday.date().addDays(-10));
    Page->EndPicker()->setDate(kToday.date().addDays(-40));
    Key(Page->EndPicker(), Qt::Key_Enter);
    EXPECT_EQ(Page->EndDate(), kToday.date().addDays(-10));
    EXPECT_EQ(reachedPage, 0);

    // Other keys edit the date, and the list follows.
    Custom(5, 3);
    EXPECT_EQ(Operations(), (QStringList{"day -5"}));
    Page->EndPicker()->setCurrentSection(QDateTimeEdit::DaySection);
    Key(Page->EndPicker(), Qt::Key_Up);
    EXPECT_EQ(Page->EndDate(), kToday.date().addDays(-2));
    EXPECT_EQ(Operations(), (QStringList{"day -2", "day -5"}));
}

TEST_F(TLogsPage, DisabledPickersReactToNothing) {
    Page->cbbLogsRangeChange(0);
    Page->EndPicker()->setDate(kToday.date().addDays(-9)); // a programmatic change while disabled
    EXPECT_FALSE(Page->dtpLogsEndDateKeyPress(Qt::Key_Return));
    Page->dtpLogsEndDateCloseUp();
    EXPECT_EQ(Page->EndDate(), kToday.date().addDays(-9));
    EXPECT_EQ(Page->BeginDate(), kToday.date());
}

TEST_F(TLogsPage, ARecordShowsOnlyWhileTodayIsInRange) {
    Custom(20, 10);
    const QStringList before = Operations();
    History->AddHistoryRecord("now", "3 -> 4, +1.");
    EXPECT_EQ(Operations(), before);
    Page->cbbLogsRangeChange(0);
    EXPECT_EQ(Operations(), (QStringList{"now", "day -0"}));
    History->AddHistoryRecord("again", "4 -> 5, +1.");
    EXPECT_EQ(Operations(), (QStringList{"again", "now", "day -0"}));
}

TEST_F(TLogsPage, DeleteAsksAndNoKeepsEverything) {
    std::vector<std::tuple<QString, QString, unsigned, unsigned>> asked;
    int answer = 7;
    SetMessageBoxHook([&](void*, const QString& text, const QString& caption, unsigned flags, unsigned lang) {
        asked.emplace_back(text, caption, flags, lang);
        return answer;
    });
    Page->SetLanguageId(1031);
    Page->cbbLogsRangeChange(4);
    const QStringList shown = Operations();
    // A click on the link.
    const QPointF inside(2, 2);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, Page->DeleteLink()->mapToGlobal(inside), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Page->DeleteLink(), &release);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0],
              std::make_tuple(QString("Are you sure to delete all history logs?"), QString("Question"), 36u, 1031u));
    EXPECT_EQ(Operations(), shown);
    EXPECT_TRUE(QFileInfo::exists(History->DayFile(kToday.date().addDays(-40))));

    answer = 6;
    Page->lblLogsDeleteClick();
    SetMessageBoxHook({});
    EXPECT_EQ(Rows()->rowCount(), 0);
    EXPECT_FALSE(QFileInfo::exists(History->HistoryFolder()));
}

TEST_F(TLogsPage, LanguageChangeRefillsTheBoxWithoutReloading) {
    Custom(40, 20);
    const QStringList shown = Operations();
    const QDate begin = Page->BeginDate(), end = Page->EndDate();
    Langs.AddText("FormKSMain.cbbLogsRange.Items[0]", "Verlauf von heute.");
    Langs.AddText("FormKSMain.lvLogsItems.Columns.Items[1].Caption", "Vorgang");
    Page->ApplyLanguage(Langs);
    EXPECT_EQ(Page->RangeBox()->count(), 6);
    EXPECT_EQ(Page->RangeBox()->currentIndex(), 5); // the range stays what the list and pickers show
    EXPECT_EQ(Page->RangeBox()->itemText(0), "Verlauf von heute.");
    EXPECT_EQ(Page->List()->model()->headerData(1, Qt::Horizontal), "Vorgang");
    EXPECT_EQ(Page->BeginDate(), begin);
    EXPECT_EQ(Page->EndDate(), end);
    EXPECT_EQ(Operations(), shown);
}

} // namespace
