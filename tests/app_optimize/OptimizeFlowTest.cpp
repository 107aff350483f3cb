#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "app/IKSOptimizeView.h"
#include "app/KSOptimizeFlow.h"
#include "common/QtApp.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "support/KSUtils.h"

using namespace kestrum;

namespace {

constexpr int64_t MiB = int64_t(1) << 20, GiB = int64_t(1) << 30;

struct TFakeView final : IKSOptimizeView {
    int Width = -1;
    bool Done[6] = {};
    QStringList Status; // every text the status line got, in order
    bool Running = false;
    QString ResultText;
    bool ResultVisible = false;
    int ResultHeight = 10;
    void SetProgressWidth(int width) override { Width = width; }
    void SetChecklistDone(int k, bool done) override { Done[k] = done, Skipped[k].clear(); }
    QString Skipped[6];
    void SetChecklistSkipped(int k, const QString& why) override { Done[k] = false, Skipped[k] = why; }
    QString ChecklistText(int k) const override { return u"row %1"_qs.arg(k); }
    void SetStatusText(const QString& text) override { Status << text; }
    void SetRunning(bool running) override { Running = running; }
    void SetResultText(const QString& text) override { ResultText = text; }
    void SetResultVisible(bool visible) override { ResultVisible = visible; }
    void SetResultFontHeight(int height) override { ResultHeight = height; }
    QString Note;
    void SetNoteText(const QString& text) override { Note = text; }
};

struct TRecord {
    QString Operation, Result;
};

// The flow with fakes: jobs wait in a list until the test runs them; the engine's run and the tuning steps
// write what they did into a log.
struct FlowTest : ::testing::Test {
    TOrvMultiLangs Langs;
    TFakeView View;
    std::unique_ptr<TKSOptimizeFlow> Flow;
    std::deque<std::function<void()>> Jobs;
    QStringList Log;             // "tune-mem", "tune-cpu", "run"
    std::deque<int64_t> Figures; // what successive measurements return
    int64_t LastFigure = 0;
    bool Shown = true, Quiet = false;
    std::vector<std::pair<QString, QString>> Balloons;
    std::vector<TRecord> Records;

    void SetUp() override {
        test::EnsureQtApp();
        Langs.SetOnMakeDefault([](TOrvMultiLangs* l) { MultiLangsMakeDefault(l); });
        Flow = std::make_unique<TKSOptimizeFlow>(Langs);
        Flow->SetView(&View);
        Flow->SetExecutor([this](std::function<void()> work) { Jobs.push_back(std::move(work)); });
        Flow->SetRunner([this](const TKSOptimizeFlow::TProgress&) {
            Log << u"run"_qs;
            TFreeRunReport r;
            r.Trimmed = 3;
            return r;
        });
        Flow->SetTuning([this] { Log << u"tune-mem"_qs; }, [this] { Log << u"tune-cpu"_qs; });
        Flow->SetMeasure([this] {
            if (!Figures.empty()) LastFigure = Figures.front(), Figures.pop_front();
            return LastFigure;
        });
        Flow->SetWindowShown([this] { return Shown; });
        Flow->SetQuiet([this] { return Quiet; });
        Flow->SetBalloon([this](const QString& t, const QString& x) { Balloons.emplace_back(t, x); });
        Flow->SetHistory([this](const QString& op, const QString& res, const QString&) {
            Records.push_back({op, res});
        });
    }

    // Runs every waiting job, and the jobs they lead to, delivering each result as the event loop does.
    void RunJobs() {
        while (!Jobs.empty()) {
            auto job = std::move(Jobs.front());
            Jobs.pop_front();
            job();
            QCoreApplication::processEvents();
        }
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i) Flow->tmrOptiProcTimer();
    }
};

} // namespace

TEST_F(FlowTest, AnimationRunsTheStagesInOrderAndFreesOnceAtStageFive) {
    int ended = 0;
    QObject::connect(Flow.get(), &TKSOptimizeFlow::AnimationEnded, [&] { ++ended; });
    Figures = {1 * GiB, 1 * GiB + 300 * MiB};
    Flow->btnOptimizeClick();
    EXPECT_TRUE(View.Running);
    EXPECT_TRUE(Flow->Animating());
    QList<int> stageWidths;
    int stage = 0;
    for (int i = 0; i < 83; ++i) {
        Flow->tmrOptiProcTimer();
        if (Flow->AnimationStage() != stage) stageWidths << View.Width, stage = Flow->AnimationStage();
    }
    EXPECT_EQ(stageWidths, (QList<int>{5, 85, 170, 250, 335, 415}));
    EXPECT_EQ(View.Status, (QStringList{"row 0", "row 1", "row 2", "row 3", "row 4", "row 5"}));
    for (bool d : View.Done) EXPECT_TRUE(d);
    EXPECT_EQ(Jobs.size(), 1u); // the tuning steps run one after another on the worker, then the run

    // Ticks while the run goes on: stage 5 never comes again, and the track does not claim the end.
    Ticks(200);
    EXPECT_EQ(Flow->AnimationStage(), 6);
    EXPECT_LT(View.Width, 500);
    EXPECT_TRUE(Flow->Animating());
    RunJobs();
    EXPECT_EQ(Log, (QStringList{"tune-mem", "tune-cpu", "run"}));
    EXPECT_EQ(Flow->RunsStarted(), 1);
    EXPECT_TRUE(
        View.Status.last().startsWith(u"Latest optimization report: available memory: 1,024.00 MB -> "
                                      u"1,324.00 MB, increased: 300.00 MB."_qs))
        << View.Status.last().toStdString();
    Ticks(17);
    EXPECT_EQ(View.Width, 500);
    EXPECT_FALSE(Flow->Animating());
    EXPECT_FALSE(View.Running);
    EXPECT_EQ(ended, 1);
    ASSERT_EQ(Records.size(), 1u);
    EXPECT_EQ(Records[0].Operation, u"Memory was optimized manually."_qs);
    EXPECT_EQ(Records[0].Result, u"1,024.00 MB -> 1,324.00 MB, +300.00 MB."_qs);
    EXPECT_TRUE(Balloons.empty()); // the animated path shows no balloon
}

TEST_F(FlowTest, TrackFollowsTheRunsProgressAndEndsOnlyWhenItReturns) {
    std::mutex m;
    std::condition_variable cv;
    bool release = false, halfway = false;
    Flow->SetRunner([&](const TKSOptimizeFlow::TProgress& progress) {
        progress(50, 100);
        std::unique_lock lock(m);
        halfway = true;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        progress(100, 100);
        return TFreeRunReport{};
    });
    std::thread worker;
    Flow->SetExecutor([&](std::function<void()> work) {
        if (worker.joinable()) worker.join();
        worker = std::thread(std::move(work));
    });
    Flow->btnOptimizeClick();
    Ticks(83);
    // The tuning steps' results come back through the event loop, then the run starts.
    for (;;) {
        QCoreApplication::processEvents();
        std::unique_lock lock(m);
        if (cv.wait_for(lock, std::chrono::milliseconds(10), [&] { return halfway; })) break;
    }
    Ticks(100);
    EXPECT_EQ(View.Width, 415 + 42); // half of the last 85 pixels
    EXPECT_TRUE(Flow->Animating());
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    worker.join();
    QCoreApplication::processEvents(); // the run's result arrives
    Ticks(9);
    EXPECT_EQ(View.Width, 500);
    EXPECT_FALSE(Flow->Animating());
}

TEST_F(FlowTest, RestartMidAnimationRunsEveryStageAgain) {
    Flow->btnOptimizeClick();
    Ticks(60); // past stage 3
    EXPECT_EQ(Flow->AnimationStage(), 4);
    Flow->btnOptimizeClick();
    EXPECT_EQ(View.Width, 0);
    for (bool d : View.Done) EXPECT_FALSE(d);
    Flow->tmrOptiProcTimer();
    EXPECT_EQ(Flow->AnimationStage(), 1);
    Ticks(82);
    RunJobs();
    Ticks(17);
    EXPECT_FALSE(Flow->Animating());
    EXPECT_EQ(Log, (QStringList{"tune-mem", "tune-mem", "tune-cpu", "run"}));

    // A restart while the run goes on: the restarted animation asks for a run of its own.
    Flow->btnOptimizeClick();
    Ticks(83);
    ASSERT_EQ(Jobs.size(), 1u); // the first tuning step; the rest wait behind it
    Jobs.front()();
    Jobs.pop_front();
    QCoreApplication::processEvents();
    Jobs.front()(); // tune-cpu
    Jobs.pop_front();
    QCoreApplication::processEvents();
    ASSERT_EQ(Jobs.size(), 1u); // the run is now in the worker
    Flow->btnOptimizeClick();
    Ticks(83);
    RunJobs();
    Ticks(17);
    EXPECT_FALSE(Flow->Animating());
    EXPECT_EQ(Flow->RunsStarted(), 3);
    EXPECT_EQ(Records.size(), 3u);
}

TEST_F(FlowTest, DirectRequestsCarryTheirWordingAndBalloon) {
    struct {
        bool manual, balloon, quiet;
        const char16_t* operation;
        bool balloonShown;
    } cases[] = {
        {true, true, false, u"Memory was optimized manually.", true},                     // tray menu, hotkey
        {false, true, false, u"Memory was optimized automatically in background.", true}, // policy
        {false, true, true, u"Memory was optimized automatically in background.", false}, // do-not-disturb
        {true, true, true, u"Memory was optimized manually.", true},                      // asked for: shown
        {true, false, false, u"Memory was optimized manually.", false},
    };
    for (auto& c : cases) {
        Records.clear();
        Balloons.clear();
        Quiet = c.quiet;
        Figures = {2 * GiB, 2 * GiB + 10 * MiB};
        Flow->OptimizeNow(c.manual, c.balloon);
        RunJobs();
        ASSERT_EQ(Records.size(), 1u);
        EXPECT_EQ(Records[0].Operation, QString::fromUtf16(c.operation));
        ASSERT_EQ(Balloons.size(), c.balloonShown ? 1u : 0u) << c.manual << c.balloon << c.quiet;
        if (c.balloonShown) {
            EXPECT_EQ(Balloons[0].first, u"Kestrum"_qs);
            EXPECT_EQ(Balloons[0].second,
                      u"Before optimizing: 2,048.00 MB\n\rAfter optimizing: 2,058.00 MB\n\r"
                      u"Increased: 10.00 MB"_qs);
        }
    }
    EXPECT_FALSE(Flow->Animating()); // direct runs never animate
    EXPECT_EQ(Log, (QStringList{"run", "run", "run", "run", "run"}));
}

TEST_F(FlowTest, HiddenWindowGetsNoResultFigureButTheStatusLine) {
    Shown = false;
    Figures = {GiB, 2 * GiB};
    Flow->OptimizeNow(true, true);
    RunJobs();
    EXPECT_FALSE(Flow->tmrOptiResult().isActive());
    EXPECT_TRUE(View.ResultText.isEmpty());
    EXPECT_TRUE(View.Status.last().contains(u"increased: 1,024.00 MB"_qs));
    EXPECT_EQ(Balloons.size(), 1u);
}

TEST_F(FlowTest, FiguresAbove4GiBAndDecreases) {
    Figures = {5 * GiB, 6 * GiB + 512 * MiB};
    Flow->OptimizeNow(true, false);
    RunJobs();
    EXPECT_EQ(Records.back().Result, u"5,120.00 MB -> 6,656.00 MB, +1,536.00 MB."_qs);
    EXPECT_EQ(View.ResultText, u"+ 1,536.00 MB"_qs);

    // Less available after the run than before: the history keeps the decrease, never with a plus sign.
    Figures = {2 * GiB, 2 * GiB - 40 * MiB};
    Flow->OptimizeNow(true, true);
    RunJobs();
    EXPECT_EQ(Records.back().Result, u"2,048.00 MB -> 2,008.00 MB, -40.00 MB."_qs);
}

// A run that gains nothing (or loses what other programs took meanwhile) says so plainly and why, grows no
// figure and leaves its star pale; the history keeps the measured numbers.
TEST_F(FlowTest, ARunThatFreesNothingSaysSoAndGrowsNoFigure) {
    struct {
        const char* Name;
        int64_t Before, After;
        bool NoSwap;
        const char16_t* NoteStart;
        const char16_t* Record;
    } cases[] = {
        {"no swap, no change", 2 * GiB, 2 * GiB, true, u"Only cached file pages", u"2,048.00 MB -> 2,048.00 MB, +"},
        {"swap, others took more", 2 * GiB, 2 * GiB - 40 * MiB, false, u"The programs' idle memory",
         u"2,048.00 MB -> 2,008.00 MB, -40.00 MB."},
    };
    for (const auto& c : cases) {
        Records.clear();
        Balloons.clear();
        Flow->SetRunner([&](const TKSOptimizeFlow::TProgress&) {
            TFreeRunReport r;
            r.SnapshotTaken = true;
            r.NoSwap = c.NoSwap;
            return r;
        });
        Figures = {c.Before, c.After};
        Flow->btnOptimizeClick();
        Ticks(83);
        RunJobs();
        Ticks(20);
        const QString status = View.Status.last();
        EXPECT_TRUE(status.startsWith(u"Latest optimization report: nothing could be freed (available memory: "_qs))
            << c.Name << ": " << status.toStdString();
        EXPECT_FALSE(status.contains(u"increased"_qs)) << c.Name;
        EXPECT_TRUE(View.Note.startsWith(QString::fromUtf16(c.NoteStart))) << c.Name << ": " << View.Note.toStdString();
        EXPECT_FALSE(Flow->tmrOptiResult().isActive()) << c.Name;
        EXPECT_FALSE(View.Done[5]) << c.Name; // the run's star stays pale
        EXPECT_TRUE(View.Done[4]) << c.Name;
        ASSERT_EQ(Records.size(), 1u) << c.Name;
        EXPECT_TRUE(Records[0].Result.startsWith(QString::fromUtf16(c.Record))) << c.Name; // the true numbers
        Figures = {c.Before, c.After};
        Flow->OptimizeNow(true, true);
        RunJobs();
        ASSERT_EQ(Balloons.size(), 1u) << c.Name;
        EXPECT_EQ(Balloons[0].second, View.Status.last() + u'\n' + View.Note) << c.Name;
    }
    EXPECT_TRUE(View.ResultText.isEmpty());
}

// Where the tuning is only recorded, stages 3 and 4 still run but say that nothing was tuned, with the
// pale star; a language change says it again in the new language, and the finished run's status line and
// remark follow too.
TEST_F(FlowTest, TuningThatChangesNothingIsSaidAndALanguageChangeKeepsTheResult) {
    Flow->SetTuningEffective([] { return false; });
    Flow->SetRunner([](const TKSOptimizeFlow::TProgress&) {
        TFreeRunReport r;
        r.SnapshotTaken = true;
        r.NoSwap = true;
        return r;
    });
    Figures = {GiB, GiB + 10 * MiB};
    Flow->btnOptimizeClick();
    Ticks(83);
    const QString notTuned = Langs.GetText(u"String.OptimizeProcess.NotTuned"_qs);
    EXPECT_EQ(View.Status[3], u"row 3 "_qs + notTuned);
    EXPECT_EQ(View.Status[4], u"row 4 "_qs + notTuned);
    EXPECT_EQ(View.Skipped[3], notTuned);
    EXPECT_FALSE(View.Done[3]);
    EXPECT_FALSE(View.Done[4]);
    EXPECT_TRUE(View.Done[2]);
    RunJobs();
    Ticks(20);
    EXPECT_EQ(Log, (QStringList{"tune-mem", "tune-cpu"})); // still recorded, as on every system
    ASSERT_EQ(Records.size(), 1u);
    EXPECT_TRUE(View.Done[5]);
    EXPECT_TRUE(View.Status.last().endsWith(u"increased: 10.00 MB."_qs));

    QTemporaryDir dir; // loading a pack marks it: a copy, never the shipped one
    const QString pack = dir.filePath(u"Kestrum.ini"_qs);
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRUM_SOURCE_DIR "/Langs/1031/Kestrum.ini"), pack));
    Langs.LoadFromFile(pack);
    Flow->ApplyLanguage();
    EXPECT_TRUE(View.Status.last().startsWith(u"Letzte Optimierung"_qs)) << View.Status.last().toStdString();
    EXPECT_TRUE(View.Status.last().endsWith(u"gewonnen: 10.00 MB."_qs)) << View.Status.last().toStdString();
    EXPECT_TRUE(View.Note.startsWith(u"Nur zwischengespeicherte"_qs)) << View.Note.toStdString();
    EXPECT_TRUE(View.Skipped[3].startsWith(u"Hier gibt es nichts"_qs));
    // The next click starts over: every star pending, nothing marked as skipped.
    Flow->btnOptimizeClick();
    EXPECT_TRUE(View.Skipped[3].isEmpty());
}

TEST_F(FlowTest, PatternThatDoesNotFitGivesAnEmptyResultButTheRecordIsWritten) {
    Langs.AddText(u"String.LogResult"_qs, u"%d -> %s"_qs);
    Figures = {GiB, GiB};
    Flow->OptimizeNow(false, true);
    RunJobs();
    ASSERT_EQ(Records.size(), 1u);
    EXPECT_TRUE(Records[0].Result.isEmpty());
    EXPECT_FALSE(Records[0].Operation.isEmpty());
}

TEST_F(FlowTest, RequestsDuringARunWaitTheirTurnAndEqualOnesJoin) {
    Flow->OptimizeNow(true, true);  // runs (in the worker)
    Flow->OptimizeNow(true, true);  // waits
    Flow->OptimizeNow(true, true);  // joins the waiting one
    Flow->OptimizeNow(false, true); // a different request waits on its own
    EXPECT_TRUE(Flow->Busy());
    EXPECT_EQ(Jobs.size(), 1u); // never two runs at once
    RunJobs();
    EXPECT_EQ(Log, (QStringList{"run", "run", "run"}));
    ASSERT_EQ(Records.size(), 3u);
    EXPECT_EQ(Records[2].Operation, u"Memory was optimized automatically in background."_qs);
    EXPECT_FALSE(Flow->Busy());
}

TEST_F(FlowTest, ResultFigureGrowsHoldsAndHides) {
    Figures = {GiB, 2 * GiB};
    Flow->OptimizeNow(true, false);
    RunJobs();
    ASSERT_TRUE(Flow->tmrOptiResult().isActive());
    EXPECT_EQ(View.ResultText, u"+ 1,024.00 MB"_qs);
    Flow->tmrOptiResultTimer();
    EXPECT_TRUE(View.ResultVisible);
    EXPECT_EQ(View.ResultHeight, 11);
    for (int i = 0; i < 14; ++i) Flow->tmrOptiResultTimer();
    EXPECT_EQ(View.ResultHeight, 25);
    EXPECT_EQ(Flow->tmrOptiResult().interval(), 30);
    Flow->tmrOptiResultTimer(); // full size: the hold starts
    EXPECT_EQ(Flow->tmrOptiResult().interval(), 2000);
    EXPECT_FALSE(Flow->ResultGrowing());

    // Another result during the hold only changes the text.
    Figures = {GiB, GiB + 1 * MiB};
    Flow->OptimizeNow(true, false);
    RunJobs();
    EXPECT_EQ(View.ResultText, u"+ 1.00 MB"_qs);
    EXPECT_EQ(Flow->tmrOptiResult().interval(), 2000);

    Flow->tmrOptiResultTimer(); // the hold ends
    EXPECT_FALSE(View.ResultVisible);
    EXPECT_EQ(View.ResultHeight, 10);
    EXPECT_FALSE(Flow->tmrOptiResult().isActive());
    EXPECT_EQ(Flow->tmrOptiResult().interval(), 30);
    EXPECT_TRUE(Flow->ResultGrowing());
}

TEST_F(FlowTest, WithoutSwapTheTrueFigureIsKeptAndTheReasonSaid) {
    Flow->SetRunner([](const TKSOptimizeFlow::TProgress&) {
        TFreeRunReport r;
        r.SnapshotTaken = true;
        r.NoSwap = true;
        return r;
    });
    Figures = {2 * GiB, 2 * GiB};
    Flow->OptimizeNow(true, true);
    RunJobs();
    EXPECT_TRUE(View.Note.startsWith(u"Only cached file pages could leave memory"_qs)) << View.Note.toStdString();
    ASSERT_EQ(Records.size(), 1u);
    EXPECT_TRUE(Records[0].Result.startsWith(u"2,048.00 MB -> 2,048.00 MB, +"_qs)) << Records[0].Result.toStdString();
    ASSERT_EQ(Balloons.size(), 1u);
    EXPECT_TRUE(Balloons[0].second.endsWith(View.Note));

    // A run with swap that frees memory clears the remark.
    Flow->SetRunner([](const TKSOptimizeFlow::TProgress&) { return TFreeRunReport{}; });
    Figures = {2 * GiB, 3 * GiB};
    Flow->OptimizeNow(true, false);
    RunJobs();
    EXPECT_TRUE(View.Note.isEmpty());
}

TEST_F(FlowTest, ARunNobodyMayDoIsNoSuccess) {
    struct {
        TFreeRunRoute Route;
        QString Notice;
    } cases[] = {{TFreeRunRoute::Unavailable, u"no right here; install the package"_qs},
                 {TFreeRunRoute::Refused, QString()}}; // the reason was given once already
    for (const auto& c : cases) {
        Records.clear();
        Balloons.clear();
        Flow->SetRunner([&](const TKSOptimizeFlow::TProgress&) {
            TFreeRunReport r;
            r.Route = c.Route;
            r.Notice = c.Notice;
            return r;
        });
        Figures = {GiB, GiB + 5 * MiB}; // others' memory moved meanwhile: not our gain
        Flow->OptimizeNow(true, true);
        RunJobs();
        const QString noRight = Langs.GetText(u"String.OptimizeProcess.NoRight"_qs);
        EXPECT_EQ(View.Status.last(), noRight);
        EXPECT_EQ(View.Note, c.Notice); // the details under the track, when there are new ones
        EXPECT_TRUE(Records.empty());
        ASSERT_EQ(Balloons.size(), 1u);
        EXPECT_EQ(Balloons[0].second, c.Notice.isEmpty() ? noRight : c.Notice);
        EXPECT_FALSE(View.ResultVisible);
    }
}
