#include "app/KSLatencyProbe.h"

#include <algorithm>

namespace kestrum {

TKSLatencyProbe::TKSLatencyProbe(QObject* owner) : QObject(owner) {
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(IntervalMs);
    connect(&FTimer, &QTimer::timeout, this, &TKSLatencyProbe::Fired);
}

void TKSLatencyProbe::Start() {
    FClock.start();
    Reset();
    FTimer.start();
}

void TKSLatencyProbe::Stop() {
    FTimer.stop();
}

void TKSLatencyProbe::Reset() {
    FLastNs = -1;
    FStartNs = FClock.isValid() ? FClock.nsecsElapsed() : 0;
    FMaxStallNs = 0;
    FMaxStallAtNs = 0;
    FMeasuredNs = 0;
    FFirings = 0;
}

void TKSLatencyProbe::Fired() {
    const qint64 now = FClock.nsecsElapsed();
    if (FLastNs >= 0) {
        const qint64 gap = now - FLastNs;
        const qint64 stall = gap - qint64(IntervalMs) * 1000000;
        if (stall > FMaxStallNs) FMaxStallNs = stall, FMaxStallAtNs = now - FStartNs;
        FMeasuredNs += gap;
    }
    FLastNs = now;
    ++FFirings;
}

} // namespace kestrum
