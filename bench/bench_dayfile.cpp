// Start-up and exit of the history with a large day file for today: what creating and destroying the
// history (and appending one record in between) costs in time and resident memory. The file is named by
// KESTRUM_BENCH_HOME (its Logs/Kestrum/<today>.log); bench/history_dayfile.sh makes a 200 MB one.
#include "store/KSLogMgr.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QFileInfo>

#include <chrono>
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

// One start (create the history), one record, one exit (destroy it), timed apart.
void BM_DayFileStartAndExit(benchmark::State& state) {
    const QString home = Home();
    const QDateTime now = QDateTime::currentDateTime();
    const QString day = home + "Logs/Kestrum/" + now.date().toString("yyyyMMdd") + ".log";
    if (!QFileInfo(day).isFile()) {
        state.SkipWithError("no day file (KESTRUM_BENCH_HOME, see bench/history_dayfile.sh)");
        return;
    }
    double start = 0, add = 0, exit = 0, rss = 0;
    for (auto _ : state) {
        using clock = std::chrono::steady_clock;
        const double rss0 = RssMiB();
        auto t0 = clock::now();
        auto history = std::make_unique<TKSLogMgr>(home);
        auto t1 = clock::now();
        rss = std::max(rss, RssMiB() - rss0);
        history->AddHistoryRecord("Memory was optimized manually.", "1.00 GB -> 1.50 GB, +512.00 MB.");
        auto t2 = clock::now();
        history.reset();
        auto t3 = clock::now();
        start += std::chrono::duration<double, std::milli>(t1 - t0).count();
        add += std::chrono::duration<double, std::milli>(t2 - t1).count();
        exit += std::chrono::duration<double, std::milli>(t3 - t2).count();
    }
    const double n = double(state.iterations());
    state.counters["day_file_MB"] = double(QFileInfo(day).size()) / 1e6;
    state.counters["start_ms"] = start / n;
    state.counters["add_ms"] = add / n;
    state.counters["exit_ms"] = exit / n;
    state.counters["start_rss_MiB"] = rss;
}
BENCHMARK(BM_DayFileStartAndExit)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
