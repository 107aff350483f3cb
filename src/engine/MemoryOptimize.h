#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/FreeRunDelegate.h"
#include "platform/IDesktop.h"
#include "platform/IProcesses.h"

class QTimer;

namespace kestrum {

// One program seen in the foreground.
struct TSmartItem {
    QString Name;            // executable file name without folder
    uint32_t UsageCount = 1; // tracking ticks in which it owned the foreground window
    bool Running = false;    // a process with this name existed at the latest tick
};

// What one freeing run did (the program itself only measures available memory; the companion tool and
// the benchmarks read this).
struct TFreeRunReport {
    bool SnapshotTaken = false;
    uint32_t Candidates = 0; // processes in the snapshot
    uint32_t Skipped = 0;    // left out by the selection (or kernel threads)
    uint32_t Trimmed = 0, Gone = 0, NoRight = 0, Failed = 0;
    uint64_t ResidentTaken = 0; // resident bytes the trimmed processes lost
    uint64_t AnonTaken = 0;     // the anonymous part of it
    uint64_t BytesRequested = 0;
    uint64_t KernelNanoseconds = 0; // spent inside the kernel's page-out calls
    uint64_t TrimNanoseconds = 0;   // snapshot and trimming, follow-up reclaim not included
    uint64_t ReclaimNanoseconds = 0;
    platform::TReclaimResult Reclaim;
    int FirstError = 0; // errno of the first failed trim
    TFreeRunRoute Route = TFreeRunRoute::Direct;
    QString Notice; // when other processes could not be reached: why, and what to install (English)
};

// Frees physical memory by trimming the resident pages of running processes, sparing what the selection
// mode spares. Smart mode ranks the programs seen in the foreground and spares the five most used that
// still run.
class TMemoryOptimize : public QObject {
    Q_OBJECT
public:
    enum : int { LIST_BLACK = 1, LIST_WHITE = 2, LIST_PROTECTED = 3 };
    enum : uint8_t { MODE_ALL = 0, MODE_BLACK = 1, MODE_NOT_WHITE = 2, MODE_SMART = 3 };
    static constexpr int TrackingIntervalMs = 10000;
    static constexpr int ProtectedCount = 5;

    TMemoryOptimize(platform::IDesktop& desktop, platform::IProcesses& processes, QObject* owner = nullptr);
    ~TMemoryOptimize() override;

    void SetSmartMode(bool on);
    uint8_t SelectionMode() const { return FSelectionMode; }

    // The freeing run with the current mode / a given mode. Safe to call off the UI thread: the name lists
    // are copied at the start, and nothing else of the engine's UI-thread state is touched.
    TFreeRunReport FreeMemory();
    TFreeRunReport FreeMemoryBy(uint8_t mode);
    // A run over every process except those matching `spared` (same matching rule as the lists).
    TFreeRunReport FreeMemoryExcept(const QStringList& spared);
    // A run over only the processes matching `selected`.
    TFreeRunReport FreeMemoryOnly(const QStringList& selected);

    // After trimming, let what the run pushed out to swap become free memory (bounded by that amount).
    void SetFollowUpReclaim(bool on) { FFollowUpReclaim = on; }

    // List operations: 1 black list, 2 white list (3 protected, ListContains only).
    bool ListContains(int list, const QString& name) const;
    bool LoadList(int list);
    bool AddListItem(int list, const QString& name);
    bool RemoveListItem(int list, const QString& name);
    bool SaveList(int list);

    // One tracking tick: foreground program, ranking, running flags, protected list.
    void TrackUsage();

    QStringList BlackList() const;
    QStringList WhiteList() const;
    QStringList ProtectedList() const;
    const std::vector<TSmartItem>& UsageItems() const { return FUsageItems; }
    QTimer* TrackingTimer() const { return FTrackingTimer; }

    // The list file of list 1 or 2 (empty for others).
    static QString ListFileName(int list);
    // The matching rule of the lists: the name itself, or the name without its last four characters.
    static bool NameListContains(const QStringList& list, const QString& name);

private:
    QStringList* ListById(int list);
    const QStringList* ListById(int list) const;
    TFreeRunReport Run(uint8_t mode, const QStringList& selection);
    QString ForegroundProgramName();

    platform::IDesktop& FDesktop;
    platform::IProcesses& FProcesses;
    QTimer* FTrackingTimer = nullptr;
    std::vector<TSmartItem> FUsageItems;
    // The lists may be read by a run on another thread while the UI thread changes them.
    mutable std::mutex FListMutex;
    QStringList FBlackList, FWhiteList, FProtectedList;
    // Read by runs that may happen off the UI thread.
    std::atomic<uint8_t> FSelectionMode = MODE_ALL;
    std::atomic<bool> FFollowUpReclaim = true;
};

} // namespace kestrum
