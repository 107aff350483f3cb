// The interface thread during a "Free Now" run: clicks the Optimize page's button in the real main window
// and reports the longest event-loop stall (a 5 ms timer's worst lateness) from the click to the end of the
// animation. Only the processes named with --only are trimmed (the run walks the whole process list like a
// real one); the system settings are fakes. Driven by bench/optimize_stall.sh (victims, swap).
//
//   bench_optimize_stall --only kstallvictim [--self] [--fake-ms N] [--shots DIR] [--no-follow-up]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <thread>

#include "app/KSDisplayProbe.h"
#include "app/KSLatencyProbe.h"
#include "app/KSOptimizeFlow.h"
#include "app/frmKSMain.h"
#include "app/pages/KSOptimizePage.h"
#include "desktop/X11Connection.h"
#include "engine/MemoryOptimize.h"
#include "platform/Platform.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/FakeServiceManager.h"
#include "skin/OrvImageButton.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"
#include "support/KSUtils.h"

using namespace kestrum;

int main(int argc, char* argv[]) {
    TKSDisplayProbe::PrepareToolkit(); // as the program does
    QApplication app(argc, argv);
    QStringList only;
    int fakeMs = -1;
    QString shots;
    bool followUp = true;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == u"--only"_qs && i + 1 < args.size())
            only << args[++i];
        else if (args[i] == u"--self"_qs)
            only << QFileInfo(QCoreApplication::applicationFilePath()).fileName();
        else if (args[i] == u"--fake-ms"_qs && i + 1 < args.size())
            fakeMs = args[++i].toInt();
        else if (args[i] == u"--shots"_qs && i + 1 < args.size())
            shots = args[++i];
        else if (args[i] == u"--no-follow-up"_qs)
            followUp = false;
    }
    if (only.isEmpty() && fakeMs < 0) {
        std::fprintf(stderr, "usage: bench_optimize_stall --only NAME [--self] | --fake-ms N  [--shots DIR]\n");
        return 2;
    }
    QTemporaryDir home, runtime;
    qputenv("KESTRUM_HOME", home.path().toUtf8());
    QDir().mkpath(home.filePath(u"Config"_qs));
    QFile ini(home.filePath(u"Config/Config.ini"_qs));
    ini.open(QIODevice::WriteOnly);
    ini.write("[KESTRUM]\nShowTrayIcon=0\nUseHotKey=0\n");
    ini.close();

    platform::TLinuxPlatformOptions o;
    o.DataDir = GetAppDir().toStdString();
    o.RuntimeDir = runtime.path().toStdString();
    o.OwnVersion = "1.0.0.0";
    o.XcbConnection = QtX11Connection();
    platform::TPlatform plat = platform::MakeLinuxPlatform(o);
    plat.Registry = std::make_unique<platform::TFakeRegistry>();
    plat.Services = std::make_unique<platform::TFakeServiceManager>();

    TKSLogMgr history(GetAppDir());
    TKSSettings settings;
    TFormKSMain w(plat, settings, {"Kestrum", "-popup", "73826"});
    w.SetHistory(&history);
    w.FormCreate();
    TKSOptimizeFlow* flow = w.OptimizeFlow();
    w.KSCore()->SetFollowUpReclaim(followUp);
    if (fakeMs >= 0) {
        // A run that takes fakeMs and reports its progress, as the engine will.
        flow->SetRunner([fakeMs](const TKSOptimizeFlow::TProgress& progress) {
            for (int i = 1; i <= 100; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(fakeMs / 100));
                progress(i, 100);
            }
            return TFreeRunReport{};
        });
    } else {
        flow->SetRunner(
            [core = w.KSCore(), only](const TKSOptimizeFlow::TProgress&) { return core->FreeMemoryOnly(only); });
    }

    TKSLatencyProbe probe;
    QElapsedTimer clock;
    TFreeRunReport report;
    qint64 runStarted = 0, runFinished = 0;
    int64_t before = 0, after = 0;
    auto shot = [&](const QString& name) {
        if (!shots.isEmpty()) QProcess::startDetached(u"import"_qs, {u"-window"_qs, u"root"_qs, shots + u'/' + name});
    };
    QObject::connect(flow, &TKSOptimizeFlow::RunStarted, [&] {
        runStarted = clock.elapsed();
        QTimer::singleShot(300, [&] { shot(u"during.png"_qs); });
    });
    QObject::connect(flow, &TKSOptimizeFlow::RunFinished, [&](const TKSOptimizeResult& r) {
        runFinished = clock.elapsed();
        report = r.Report;
        before = r.Before;
        after = r.After;
    });
    QObject::connect(flow, &TKSOptimizeFlow::AnimationEnded, [&] {
        const qint64 animation = clock.elapsed();
        QTimer::singleShot(300, [&, animation] {
            probe.Stop();
            std::printf(
                "animation %lld ms (run from %lld to %lld ms); interface thread: longest stall %.2f ms, "
                "ended at %.0f ms, over %.0f ms (%d timer firings)\n",
                (long long)animation, (long long)runStarted, (long long)runFinished, probe.MaxStallMs(),
                probe.MaxStallAtMs(), probe.MeasuredMs(), probe.Firings());
            std::printf(
                "run: %u candidates, %u trimmed, %.1f MiB resident taken (%.1f MiB anonymous), trim %.0f ms, "
                "reclaim %.0f ms (follow-up kind %u), settle %.0f ms; available %.1f -> %.1f MiB; %u watched, %u running "
                "judged unwatched, %u threads\n",
                report.Candidates, report.Trimmed, report.ResidentTaken / 1048576.0, report.AnonTaken / 1048576.0,
                report.TrimNanoseconds / 1e6, report.ReclaimNanoseconds / 1e6, unsigned(report.FollowUp),
                report.SettleNanoseconds / 1e6, before / 1048576.0, after / 1048576.0,
                report.Watched, report.RunningNotWatched, report.Threads);
            std::printf(
                "follow-up: swap cache grown %.1f MiB, node steps %u (stop %u), asked %.1f MiB, scanned %.1f MiB, "
                "freed %.1f MiB, of it not ours %.1f MiB\n",
                report.SwapCacheGrowth / 1048576.0, report.NodeSteps, unsigned(report.NodeStop),
                report.Reclaim.BytesRequested / 1048576.0, report.NodeScannedBytes / 1048576.0,
                report.NodeStolenBytes / 1048576.0, report.NodeForeignBytes / 1048576.0);
            std::fflush(stdout);
            shot(u"after.png"_qs);
            QTimer::singleShot(shots.isEmpty() ? 0 : 1500, &app, &QCoreApplication::quit);
        });
    });
    // Let the window settle, measure an idle stretch as the reference, then click as a user would.
    QTimer::singleShot(1000, [&] { probe.Start(); });
    QTimer::singleShot(5000, [&] {
        std::printf("idle reference: longest stall %.2f ms over %.0f ms (%d timer firings)\n", probe.MaxStallMs(),
                    probe.MeasuredMs(), probe.Firings());
        probe.Start();
        clock.start();
        // The monotonic clock's reading, to line the run up with other probes (disk, pages).
        std::printf("click at %lld ms of the monotonic clock\n", (long long)clock.msecsSinceReference());
        w.OptimizePage()->btnOptimize()->Click();
    });
    return app.exec();
}
