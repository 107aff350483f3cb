// Text lookups over the whole catalogue, template filling, and applying a shipped language pack.
#include "common/TestHome.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"

#include <benchmark/benchmark.h>
#include <QDir>
#include <QFile>

using namespace kestrum;

namespace {

QStringList CatalogueKeys() {
    QStringList keys;
    for (const TLangText& t : DefaultTexts()) keys << QString::fromUtf16(t.Key);
    return keys;
}

void BM_GetTextAllKeys(benchmark::State& state) {
    TOrvMultiLangs langs;
    langs.SetOnMakeDefault([](TOrvMultiLangs* l) { MultiLangsMakeDefault(l); });
    // A few packs applied on top, as after switching language several times in one run.
    for (int i = 0; i < state.range(0); ++i) MultiLangsMakeDefault(&langs);
    const QStringList keys = CatalogueKeys();
    for (auto _ : state)
        for (const QString& key : keys) benchmark::DoNotOptimize(langs.GetText(key));
    state.SetItemsProcessed(state.iterations() * keys.size());
}
BENCHMARK(BM_GetTextAllKeys)->Arg(0)->Arg(4);

void BM_FormatTextPanel(benchmark::State& state) {
    TOrvMultiLangs langs;
    langs.SetOnMakeDefault([](TOrvMultiLangs* l) { MultiLangsMakeDefault(l); });
    for (auto _ : state)
        benchmark::DoNotOptimize(
            langs.FormatText("FormKSMain.pnlOverviewMEM.Caption", {45, "7.80 GB", "4.30 GB", "1.10 GB"}));
}
BENCHMARK(BM_FormatTextPanel);

void BM_MakeDefault(benchmark::State& state) {
    for (auto _ : state) {
        TOrvMultiLangs langs;
        MultiLangsMakeDefault(&langs);
        benchmark::DoNotOptimize(langs.GetText("FormKSMain.Caption"));
    }
}
BENCHMARK(BM_MakeDefault)->Unit(benchmark::kMicrosecond);

void BM_LoadShippedPack(benchmark::State& state) {
    kestrum::test::TTestHome home;
    const QString pack = LangPackFileName(home.Path(), 1036);
    QDir().mkpath(home.Path() + "Langs/1036");
    QFile::copy(KESTRUM_SOURCE_DIR "/Langs/1036/Kestrum.ini", pack);
    for (auto _ : state) {
        state.PauseTiming();
        TOrvMultiLangs langs;
        MultiLangsMakeDefault(&langs);
        state.ResumeTiming();
        langs.LoadFromFile(pack); // applies the pack twice and writes the selection mark
        benchmark::DoNotOptimize(langs.GetText("FormKSMain.Caption"));
    }
}
BENCHMARK(BM_LoadShippedPack)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
