// GIF animation: how closely frames reach the screen to the times the frame-timing formula gives, over 10 s.
// Reports the lateness of each frame against its ideal time (the running sum of the formula's frame times from
// the start) and the error of each frame interval.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "common/QtApp.h"
#include "skin/OrvImage.h"

using namespace kestrum;

namespace {

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

void BM_GifFrameJitter(benchmark::State& state) {
    test::EnsureQtApp();
    QString resource = u":/assets/optimize/freenow.gif"_qs;
    QString path =
        QFile::exists(resource) ? resource : QStringLiteral(KESTRUM_SOURCE_DIR "/assets/optimize/freenow.gif");
    TOrvPicture gif;
    if (!gif.LoadFromFile(path) || gif.FrameCount() < 2) {
        state.SkipWithError("no animated GIF");
        return;
    }
    const int speed = int(state.range(0));
    const qint64 runMs = 10000;
    for (auto _ : state) {
        QWidget form;
        form.resize(120, 120);
        TOrvImage img(&form);
        img.SetGIFAnimationSpeed(speed);
        form.show();
        std::vector<double> lateness, intervalError;
        QElapsedTimer clock;
        double ideal = 0, lastAt = 0, lastIdeal = 0;
        QObject::connect(&img, &TOrvImage::OnFrameShown, [&](int index, qint64) {
            double at = double(clock.nsecsElapsed()) / 1e6;
            // the frame before this one has just finished its time
            int prev = (index + gif.FrameCount() - 1) % gif.FrameCount();
            ideal += TOrvImage::GifFrameTimeMs(gif.Frames()[size_t(prev)].DelayCs, speed);
            lateness.push_back(at - ideal);
            intervalError.push_back((at - lastAt) - (ideal - lastIdeal));
            lastAt = at;
            lastIdeal = ideal;
        });
        clock.start();
        img.SetPicture(gif);
        img.SetGIFAnimation(true);
        QEventLoop loop;
        QTimer::singleShot(runMs, &loop, &QEventLoop::quit);
        loop.exec(); // idle between frames, so the CPU figure is the animation's own cost
        std::vector<double> absLate(lateness.size()), absInterval(intervalError.size());
        std::transform(lateness.begin(), lateness.end(), absLate.begin(), [](double d) { return std::abs(d); });
        std::transform(intervalError.begin(), intervalError.end(), absInterval.begin(),
                       [](double d) { return std::abs(d); });
        state.counters["frames"] = double(lateness.size());
        state.counters["frame_ms"] = TOrvImage::GifFrameTimeMs(gif.Frames()[0].DelayCs, speed);
        state.counters["late_med_ms"] = Percentile(absLate, 0.5);
        state.counters["late_p95_ms"] = Percentile(absLate, 0.95);
        state.counters["late_max_ms"] = Percentile(absLate, 1.0);
        state.counters["interval_err_med_ms"] = Percentile(absInterval, 0.5);
        state.counters["interval_err_p95_ms"] = Percentile(absInterval, 0.95);
    }
}
BENCHMARK(BM_GifFrameJitter)->Arg(1000)->Arg(100)->ArgName("speed")->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
