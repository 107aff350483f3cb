// Loading a 30-day history of 100 records a day into a list model, and appending one record.
#include "common/TestHome.h"
#include "store/KSLogMgr.h"

#include <benchmark/benchmark.h>

#include <deque>

using namespace kestrum;

namespace {

const QDate Today(2024, 5, 30);

class TListModel : public IHistoryView {
public:
    QDate Begin = Today.addDays(-29), End = Today;
    std::deque<THistoryRow> Rows;
    QDate BeginDate() const override { return Begin; }
    QDate EndDate() const override { return End; }
    void ClearRows() override { Rows.clear(); }
    void InsertRowAtTop(const THistoryRow& row) override { Rows.push_front(row); }
};

void WriteHistory(const QString& appDir, int days, int perDay) {
    for (int d = 0; d < days; ++d) {
        const QDate day = Today.addDays(-d);
        TOrvLogManager log;
        log.SetLogFile(appDir + "Logs/Kestrum/" + day.toString("yyyyMMdd") + ".log");
        for (int i = 0; i < perDay; ++i) {
            TOrvLogItem* item = log.AddItem();
            item->Time = DateTimeFromQt(QDateTime(day, QTime(0, 0).addSecs(i * 600)));
            item->Fields = {"Memory was optimized automatically in backgroud.",
                            QString("%1.00 MB -> %2.00 MB, +%3.00 MB.").arg(900 + i).arg(1400 + i).arg(500)};
        }
        log.Save();
    }
}

void BM_LoadHistoryView30Days(benchmark::State& state) {
    kestrum::test::TTestHome home;
    WriteHistory(home.Path(), 30, 100);
    TKSLogMgr history(home.Path(), [] { return QDateTime(Today, QTime(12, 0)); });
    TListModel model;
    history.SetView(&model);
    for (auto _ : state) {
        history.LoadHistoryView();
        benchmark::DoNotOptimize(model.Rows.size());
    }
    if (model.Rows.size() != 3000) state.SkipWithError("expected 3000 rows");
    state.counters["rows"] = double(model.Rows.size());
    state.SetItemsProcessed(state.iterations() * int64_t(model.Rows.size()));
}
BENCHMARK(BM_LoadHistoryView30Days)->Unit(benchmark::kMillisecond);

void BM_AddHistoryRecord(benchmark::State& state) {
    kestrum::test::TTestHome home;
    TKSLogMgr history(home.Path(), [] { return QDateTime(Today, QTime(12, 0)); });
    TListModel model;
    history.SetView(&model);
    for (auto _ : state) history.AddHistoryRecord("Memory was optimized manually.", "1.00 GB -> 1.50 GB, +512.00 MB.");
    state.SetItemsProcessed(state.iterations());
    history.DeleteAllHistory();
}
BENCHMARK(BM_AddHistoryRecord)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
