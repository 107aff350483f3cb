#include "app/KSOptimizeFlow.h"

#include "store/KSRunPrograms.h"

#include <algorithm>

#include "app/IKSOptimizeView.h"
#include "i18n/OrvMultiLangs.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {

// The checklist rows' own texts, for a flow without a page.
const char16_t* const kChecklistKeys[TKSOptimizeFlow::StageCount] = {
    u"FormKSMain.lblOptimizeSmart.Caption",         u"FormKSMain.lblOptimizeAutoFree.Caption",
    u"FormKSMain.lblOptimizeCPUProtection.Caption", u"FormKSMain.lblOptimizeMEMAllocation.Caption",
    u"FormKSMain.lblOptimizeCPUAllocation.Caption", u"FormKSMain.lblOptimizeFreeNow.Caption",
};

} // namespace

TKSOptimizeFlow::TKSOptimizeFlow(TOrvMultiLangs& langs, QObject* owner) : QObject(owner), FLangs(langs) {
    FOptiProc.setInterval(ProcInterval);
    FOptiProc.setTimerType(Qt::PreciseTimer);
    connect(&FOptiProc, &QTimer::timeout, this, &TKSOptimizeFlow::tmrOptiProcTimer);
    FOptiResult.setInterval(ResultInterval);
    connect(&FOptiResult, &QTimer::timeout, this, &TKSOptimizeFlow::tmrOptiResultTimer);
    // One worker: the tuning steps and the runs happen one after another, in the order they were asked for.
    FWorker.setMaxThreadCount(1);
}

TKSOptimizeFlow::~TKSOptimizeFlow() {
    FOptiProc.stop();
    FOptiResult.stop();
    // A run cannot be broken off halfway; its result is dropped with this object.
    FWorker.waitForDone();
}

void TKSOptimizeFlow::SetTuning(std::function<void()> memory, std::function<void()> cpu) {
    FTuneMemory = std::move(memory);
    FTuneCpu = std::move(cpu);
}

QString TKSOptimizeFlow::Text(const char16_t* key) const {
    return FLangs.GetText(QString::fromUtf16(key));
}

// Requests ---------------------------------------------------------------------------------------------------

void TKSOptimizeFlow::OptimizeNow(bool manual, bool showBalloon) {
    Enqueue(TJobKind::Free, manual, showBalloon);
}

uint64_t TKSOptimizeFlow::Enqueue(TJobKind kind, bool manual, bool balloon) {
    // A request equal to one still waiting is answered by that run: repeated presses do not pile up runs
    // that would each free next to nothing.
    for (const TJob& waiting : FQueue)
        if (waiting.Kind == kind && waiting.Manual == manual && waiting.Balloon == balloon) return waiting.Ticket;
    FQueue.push_back({kind, manual, balloon, FNextTicket++});
    const uint64_t ticket = FQueue.back().Ticket;
    Dispatch();
    return ticket;
}

void TKSOptimizeFlow::Dispatch() {
    if (FInFlight || FQueue.empty()) return;
    const TJob job = FQueue.front();
    FQueue.pop_front();
    FInFlight = true;
    FCurrent = job;
    TRunner runner;
    std::function<void()> tune;
    if (job.Kind == TJobKind::Free) {
        FBefore = FMeasure ? FMeasure() : 0;
        FProgress->Done = 0;
        FProgress->Total = 0;
        runner = FRunner;
        ++FRunsStarted;
        emit RunStarted();
    } else {
        tune = job.Kind == TJobKind::TuneMemory ? FTuneMemory : FTuneCpu;
    }
    auto work = [this, job, runner = std::move(runner), tune = std::move(tune), progress = FProgress] {
        TFreeRunReport report;
        try {
            if (runner)
                report = runner([progress](uint32_t done, uint32_t total) {
                    progress->Total.store(total, std::memory_order_relaxed);
                    progress->Done.store(done, std::memory_order_relaxed);
                });
            else if (tune)
                tune();
        } catch (...) {
            // A failing step ends like a run that did nothing: the figures still tell what happened.
        }
        QMetaObject::invokeMethod(
            this, [this, job, report] { JobDone(job, report); }, Qt::QueuedConnection);
    };
    if (FExecutor)
        FExecutor(std::move(work));
    else
        FWorker.start(std::move(work));
}

void TKSOptimizeFlow::JobDone(const TJob& job, const TFreeRunReport& report) {
    FInFlight = false;
    FFinishedTicket = job.Ticket;
    if (job.Kind == TJobKind::Free) FinishOptimize(job, report);
    Dispatch();
}

void TKSOptimizeFlow::FormatFigures(int64_t before, int64_t after, QString& b, QString& a, QString& d) {
    b = FormatSize(uint64_t(std::max<int64_t>(before, 0)), 2);
    a = FormatSize(uint64_t(std::max<int64_t>(after, 0)), 2);
    d = after >= before ? FormatSize(uint64_t(after - before), 2) : u'-' + FormatSize(uint64_t(before - after), 2);
}

QString TKSOptimizeFlow::WithoutPlusBefore(QString text, const QString& d) {
    if (!d.startsWith(u'-')) return text;
    text.replace(u"+ "_qs + d, d);
    text.replace(u'+' + d, d);
    return text;
}

// The status line and the remark of a run, in the current language. A run that freed nothing says so,
// with why; the figures stay true (the history keeps them as measured).
void TKSOptimizeFlow::ComposeResult(const TShownResult& shown, QString& status, QString& note) const {
    if (shown.NoRight) {
        status = Text(u"String.OptimizeProcess.NoRight");
        note = shown.Notice;
        return;
    }
    QString b, a, d;
    FormatFigures(shown.Before, shown.After, b, a, d);
    // Without swap space only cached file pages could leave: the figure is true, and this says why.
    const QString noSwap = shown.NoSwap ? Text(u"String.OptimizeProcess.NoSwap") : QString();
    if (shown.After > shown.Before) {
        status = WithoutPlusBefore(FLangs.FormatText(u"String.OptimizeProcess.Result"_qs, {b, a, d}), d);
        note = noSwap;
    } else {
        status = FLangs.FormatText(u"String.OptimizeProcess.Nothing"_qs, {b, a});
        note = noSwap.isEmpty() ? Text(u"String.OptimizeProcess.NothingWhy") : noSwap;
    }
}

void TKSOptimizeFlow::FinishOptimize(const TJob& job, const TFreeRunReport& report) {
    TKSOptimizeResult r;
    r.Manual = job.Manual;
    r.Balloon = job.Balloon;
    r.Report = report;
    r.Before = FBefore;
    r.After = FMeasure ? FMeasure() : 0;
    FormatFigures(r.Before, r.After, r.B, r.A, r.D);
    const TFormatArgs args{r.B, r.A, r.D};

    // No right to trim here and no freeing service that did it: nothing was freed, and saying a gain
    // happened would be wrong. The short reason in the status line; the details (what could not be
    // reached, what to install), given once per reason, under the track.
    const bool noRight = report.Route == TFreeRunRoute::Unavailable || report.Route == TFreeRunRoute::Refused;
    FShown = {noRight, r.Before, r.After, report.SnapshotTaken && report.NoSwap, noRight ? report.Notice : QString()};
    FStatusKind = TStatusKind::Result;
    ComposeResult(FShown, r.StatusText, r.NoteText);
    SetStatus(r.StatusText);
    if (FView) FView->SetNoteText(r.NoteText);
    // The run's star tells whether it freed anything.
    const bool freed = !noRight && r.After > r.Before;
    if (job.Ticket == FAnimTicket && FDone[FreeStage] && !freed) {
        FDone[FreeStage] = false;
        if (FView) FView->SetChecklistDone(FreeStage, false);
    }
    const bool balloon = job.Balloon && FBalloon && !(!job.Manual && FQuiet && FQuiet());

    if (noRight) {
        if (balloon) {
            r.BalloonText = r.NoteText.isEmpty() ? r.StatusText : r.NoteText;
            FBalloon(Text(u"FormKSMain.TrayIcon.BalloonTitle"), r.BalloonText);
            r.BalloonShown = true;
        }
        emit RunFinished(r);
        return;
    }

    // Only a gain grows: a loss is other programs' doing, not this run's result.
    if (freed && FWindowShown && FWindowShown()) StartResultFigure(u"+ "_qs + r.D);

    // Automatic runs stay silent while a game or a full-screen program has the screen.
    if (balloon) {
        r.BalloonText = freed ? WithoutPlusBefore(FLangs.FormatText(u"FormKSMain.TrayIcon.BalloonHint"_qs, args), r.D)
                              : r.StatusText;
        if (!r.NoteText.isEmpty()) r.BalloonText += u"\n"_qs + r.NoteText;
        FBalloon(Text(u"FormKSMain.TrayIcon.BalloonTitle"), r.BalloonText);
        r.BalloonShown = true;
    }

    r.OperationText = Text(job.Manual ? u"String.LogManually" : u"String.LogAutomatically");
    r.ResultText = WithoutPlusBefore(FLangs.FormatText(u"String.LogResult"_qs, args), r.D);
    if (FHistory) {
        TKSRunPrograms::TList programs;
        for (const auto& p : report.TopPrograms) programs.emplace_back(p.Name, p.Bytes);
        FHistory(r.OperationText, r.ResultText, TKSRunPrograms::Encode(programs));
    }
    emit RunFinished(r);
}

void TKSOptimizeFlow::ApplyLanguage() {
    if (FStatusKind == TStatusKind::Stage) {
        SetStatus(StageText(FStatusStage));
    } else if (FStatusKind == TStatusKind::Result) {
        QString status, note;
        ComposeResult(FShown, status, note);
        SetStatus(status);
        if (FView) FView->SetNoteText(note);
    }
    // Stages 3 and 4 that did nothing keep saying why, in the new language.
    for (int k : {3, 4})
        if (FView && !FDone[k] && FStageSkipped[k])
            FView->SetChecklistSkipped(k, Text(u"String.OptimizeProcess.NotTuned"));
}

// Progress animation -----------------------------------------------------------------------------------------

void TKSOptimizeFlow::SetWidth(int width) {
    FWidth = width;
    if (FView) FView->SetProgressWidth(width);
}

void TKSOptimizeFlow::SetStatus(const QString& text) {
    FStatusText = text;
    if (FView) FView->SetStatusText(text);
}

void TKSOptimizeFlow::ResetChecklist() {
    SetWidth(0);
    for (int k = 0; k < StageCount; ++k) {
        FDone[k] = false;
        FStageSkipped[k] = false;
        if (FView) FView->SetChecklistDone(k, false);
    }
}

void TKSOptimizeFlow::btnOptimizeClick() {
    // Also a restart: from width 0 and stage 0, every stage (the run included) comes again.
    ResetChecklist();
    FAnimTicket = 0;
    if (FView) FView->SetRunning(true);
    FOptiProc.start();
    emit AnimationStarted();
}

void TKSOptimizeFlow::tmrOptiProcTimer() {
    if (FWidth == 0) FAnimationStage = 0;
    if (FAnimationStage <= FreeStage) {
        SetWidth(FWidth + StepPixels);
    } else {
        // After the run has started, the rest of the track follows the run: processes done out of
        // candidates while it goes on, the end only once it has returned.
        constexpr int base = StageStep * FreeStage;
        int limit = TrackWidth;
        if (FFinishedTicket < FAnimTicket) {
            limit = base;
            const uint32_t total = FProgress->Total.load(std::memory_order_relaxed);
            const uint32_t done = std::min(FProgress->Done.load(std::memory_order_relaxed), total);
            if (FInFlight && FCurrent.Ticket == FAnimTicket && total > 0)
                limit = base + int(int64_t(TrackWidth - base) * done / total);
            limit = std::min(limit, TrackWidth - StepPixels);
        }
        if (FWidth < limit) SetWidth(std::min(FWidth + StepPixels, limit));
    }
    for (int k = 0; k < StageCount; ++k)
        if (FAnimationStage == k && FWidth >= StageStep * k) RunStage(k);
    if (FWidth >= TrackWidth) EndAnimation();
}

QString TKSOptimizeFlow::StageText(int k) const {
    QString text = FView ? FView->ChecklistText(k) : Text(kChecklistKeys[k]);
    if (FStageSkipped[k]) text += u' ' + Text(u"String.OptimizeProcess.NotTuned");
    return text;
}

void TKSOptimizeFlow::RunStage(int k) {
    // Where the tuning is only recorded, its stages say that nothing was tuned and keep the pale star.
    FStageSkipped[k] = (k == 3 || k == 4) && !TuningEffective();
    FStatusKind = TStatusKind::Stage;
    FStatusStage = k;
    SetStatus(StageText(k));
    FDone[k] = !FStageSkipped[k];
    if (FView) {
        if (FStageSkipped[k])
            FView->SetChecklistSkipped(k, Text(u"String.OptimizeProcess.NotTuned"));
        else
            FView->SetChecklistDone(k, true);
    }
    if (k == 3) Enqueue(TJobKind::TuneMemory);
    if (k == 4) Enqueue(TJobKind::TuneCpu);
    // The star and text are painted by the event loop while the run goes on in the worker.
    if (k == FreeStage) FAnimTicket = Enqueue(TJobKind::Free, true, false);
    ++FAnimationStage;
}

void TKSOptimizeFlow::EndAnimation() {
    FOptiProc.stop();
    if (FView) FView->SetRunning(false);
    emit AnimationEnded();
}

// Result figure ----------------------------------------------------------------------------------------------

void TKSOptimizeFlow::StartResultFigure(const QString& text) {
    FResultText = text;
    if (FView) FView->SetResultText(text);
    // A cycle already under way goes on with the new text.
    if (!FOptiResult.isActive()) FOptiResult.start();
}

void TKSOptimizeFlow::tmrOptiResultTimer() {
    if (!FResultGrowing) {
        FResultVisible = false;
        FResultHeight = ResultMinHeight;
        if (FView) {
            FView->SetResultVisible(false);
            FView->SetResultFontHeight(FResultHeight);
        }
        FOptiResult.setInterval(ResultInterval);
        FOptiResult.stop();
        FResultGrowing = true;
        return;
    }
    if (FResultHeight == ResultMinHeight) {
        FResultVisible = true;
        if (FView) FView->SetResultVisible(true);
    }
    if (FResultHeight == ResultMaxHeight) {
        FOptiResult.setInterval(ResultHold);
        FResultGrowing = false;
    }
    if (FResultGrowing) {
        ++FResultHeight;
        if (FView) FView->SetResultFontHeight(FResultHeight);
    }
}

} // namespace kestrum
