#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "engine/AutoProtection.h"
#include "engine/FreeRunDelegate.h"
#include "engine/FreeRunReport.h"
#include "engine/KSRunningNames.h"
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
    // Tracking ticks between two looks at which ranked programs run (a minute), unless the program in
    // front is not known to run.
    static constexpr uint32_t RunningCheckEvery = 6;

    TMemoryOptimize(platform::IDesktop& desktop, platform::IProcesses& processes, QObject* owner = nullptr);
    ~TMemoryOptimize() override;

    void SetSmartMode(bool on);
    uint8_t SelectionMode() const { return FSelectionMode; }
    // Any of the four modes (the user's choice); the usage tracking runs exactly in the smart mode.
    void SetSelectionMode(uint8_t mode);

    // What a run in `mode` is asked to do now: the lists as their files hold them (another program may
    // have changed them), the never-trim list (spared in every mode but "all") and the processes the
    // automatic protection spares.
    TFreeRunRequest Request(uint8_t mode);
    // A run of exactly this request.
    TFreeRunReport FreeMemoryFor(const TFreeRunRequest& request,
                                 const std::function<void(uint32_t, uint32_t)>& progress = {});
    // Why a run of `request` leaves the process alone (None: it is trimmed). `request.SparedIds` is not
    // looked at; names beyond the executable's are read only when needed.
    static TProtectionReason SpareReason(const TFreeRunRequest& request, const platform::TProcessEntry& entry,
                                         platform::IProcesses& processes);
    // The programs that gave the most: resident bytes summed per name, most first, at most `count`.
    static std::vector<TProgramTaken> TopPrograms(const std::vector<QString>& names, const std::vector<uint64_t>& taken,
                                                  int count);
    TAutoProtection& AutoProtection() { return FAutoProtection; }
    platform::IProcesses& Processes() { return FProcesses; }

    // The freeing run with the current mode / a given mode. Safe to call off the UI thread: the name lists
    // are copied at the start, and nothing else of the engine's UI-thread state is touched.
    TFreeRunReport FreeMemory();
    // The same, telling how far the trimming has come (see TFreeRunOptions::Progress); not used when the
    // freeing service runs it.
    TFreeRunReport FreeMemory(const std::function<void(uint32_t done, uint32_t total)>& progress);
    // The same, sparing the named programs too (for automatic runs that back off from programs whose memory
    // came straight back). The black-list mode, which trims only its list, stays as it is.
    TFreeRunReport FreeMemory(const std::function<void(uint32_t done, uint32_t total)>& progress,
                              const QStringList& alsoSpared);
    TFreeRunReport FreeMemoryBy(uint8_t mode);
    // A run over every process except those matching `spared` (same matching rule as the lists).
    TFreeRunReport FreeMemoryExcept(const QStringList& spared);
    // A run over only the processes matching `selected`.
    TFreeRunReport FreeMemoryOnly(const QStringList& selected);

    // After trimming, let what the run pushed out to swap become free memory (bounded by that amount).
    void SetFollowUpReclaim(bool on) { FFollowUpReclaim = on; }
    // A run handed to the freeing service reaches other users' and system processes too (a wider right).
    void SetAllUsers(bool on) { FAllUsers = on; }
    // How long a run watches which memory the processes use before paging out the rest; 0 pages out
    // everything, in use or not. One wait per run, whatever the number of processes.
    static constexpr int DefaultWatchMs = 1000;
    void SetWatchMs(int ms) { FWatchMs = ms < 0 ? 0 : ms; }
    int WatchMs() const { return FWatchMs; }
    // Trimming threads; 0 = one per processor.
    void SetMaxThreads(unsigned count) { FMaxThreads = count; }
    // Cuts runs short (the one in progress and later ones) until switched off again: no new process is
    // trimmed, the wait ends, no follow-up; the report says Cancelled. Safe from any thread.
    void SetCancelled(bool on) { FCancel = on; }

    // Text key and English default of the explanation shown when a run found no swap space to push
    // programs' memory to (TFreeRunReport::NoSwap).
    static const char* NoSwapTextKey() { return "String.OptimizeProcess.NoSwap"; }
    static QString NoSwapExplanation();

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
    // The names the mode's list holds now (copied: a run may go on off the UI thread).
    QStringList Selection(uint8_t mode) const;
    TFreeRunReport Run(const TFreeRunRequest& request, const std::function<void(uint32_t, uint32_t)>& progress = {});
    QString ForegroundProgramName();

    platform::IDesktop& FDesktop;
    platform::IProcesses& FProcesses;
    TAutoProtection FAutoProtection;
    TKSRunningNames FRunningNames; // the tracking tick's running flags, read cheaply
    QTimer* FTrackingTimer = nullptr;
    std::vector<TSmartItem> FUsageItems;
    // The lists may be read by a run on another thread while the UI thread changes them.
    mutable std::mutex FListMutex;
    uint32_t FTrackTicks = 0;
    QStringList FBlackList, FWhiteList, FProtectedList;
    // Read by runs that may happen off the UI thread.
    std::atomic<uint8_t> FSelectionMode = MODE_ALL;
    std::atomic<bool> FFollowUpReclaim = true;
    std::atomic<bool> FAllUsers = false;
    std::atomic<int> FWatchMs = DefaultWatchMs;
    std::atomic<unsigned> FMaxThreads = 0;
    std::atomic<bool> FCancel = false;
};

} // namespace kestrum
