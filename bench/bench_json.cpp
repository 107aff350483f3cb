// Parsing and serializing a 1 MiB JSON document: many small members, and the skin document's shape
// (a few members holding long hexadecimal picture texts).
#include <benchmark/benchmark.h>

#include "support/_OrvJSON.h"

using namespace kestrum;

namespace {

constexpr qsizetype kSize = 1 << 20;

// Nested objects with numbers, Booleans, short texts and arrays, in the lenient syntax's common subset.
QString MixedDocument() {
    QString text = QStringLiteral("{");
    for (int i = 0; text.size() < kSize - 200; ++i) {
        if (i) text += u',';
        text += QStringLiteral(R"("item%1":{"name":"button %1","visible":%2,"pos_x":%3,"pos_y":-%1,)"
                               R"("scale":%4,"tags":["a/b",%1,null,true],"note":"line\nbreak"})")
                    .arg(i)
                    .arg(i % 2 ? QStringLiteral("true") : QStringLiteral("false"))
                    .arg(i * 7)
                    .arg(i * 0.25);
    }
    return text + u'}';
}

// Four caption buttons, four pictures each, as upper-case hexadecimal.
QString SkinDocument() {
    const qsizetype perPicture = kSize / 16 - 64;
    QString hex;
    hex.reserve(perPicture);
    static const char16_t digits[] = u"0123456789ABCDEF";
    for (qsizetype i = 0; i < perPicture; ++i) hex += QChar(digits[(i * 7 + i / 3) & 15]);
    QString text = QStringLiteral("{");
    const char* buttons[] = {"icon", "min", "max", "close"};
    const char* pictures[] = {"pic_normal", "pic_disabled", "pic_mouse_hover", "pic_mouse_down"};
    for (int b = 0; b < 4; ++b) {
        if (b) text += u',';
        text += QStringLiteral(R"("%1":{"visible":true,"pos_x":10,"pos_y":4)").arg(QLatin1String(buttons[b]));
        for (const char* p : pictures) text += QStringLiteral(R"(,"%1":"%2")").arg(QLatin1String(p), hex);
        text += u'}';
    }
    return text + u'}';
}

const QString& Document(int which) {
    static const QString mixed = MixedDocument();
    static const QString skin = SkinDocument();
    return which == 0 ? mixed : skin;
}

void BM_Parse(benchmark::State& state) {
    const QString& text = Document(int(state.range(0)));
    for (auto _ : state) {
        TJSONObject o(text);
        benchmark::DoNotOptimize(o);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
    state.SetLabel(state.range(0) == 0 ? "mixed" : "skin");
}

void BM_Serialize(benchmark::State& state) {
    TJSONObject o(Document(int(state.range(0))));
    qsizetype size = 0;
    for (auto _ : state) {
        QString text = o.AsText();
        size = text.size();
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * size);
    state.SetLabel(state.range(0) == 0 ? "mixed" : "skin");
}

} // namespace

BENCHMARK(BM_Parse)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Serialize)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
