#include "app/KSLatencyProbe.h"

#include <algorithm>

namespace kestrum {

TKSLatencyProbe::TKSLatencyProbe(QObject* owner) : QObject(owner) {
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(IntervalMs);
    connect(&FTimer, &QTimer::timeout, this, &TKSLatencyProbe::Fired);
}

void TKSLatencyProbe::Start() {
    Reset();
    FClock.start();
    FTimer.start();
}

void TKSLatencyProbe::Stop() {
    FTimer.stop();
}

void TKSLatencyProbe::Reset() {
    FLastNs = -1;
    FMaxStallNs = 0;
    FMeasuredNs = 0;
    FFirings = 0;
}

void TKSLatencyProbe::Fired() {
    const qint64 now = FClock.nsecsElapsed();
    if (FLastNs >= 0) {
        const qint64 gap = now - FLastNs;
        FMaxStallNs = std::max(FMaxStallNs, gap - qint64(IntervalMs) * 1000000);
        FMeasuredNs += gap;
    }
    FLastNs = now;
    ++FFirings;
}

} // namespace kestrum
