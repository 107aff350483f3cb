// The main window's commands: the optimization entry points with the automatic policy, the dialogs, help,
// the home page and the updater.
#include "app/frmKSMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>

#include "app/KSArt.h"
#include "app/KSBalloon.h"
#include "app/KSCmdLine.h"
#include "app/KSLatencyProbe.h"
#include "app/KSOptimizeFlow.h"
#include "app/KSPressureMonitor.h"
#include "app/KSPressureNotice.h"
#include "app/KSRunCostWatch.h"
#include "app/frmKSAbout.h"
#include "app/frmKSSettings.h"
#include "app/pages/KSGainsChart.h"
#include "app/pages/KSLogsPage.h"
#include "app/pages/KSOptimizePage.h"
#include "app/pages/KSOverviewPage.h"
#include "desktop/HotKeyText.h"
#include "desktop/LanguageBroadcast.h"
#include "desktop/OrvAntiDisturb.h"
#include "desktop/OrvHotKeyManager.h"
#include "desktop/X11Connection.h"
#include "desktop/X11LanguageBroadcast.h"
#include "engine/FreeRun.h"
#include "engine/KSOptiMonPolicy.h"
#include "engine/KSSharedSample.h"
#include "engine/KSSystemOpti.h"
#include "engine/MemoryOptimize.h"
#include "engine/SystemStatus.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/Platform.h"
#include "skin/OrvColor.h"
#include "skin/OrvImage.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvSkinManager.h"
#include "skin/OrvTabControl.h"
#include "store/KSAutoStart.h"
#include "store/KSLogMgr.h"
#include "store/KSPressureSettings.h"
#include "store/KSSettings.h"
#include "support/IniFile.h"
#include "support/KSUtils.h"

namespace kestrum {

// A direct optimization with a tray balloon.
void TFormKSMain::mniTrayIconOptimizeClick() {
    OptimizeNow(true, true);
}

void TFormKSMain::OptimizeNow(bool manual, bool showBalloon) {
    FOptimizeFlow->OptimizeNow(manual, showBalloon);
}

void TFormKSMain::tmrOptiMonTimer() {
    // Runs wait while do-not-disturb is active (trimming a game while it plays makes it stutter) and while
    // a run is under way.
    const bool held = (FAntiDisturb->Enabled() && FAntiDisturb->State()) || FOptimizeFlow->Busy();
    // The pressure rule only where the policy's own rule did not already start a run.
    if (FOptiMon->Tick(FSettings.SleepValue, FSettings.SleepEnabled, held) == TOptiMonResult::Run ||
        FPressureMonitor->PolicyTick(FSettings.SleepValue, FSettings.SleepEnabled, held)) {
        FPressureMonitor->AutomaticRunStarted();
        OptimizeNow(false, true);
    }
}

// The optimization flow, its five entry points and the automatic policy.
void TFormKSMain::BuildOptimizeFlow() {
    FOptimizeFlow = new TKSOptimizeFlow(*FMultiLangs, this);
    FOptimizeFlow->SetView(FOptimizePage);
    // What each run cost, measured in the minute after it.
    FRunCostWatch = new TKSRunCostWatch(*FPlatform.Processes, *FPlatform.SystemInfo, *FPlatform.Clock,
                                        GetAppDir() + u"Logs/Kestrum/"_qs, this);
    // Off the interface thread: the engine's run is safe there. Automatic runs spare the programs whose
    // memory came straight back after an earlier run.
    FOptimizeFlow->SetRunner(
        [flow = FOptimizeFlow, watch = FRunCostWatch, core = FKSCore](const TKSOptimizeFlow::TProgress& progress) {
            return core->FreeMemory(progress, flow->RunningManual() ? QStringList() : watch->BackedOff());
        });
    FOptimizeFlow->SetTuning(
        [this] {
            TuneMemoryAllocation(
                {*FPlatform.Registry, *FPlatform.SystemParameters, *FPlatform.Services, *FPlatform.Clock});
        },
        [this] {
            TuneCpuAllocation(
                {*FPlatform.Registry, *FPlatform.SystemParameters, *FPlatform.Services, *FPlatform.Clock});
        });
    FOptimizeFlow->SetTuningEffective([this] { return FPlatform.SystemParameters->TakesEffect(); });
    FOptimizeFlow->SetMeasure([this] {
        FSysStatus->RefreshMemory(); // a failed refresh leaves the previous figure
        return FSysStatus->PhysicalAvailable();
    });
    FOptimizeFlow->SetWindowShown([this] { return isVisible() && !isMinimized(); });
    FOptimizeFlow->SetQuiet([this] { return FAntiDisturb->Enabled() && FAntiDisturb->State(); });
    FBalloon = new TKSBalloon(FTrayIcon, this);
    FOptimizeFlow->SetBalloon([this](const QString& title, const QString& text) { FBalloon->Show(title, text); });
    FOptimizeFlow->SetHistory([this](const QString& operation, const QString& result, const QString& programs) {
        // A full disk or a locked file costs the record, never the program.
        if (FHistory && !FHistory->AddHistoryRecord(operation, result, programs)) Trace(u"history not written"_qs);
    });
    connect(FOptimizeFlow, &TKSOptimizeFlow::RunStarted, FRunCostWatch, &TKSRunCostWatch::RunStarting);
    connect(FOptimizeFlow, &TKSOptimizeFlow::RunFinished, FRunCostWatch,
            [watch = FRunCostWatch](const TKSOptimizeResult& r) { watch->RunFinished(r.Manual, r.Before, r.After); });
    // The logs page's chart follows each run's line and, a minute later, its cost.
    auto reloadGains = [this] { FLogsPage->GainsChart()->Load(FLogsPage->BeginDate(), FLogsPage->EndDate()); };
    connect(FOptimizeFlow, &TKSOptimizeFlow::RunFinished, this, reloadGains);
    connect(FRunCostWatch, &TKSRunCostWatch::CostMeasured, this, reloadGains);
    // While the window can be seen, one processor stays free of trimming for it and the desktop.
    connect(FOptimizeFlow, &TKSOptimizeFlow::RunStarted, this, [this] {
        const bool seen = isVisible() && !isMinimized();
        FKSCore->SetMaxThreads(seen ? std::max(1u, TFreeRun::ProcessorCount() - 1) : 0);
    });
    connect(FOptimizeFlow, &TKSOptimizeFlow::RunFinished, this, [this](const TKSOptimizeResult& r) {
        Trace(u"optimized %1: %2"_qs.arg(r.Manual ? u"manually"_qs : u"automatically"_qs, r.StatusText));
    });

    // Entry points: the page's "Free Now" and the Usage page's, which waits for the animation's end.
    connect(FOptimizePage, &TKSOptimizePage::OptimizeClicked, FOptimizeFlow, &TKSOptimizeFlow::btnOptimizeClick);
    connect(FOverviewPage, &TKSOverviewPage::OptimizeClicked, this, [this] {
        FOverviewPage->SetOptimizeButtonEnabled(false);
        SelectTab(1);
        FOptimizeFlow->btnOptimizeClick();
    });
    connect(FOptimizeFlow, &TKSOptimizeFlow::AnimationEnded, this,
            [this] { FOverviewPage->SetOptimizeButtonEnabled(true); });

    // Memory pressure: the early warning (its "Free Now" is a manual run) and the pressure rule.
    FPressureMonitor = new TKSPressureMonitor(*FSysStatus, *FPlatform.Clock, *FPlatform.Processes, this);
    FPressureMonitor->SetSettings(LoadPressureSettings(ConfigPath()));
    FPressureNotice = new TKSPressureNotice(FTrayIcon, this);
    connect(FPressureMonitor, &TKSPressureMonitor::WarningDue, this,
            [this](const QString& title, const QString& text, const QString& action) {
                // Do-not-disturb keeps it quiet like every other message while a game or full screen runs.
                if (!(FAntiDisturb->Enabled() && FAntiDisturb->State())) FPressureNotice->Show(title, text, action);
            });
    connect(FPressureNotice, &TKSPressureNotice::FreeNowRequested, this, [this] { OptimizeNow(true, true); });

    // The policy's tick rides on every fifth refresh tick (tmrRefreshOverviewTimer) and decides on its sample.
    FOptiMonSampler = std::make_unique<TKSSharedSample>(*FSysStatus);
    FOptiMon = std::make_unique<TKSOptiMonPolicy>(*FPlatform.Clock, *FOptiMonSampler);

    // How long the window stalls during a run, for measurements (KESTRUM_LATENCY_PROBE=1).
    if (qEnvironmentVariableIsSet("KESTRUM_LATENCY_PROBE")) {
        FLatencyProbe = new TKSLatencyProbe(this);
        FLatencyProbe->Start();
        connect(FOptimizeFlow, &TKSOptimizeFlow::RunStarted, FLatencyProbe, &TKSLatencyProbe::Reset);
        connect(FOptimizeFlow, &TKSOptimizeFlow::RunFinished, this, [this](const TKSOptimizeResult& r) {
            // After the results have been painted: the stall figure covers the run and its aftermath.
            QTimer::singleShot(100, this, [this, r] {
                std::fprintf(stderr,
                             "kestrum: latency max %.2f ms over %.0f ms (%d firings); run: %u trimmed, %.0f ms, "
                             "available %lld -> %lld\n",
                             FLatencyProbe->MaxStallMs(), FLatencyProbe->MeasuredMs(), FLatencyProbe->Firings(),
                             r.Report.Trimmed, (r.Report.TrimNanoseconds + r.Report.ReclaimNanoseconds) / 1e6,
                             (long long)r.Before, (long long)r.After);
            });
        });
    }
}

// The dialogs: a new one each time, shown modally, freed when it closes. A second request while one is
// open (the tray menu stays reachable) brings that one forward instead of stacking another.
void TFormKSMain::SettingsCommand() {
    if (QWidget* open = FFormSettings ? static_cast<QWidget*>(FFormSettings) : FFormAbout) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dialog = new TFormKSSettings(this, FSettings, FMultiLangs, ConfigPath());
    FFormSettings = dialog;
    dialog->exec();
    FFormSettings = nullptr;
    delete dialog;
}

void TFormKSMain::AboutCommand() {
    if (QWidget* open = FFormAbout ? static_cast<QWidget*>(FFormAbout) : FFormSettings) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* dialog = new TFormKSAbout(this, FMultiLangs, *FPlatform.FileVersion, *FPlatform.Shell);
    dialog->SetHomeFallback([this] { return HomeAddress(); }, [this] { HomePageCommand(); });
    FFormAbout = dialog;
    dialog->exec();
    FFormAbout = nullptr;
    delete dialog;
}

QString TFormKSMain::HelpFilePath() const {
    // The data folder's own copy first (a portable install), then the pages shipped beside the program.
    for (const QString& base : {GetAppDir(), GetProgramDir()}) {
        const QString path = base + u"Langs/"_qs + FLanguageFolder + u"Help.html"_qs;
        if (LocateFile(path)) return path;
    }
    return {};
}

// The help page of the current language in the user's browser; its absence is the one thing said.
void TFormKSMain::HelpCommand() {
    const QString path = HelpFilePath();
    if (path.isEmpty()) {
        ShowHelpMissing();
        return;
    }
    if (!OpenHelpFile(*FPlatform.Shell, path)) SayNotOpened(path);
}

// Nothing to open pages with (xdg-open missing): said, with where the page is, instead of nothing at all.
void TFormKSMain::SayNotOpened(const QString& target) {
    const QUrl url(target);
    const QString where = url.isLocalFile() ? url.toLocalFile() : target;
    ShowMessageBox(this, FMultiLangs->FormatText(u"String.MsgText.OpenFailed"_qs, {where}),
                   FMultiLangs->GetText(u"String.MsgTitle.Warning"_qs), 48, FLanguageId);
}

void TFormKSMain::ShowHelpMissing() {
    ShowMessageBox(this, FMultiLangs->GetText(u"String.MsgText.HelpFailed"_qs),
                   FMultiLangs->GetText(u"String.MsgTitle.Warning"_qs), 48, FLanguageId);
}

QString TFormKSMain::HomeAddress() const {
    if (!FHomeAddress.isEmpty()) return FHomeAddress;
    const QString help = HelpFilePath();
    return help.isEmpty() ? QString() : QUrl::fromLocalFile(help).toString();
}

// The project has no site of its own: without an address in the catalogue the installed help page is
// the home page (and a missing one is reported like a missing help page).
void TFormKSMain::HomePageCommand() {
    if (!FHomeAddress.isEmpty()) {
        if (!ShellOpen(*FPlatform.Shell, FHomeAddress)) SayNotOpened(FHomeAddress);
        return;
    }
    HelpCommand();
}

// The product family's updater when it is installed; otherwise (a package-managed install) the help's
// section on updating through the package manager. The current page stays as it is.
void TFormKSMain::UpgradeCommand() {
    if (QFileInfo(FUpdaterPath).isFile()) {
        LaunchProcess(*FPlatform.Shell, u'"' + FUpdaterPath + u'"', 1);
        return;
    }
    const QString path = HelpFilePath();
    if (path.isEmpty()) {
        ShowHelpMissing();
        return;
    }
    QUrl page = QUrl::fromLocalFile(path);
    page.setFragment(u"updating"_qs);
    if (!ShellOpen(*FPlatform.Shell, page.toString())) SayNotOpened(path);
}

} // namespace kestrum
