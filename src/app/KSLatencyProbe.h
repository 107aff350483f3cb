#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace kestrum {

// Measures how long the interface thread's event loop stalls: a precise timer that should fire every
// few milliseconds records by how much each firing came late. Enabled in the program by the environment
// variable KESTRUM_LATENCY_PROBE (the figures go to stderr after each optimization run).
class TKSLatencyProbe : public QObject {
    Q_OBJECT
public:
    static constexpr int IntervalMs = 5;

    explicit TKSLatencyProbe(QObject* owner = nullptr);

    void Start();
    void Stop();
    // Forgets the figures so far; the next firing starts a new measurement.
    void Reset();

    // The longest gap between two firings beyond the interval, in ms.
    double MaxStallMs() const { return FMaxStallNs / 1e6; }
    // When the longest stall ended, in ms since the last Reset.
    double MaxStallAtMs() const { return FMaxStallAtNs / 1e6; }
    // Time measured since the last Reset, in ms, and the number of firings in it.
    double MeasuredMs() const { return FMeasuredNs / 1e6; }
    int Firings() const { return FFirings; }

private:
    void Fired();

    QTimer FTimer;
    QElapsedTimer FClock;
    qint64 FLastNs = -1;
    qint64 FStartNs = 0;
    qint64 FMaxStallNs = 0;
    qint64 FMaxStallAtNs = 0;
    qint64 FMeasuredNs = 0;
    int FFirings = 0;
};

} // namespace kestrum
