// The Logs page's list over a large day file for today: indexing the file (what happens off the interface
// thread before the list shows) and reading one screen of rows, in time and resident memory. The file is
// named by KESTRUM_BENCH_HOME (its Logs/Kestrum/<today>.log); bench/history_dayfile.sh makes a 200 MB one.
#include "store/KSHistoryIndex.h"
#include "store/KSLogMgr.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

using namespace kestrum;

namespace {

double RssMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

QString Home() {
    return QString::fromLocal8Bit(qgetenv("KESTRUM_BENCH_HOME")) + u'/';
}

void BM_IndexTodayAndReadAScreen(benchmark::State& state) {
    if (qEnvironmentVariableIsEmpty("KESTRUM_BENCH_HOME")) {
        state.SkipWithError("KESTRUM_BENCH_HOME names no data folder (see bench/history_dayfile.sh)");
        return;
    }
    TKSLogMgr history(Home());
    const QDate today = QDate::currentDate();
    size_t rows = 0;
    double extra = 0;
    for (auto _ : state) {
        const double before = RssMiB();
        const auto index = TKSHistoryIndex::Build(history.HistoryFolder(), today.addDays(-3), today);
        for (size_t i = 0; i < 30 && i < index->Count(); ++i)
            benchmark::DoNotOptimize(history.MakeRow(index->Read(i, 0)->Time, index->Read(i, 0)->Fields));
        rows = index->Count();
        extra = RssMiB() - before;
    }
    state.counters["records"] = double(rows);
    state.counters["extra_MiB"] = extra;
}
BENCHMARK(BM_IndexTodayAndReadAScreen)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
