#pragma once
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "engine/MemoryOptimize.h"

namespace kestrum {

class TOrvMultiLangs;
class IKSOptimizeView;

// What one optimization measured and showed.
struct TKSOptimizeResult {
    bool Manual = true;
    bool Balloon = false;
    bool BalloonShown = false;
    int64_t Before = 0, After = 0; // available physical memory, bytes
    QString B, A, D;               // the three sizes as text; D carries a minus sign for a decrease
    QString StatusText, BalloonText, OperationText, ResultText;
    QString NoteText; // why the gain is small or nothing was freed, when there is a reason to say
    TFreeRunReport Report;
};

// The main window's side of an optimization, without widgets: OptimizeNow (measure, free, measure, report),
// the staged progress animation of the "Optimize" page and the growing result figure.
//
// The freeing run and the tuning steps run off the interface thread, one job at a time in request order;
// what they change on screen (status text, stars, result figure, balloon, history record) happens on the
// interface thread when the job returns. A request made while a run is under way waits its turn; it joins
// an identical request that is still waiting instead of queueing one more run.
class TKSOptimizeFlow : public QObject {
    Q_OBJECT
public:
    using TProgress = std::function<void(uint32_t done, uint32_t total)>;
    using TRunner = std::function<TFreeRunReport(const TProgress& progress)>;
    // Runs `work` off the interface thread.
    using TExecutor = std::function<void(std::function<void()> work)>;

    static constexpr int ProcInterval = 10; // ms per progress tick
    static constexpr int StepPixels = 5;    // progress per tick
    static constexpr int StageStep = 83;    // pixels between two stages
    static constexpr int TrackWidth = 500;  // width of the empty track: the end
    static constexpr int StageCount = 6;
    static constexpr int FreeStage = 5;
    static constexpr int ResultInterval = 30; // ms per step of the growing figure
    static constexpr int ResultHold = 2000;   // ms the full-size figure stays
    static constexpr int ResultMinHeight = 10, ResultMaxHeight = 25;

    explicit TKSOptimizeFlow(TOrvMultiLangs& langs, QObject* owner = nullptr);
    ~TKSOptimizeFlow() override;

    // Wiring (the main window sets all of these; each has a harmless default).
    void SetView(IKSOptimizeView* view) { FView = view; }
    void SetRunner(TRunner runner) { FRunner = std::move(runner); }
    void SetTuning(std::function<void()> memory, std::function<void()> cpu);
    // Whether the tuning steps change anything on this system (where they are only recorded, stages 3 and
    // 4 say so instead of claiming a tune-up).
    void SetTuningEffective(std::function<bool()> effective) { FTuningEffective = std::move(effective); }
    // RefreshMemory, then PhysicalAvailable, of the sampler (interface thread).
    void SetMeasure(std::function<int64_t()> measure) { FMeasure = std::move(measure); }
    // Replaces the worker thread (tests run the jobs themselves).
    void SetExecutor(TExecutor executor) { FExecutor = std::move(executor); }
    // The main window is visible and not minimized.
    void SetWindowShown(std::function<bool()> shown) { FWindowShown = std::move(shown); }
    // Do-not-disturb is active: automatic balloons are left out.
    void SetQuiet(std::function<bool()> quiet) { FQuiet = std::move(quiet); }
    void SetBalloon(std::function<void(const QString& title, const QString& text)> show) { FBalloon = std::move(show); }
    // `programs`: the run's programs that gave the most, encoded for the record (TKSRunPrograms).
    void SetHistory(std::function<void(const QString& operation, const QString& result, const QString& programs)> add) {
        FHistory = std::move(add);
    }

    // The one way to free memory: queues a run and returns at once; the result follows when it has run.
    void OptimizeNow(bool manual, bool showBalloon);
    // "Free Now" on the page: starts the animation, or starts it again from the beginning.
    void btnOptimizeClick();
    // Progress track empty, every star pending.
    void ResetChecklist();
    // The status line and the remark again in the current language (the page has just re-texted itself).
    void ApplyLanguage();

    // The timers' handlers (public so tests can tick them by hand).
    void tmrOptiProcTimer();
    void tmrOptiResultTimer();
    QTimer& tmrOptiProc() { return FOptiProc; }
    QTimer& tmrOptiResult() { return FOptiResult; }

    bool Animating() const { return FOptiProc.isActive(); }
    int AnimationStage() const { return FAnimationStage; }
    int ProgressWidth() const { return FWidth; }
    bool ChecklistDone(int k) const { return k >= 0 && k < StageCount && FDone[k]; }
    QString StatusText() const { return FStatusText; }
    bool ResultGrowing() const { return FResultGrowing; }
    bool ResultVisible() const { return FResultVisible; }
    int ResultFontHeight() const { return FResultHeight; }
    QString ResultText() const { return FResultText; }
    // Whether the run under way was asked for by the user (the runner reads it while its job runs).
    bool RunningManual() const { return FCurrent.Manual; }
    // A job runs or waits.
    bool Busy() const { return FInFlight || !FQueue.empty(); }
    int RunsStarted() const { return FRunsStarted; }

    // The three size texts of a measured change: a decrease keeps its minus sign.
    static void FormatFigures(int64_t before, int64_t after, QString& b, QString& a, QString& d);
    // `text` with a plus sign written right before the change taken out when the change is a decrease.
    static QString WithoutPlusBefore(QString text, const QString& d);

signals:
    void AnimationStarted();
    void AnimationEnded();
    void RunStarted();
    void RunFinished(const kestrum::TKSOptimizeResult& result);

private:
    enum class TJobKind { TuneMemory, TuneCpu, Free };
    struct TJob {
        TJobKind Kind;
        bool Manual = true, Balloon = false;
        uint64_t Ticket = 0;
    };
    struct TProgressState {
        std::atomic<uint32_t> Done{0}, Total{0};
    };

    uint64_t Enqueue(TJobKind kind, bool manual = true, bool balloon = false);
    void Dispatch();
    void JobDone(const TJob& job, const TFreeRunReport& report);
    void FinishOptimize(const TJob& job, const TFreeRunReport& report);
    void RunStage(int k);
    void EndAnimation();
    void SetWidth(int width);
    void SetStatus(const QString& text);
    void StartResultFigure(const QString& text);
    QString Text(const char16_t* key) const;
    // What the last run showed, kept so a language change can say it again.
    struct TShownResult {
        bool NoRight = false;
        int64_t Before = 0, After = 0;
        bool NoSwap = false;
        QString Notice;
    };
    void ComposeResult(const TShownResult& shown, QString& status, QString& note) const;
    QString StageText(int k) const;
    bool TuningEffective() const { return !FTuningEffective || FTuningEffective(); }

    TOrvMultiLangs& FLangs;
    IKSOptimizeView* FView = nullptr;
    TRunner FRunner;
    std::function<void()> FTuneMemory, FTuneCpu;
    std::function<bool()> FTuningEffective;
    std::function<int64_t()> FMeasure;
    TExecutor FExecutor;
    std::function<bool()> FWindowShown, FQuiet;
    std::function<void(const QString&, const QString&)> FBalloon;
    std::function<void(const QString&, const QString&, const QString&)> FHistory;

    QTimer FOptiProc, FOptiResult;
    int FAnimationStage = 0;
    int FWidth = 0;
    bool FDone[StageCount] = {};
    bool FStageSkipped[StageCount] = {}; // ran, but had nothing to do on this system
    QString FStatusText;
    // What the status line shows: the page's own text, a stage's text or a run's result.
    enum class TStatusKind { Page, Stage, Result } FStatusKind = TStatusKind::Page;
    int FStatusStage = 0;
    TShownResult FShown;
    bool FResultGrowing = true;
    bool FResultVisible = false;
    int FResultHeight = ResultMinHeight;
    QString FResultText;

    std::deque<TJob> FQueue;
    bool FInFlight = false;
    TJob FCurrent{TJobKind::Free};
    uint64_t FNextTicket = 1;
    uint64_t FFinishedTicket = 0; // jobs run in ticket order: every ticket up to this one has returned
    uint64_t FAnimTicket = 0;     // the run the animation waits for (0: stage 5 not reached yet)
    int64_t FBefore = 0;
    int FRunsStarted = 0;
    std::shared_ptr<TProgressState> FProgress = std::make_shared<TProgressState>();
    QThreadPool FWorker;
};

} // namespace kestrum
