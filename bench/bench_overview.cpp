// One refresh tick of the main window, offscreen: sampling from scripted counters, the Usage page's texts,
// the chart's new points, the tray picture and tooltip, and the repaint of what changed (chart included).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include "app/frmKSMain.h"
#include "app/pages/KSOverviewPage.h"
#include "app/pages/KSUsageChart.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeSystemInfo.h"
#include "store/KSSettings.h"

using namespace kestrum;

namespace {

void Script(platform::TFakeSystemInfo& info, int processors) {
    info.Processors = uint32_t(processors);
    // Samples one second apart with a moving load, enough for every iteration.
    info.Samples.clear();
    for (int k = 0; k < 4096; ++k) {
        platform::TProcessorSample s{int64_t(k) * 10000000, 0, {}};
        for (int i = 0; i < processors; ++i) {
            const int64_t busy = int64_t(k) * 10000000;
            s.Processors.push_back({busy * (30 + (k + i) % 40) / 100, busy, 0, 0, 0});
        }
        s.IdleProcessTime = int64_t(k) * 10000000 * processors * 6 / 10;
        info.Samples.push_back(s);
    }
    platform::TPerformanceInfo m;
    m.PageSize = 4096;
    m.PhysicalTotal = 6 * 1024 * 1024;
    m.PhysicalAvailable = 4 * 1024 * 1024;
    m.SystemCache = 1024 * 1024;
    m.CommitLimit = 12 * 1024 * 1024;
    m.CommitTotal = 3 * 1024 * 1024;
    m.CommitPeak = m.CommitTotal;
    info.Memory = m;
}

// One tick and the repaint it causes; kept out of line so an instruction counter can be pointed at it
// (valgrind --tool=callgrind --toggle-collect='*MeasuredTick*').
__attribute__((noinline)) void MeasuredTick(TFormKSMain& w) {
    w.tmrRefreshOverviewTimer();
    QCoreApplication::processEvents(); // the update request: the chart, the changed panels and gauges
}

void BM_RefreshTick(benchmark::State& state) {
    QTemporaryDir home;
    qputenv("KESTRUM_HOME", home.path().toUtf8());
    platform::TFakeHandles fakes;
    platform::TPlatform plat = platform::MakeFakePlatform(&fakes);
    auto* info = dynamic_cast<platform::TFakeSystemInfo*>(plat.SystemInfo.get());
    Script(*info, int(state.range(0)));
    TKSSettings settings;
    TFormKSMain w(plat, settings, {"Kestrum"});
    w.FormCreate();
    w.RefreshTimer()->stop();                                  // the benchmark drives the ticks
    for (int i = 0; i < 250; ++i) w.tmrRefreshOverviewTimer(); // a full chart
    QCoreApplication::processEvents();
    for (auto _ : state) {
        if (info->Samples.size() < 4) {
            state.PauseTiming();
            Script(*info, int(state.range(0)));
            state.ResumeTiming();
        }
        MeasuredTick(w);
    }
    state.counters["points_held"] = w.OverviewPage()->Chart()->PointsHeld();
}
BENCHMARK(BM_RefreshTick)->Arg(2)->Arg(8)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
