#pragma once
#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <map>
#include <mutex>
#include <optional>

#include "engine/KSRunCost.h"
#include "platform/IClock.h"
#include "platform/ISystemInfo.h"
#include "store/KSRunCostLog.h"

namespace kestrum {

// Watches what a run cost for a minute after it: how much of the memory it took came back, the whole
// system's refaults, the trimmed programs' major faults, and the memory pressure meanwhile. The result goes
// to the run cost log. Programs that got their memory straight back are spared by automatic runs for a while.
class TKSRunCostWatch : public QObject {
    Q_OBJECT
public:
    static constexpr int WindowMs = 60000;
    static constexpr uint32_t BackOffMs = 6u * 60u * 60u * 1000u; // six hours

    TKSRunCostWatch(platform::IProcesses& processes, platform::ISystemInfo& info, platform::IClock& clock,
                    const QString& logFolder, QObject* owner = nullptr);

    void SetWindowMs(int ms) { FWindowMs = ms; }
    // A run is about to trim: the programs' memory before it. A watch still going ends here, shorter.
    void RunStarting();
    // The run ended: its line in the log, the programs' memory right after it, and the watch begins.
    void RunFinished(bool manual, int64_t before, int64_t after);
    // Ends the watch now (the timer does it after the window).
    void Finish();
    bool Watching() const { return FTimer.isActive(); }

    // The programs automatic runs spare now. Safe from any thread (the run asks from its own).
    QStringList BackedOff() const;

signals:
    void CostMeasured(const kestrum::TKSRunCostRecord& record);

private:
    platform::IProcesses& FProcesses;
    platform::ISystemInfo& FInfo;
    platform::IClock& FClock;
    std::optional<TKSRunCostLog> FLog; // none: nothing written
    int FWindowMs = WindowMs;
    QTimer FTimer;

    TProgramMemoryMap FBefore, FAfter;
    TKSRunCostRecord FRecord;
    uint32_t FStartTick = 0;
    std::optional<uint64_t> FRefaults;
    std::optional<uint64_t> FPressureTotal; // µs
    uint64_t FPageSize = 4096;

    mutable std::mutex FBackOffMutex;
    std::map<QString, uint32_t> FBackOff; // name → tick it was added
};

} // namespace kestrum
