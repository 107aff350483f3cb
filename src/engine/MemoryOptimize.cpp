#include "engine/MemoryOptimize.h"

#include "engine/FreeRun.h"
#include "engine/ProgramNames.h"

#include <QDir>
#include <QSet>
#include <QTimer>
#include <algorithm>
#include <map>
#include <optional>
#include <unordered_set>

#include "support/IniFile.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {
const QString kItems = QStringLiteral("ITEMS");

bool ContainsName(const QStringList& list, const QString& name) {
    return list.contains(name, Qt::CaseInsensitive);
}
} // namespace

TMemoryOptimize::TMemoryOptimize(platform::IDesktop& desktop, platform::IProcesses& processes, QObject* owner)
    : QObject(owner),
      FDesktop(desktop),
      FProcesses(processes),
      FAutoProtection(desktop, processes),
      FRunningNames(processes) {
    FTrackingTimer = new QTimer(this);
    FTrackingTimer->setInterval(TrackingIntervalMs);
    connect(FTrackingTimer, &QTimer::timeout, this, &TMemoryOptimize::TrackUsage);
    LoadList(LIST_BLACK);
    LoadList(LIST_WHITE);
}

TMemoryOptimize::~TMemoryOptimize() = default;

void TMemoryOptimize::SetSmartMode(bool on) {
    FSelectionMode = on ? MODE_SMART : MODE_ALL;
    if (on)
        FTrackingTimer->start();
    else
        FTrackingTimer->stop();
}

void TMemoryOptimize::SetSelectionMode(uint8_t mode) {
    if (mode > MODE_SMART) return;
    SetSmartMode(mode == MODE_SMART);
    FSelectionMode = mode;
}

// Lists --------------------------------------------------------------------------------------------------

QString TMemoryOptimize::ListFileName(int list) {
    switch (list) {
        case LIST_BLACK:
            return GetAppDir() + QStringLiteral("Lists/black.lst");
        case LIST_WHITE:
            return GetAppDir() + QStringLiteral("Lists/white.lst");
        default:
            return {};
    }
}

QStringList* TMemoryOptimize::ListById(int list) {
    switch (list) {
        case LIST_BLACK:
            return &FBlackList;
        case LIST_WHITE:
            return &FWhiteList;
        case LIST_PROTECTED:
            return &FProtectedList;
        default:
            return nullptr;
    }
}

const QStringList* TMemoryOptimize::ListById(int list) const {
    return const_cast<TMemoryOptimize*>(this)->ListById(list);
}

bool TMemoryOptimize::NameListContains(const QStringList& list, const QString& name) {
    // The name itself ignoring case, its versions and release channels, and the name without its last four
    // characters ("notepad" names "notepad.exe").
    return TProgramNames::ExeMatchedBy(list, name);
}

bool TMemoryOptimize::ListContains(int list, const QString& name) const {
    std::lock_guard lock(FListMutex);
    const QStringList* l = ListById(list);
    return l && NameListContains(*l, name);
}

bool TMemoryOptimize::LoadList(int list) {
    if (list != LIST_BLACK && list != LIST_WHITE) return false;
    TIniFile ini(ListFileName(list));
    if (!ini.Exists()) return false;
    QStringList names = ini.ReadSection(kItems);
    std::lock_guard lock(FListMutex);
    *ListById(list) = std::move(names);
    return true;
}

bool TMemoryOptimize::AddListItem(int list, const QString& name) {
    if (list != LIST_BLACK && list != LIST_WHITE) return false;
    const QString item = name.trimmed();
    if (item.isEmpty()) return false;
    {
        std::lock_guard lock(FListMutex);
        QStringList* l = ListById(list);
        if (ContainsName(*l, item)) return false;
        l->append(item);
    }
    QDir().mkpath(GetAppDir() + QStringLiteral("Lists"));
    // A write that did not reach the file is reported; the entry stays in memory for this session.
    return TIniFile(ListFileName(list)).WriteString(kItems, item, QString());
}

bool TMemoryOptimize::RemoveListItem(int list, const QString& name) {
    if (list != LIST_BLACK && list != LIST_WHITE) return false;
    const QString item = name.trimmed();
    if (item.isEmpty()) return false;
    {
        std::lock_guard lock(FListMutex);
        QStringList* l = ListById(list);
        const auto it = std::find_if(l->begin(), l->end(),
                                     [&](const QString& s) { return s.compare(item, Qt::CaseInsensitive) == 0; });
        if (it == l->end()) return false;
        l->erase(it);
    }
    TIniFile ini(ListFileName(list));
    if (!ini.Exists()) return false;
    return ini.DeleteKey(kItems, item);
}

bool TMemoryOptimize::SaveList(int list) {
    if (list != LIST_BLACK && list != LIST_WHITE) return false;
    QDir().mkpath(GetAppDir() + QStringLiteral("Lists"));
    QStringList items;
    {
        std::lock_guard lock(FListMutex);
        items = *ListById(list);
    }
    if (items.isEmpty()) return false;
    TIniFile ini(ListFileName(list));
    bool ok = ini.EraseSection(kItems) || !ini.Exists();
    for (const QString& s : items) {
        const QString item = s.trimmed();
        if (!item.isEmpty()) ok = ini.WriteString(kItems, item, QString()) && ok;
    }
    return ok;
}

QStringList TMemoryOptimize::BlackList() const {
    std::lock_guard lock(FListMutex);
    return FBlackList;
}
QStringList TMemoryOptimize::WhiteList() const {
    std::lock_guard lock(FListMutex);
    return FWhiteList;
}
QStringList TMemoryOptimize::ProtectedList() const {
    std::lock_guard lock(FListMutex);
    return FProtectedList;
}

// Usage tracking -----------------------------------------------------------------------------------------

QString TMemoryOptimize::ForegroundProgramName() {
    const platform::TWindowId window = FDesktop.ForegroundWindow();
    if (window == 0) return {};
    const uint32_t pid = FDesktop.WindowProcessId(window);
    if (pid == 0) return {};
    const QString path = QString::fromStdString(FProcesses.ExecutablePath(pid));
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    return path.mid(cut + 1);
}

void TMemoryOptimize::TrackUsage() {
    const QString name = ForegroundProgramName().trimmed();
    bool frontUnseen = false; // the program in front is not known to run yet
    if (!name.isEmpty()) {
        auto it = std::find_if(FUsageItems.begin(), FUsageItems.end(), [&](const TSmartItem& item) {
            return QString::compare(item.Name, name, Qt::CaseInsensitive) == 0;
        });
        if (it != FUsageItems.end()) {
            ++it->UsageCount;
            frontUnseen = !it->Running;
        } else {
            FUsageItems.push_back({name, 1, false});
            frontUnseen = true;
        }
    }
    std::stable_sort(FUsageItems.begin(), FUsageItems.end(),
                     [](const TSmartItem& a, const TSmartItem& b) { return a.UsageCount > b.UsageCount; });

    // Which ranked programs run is read from the process table at every few ticks only, and at once when
    // the program in front is not known to run: the table costs more than all the rest of the tracking.
    if (frontUnseen || FTrackTicks++ % RunningCheckEvery == 0) {
        const std::optional<QSet<QString>> running = FRunningNames.Names();
        if (!running) return;
        for (auto& item : FUsageItems) item.Running = running->contains(item.Name.toCaseFolded());
    }

    if (FUsageItems.empty()) return;
    QStringList protectedNames;
    for (const auto& item : FUsageItems) {
        if (protectedNames.size() >= ProtectedCount) break;
        if (item.Running) protectedNames.append(item.Name);
    }
    std::lock_guard lock(FListMutex);
    FProtectedList = std::move(protectedNames);
}

// Freeing run --------------------------------------------------------------------------------------------

TFreeRunReport TMemoryOptimize::FreeMemory() {
    return FreeMemoryBy(FSelectionMode);
}

TFreeRunReport TMemoryOptimize::FreeMemory(const std::function<void(uint32_t, uint32_t)>& progress) {
    return Run(Request(FSelectionMode), progress);
}

TFreeRunReport TMemoryOptimize::FreeMemory(const std::function<void(uint32_t, uint32_t)>& progress,
                                           const QStringList& alsoSpared) {
    // Spared in every mode, like the never-trim list.
    TFreeRunRequest request = Request(FSelectionMode);
    request.NeverTrim += alsoSpared;
    return Run(request, progress);
}

TFreeRunReport TMemoryOptimize::FreeMemoryBy(uint8_t mode) {
    return Run(Request(mode));
}

TFreeRunReport TMemoryOptimize::FreeMemoryFor(const TFreeRunRequest& request,
                                              const std::function<void(uint32_t, uint32_t)>& progress) {
    return Run(request, progress);
}

TFreeRunRequest TMemoryOptimize::Request(uint8_t mode) {
    // The lists may have been changed by another program (the companion tool) since they were read.
    LoadList(LIST_BLACK);
    LoadList(LIST_WHITE);
    TFreeRunRequest request;
    request.Mode = mode;
    request.FollowUpReclaim = FFollowUpReclaim;
    request.AllUsers = FAllUsers;
    request.Selection = Selection(mode);
    if (mode == MODE_BLACK || mode == MODE_NOT_WHITE || mode == MODE_SMART) {
        std::lock_guard lock(FListMutex);
        request.NeverTrim = FWhiteList;
    }
    for (const auto& [pid, reason] : FAutoProtection.Collect()) request.SparedIds.push_back(pid);
    return request;
}

QStringList TMemoryOptimize::Selection(uint8_t mode) const {
    QStringList selection;
    {
        std::lock_guard lock(FListMutex);
        if (mode == MODE_BLACK)
            selection = FBlackList;
        else if (mode == MODE_NOT_WHITE)
            selection = FWhiteList;
        else if (mode == MODE_SMART)
            selection = FProtectedList;
    }
    return selection;
}

TFreeRunReport TMemoryOptimize::FreeMemoryExcept(const QStringList& spared) {
    return Run({MODE_NOT_WHITE, spared, FFollowUpReclaim});
}

TFreeRunReport TMemoryOptimize::FreeMemoryOnly(const QStringList& selected) {
    return Run({MODE_BLACK, selected, FFollowUpReclaim});
}

TProtectionReason TMemoryOptimize::SpareReason(const TFreeRunRequest& request, const platform::TProcessEntry& entry,
                                               platform::IProcesses& processes) {
    const QString exe = QString::fromStdString(entry.ExeName);
    std::optional<TProgramNames> names;
    auto matches = [&](const QStringList& list) {
        if (list.isEmpty()) return false;
        if (TProgramNames::ExeMatchedBy(list, exe)) return true;
        if (!names) names = TProgramNames::Read(processes, entry);
        return names->MatchedBy(list);
    };
    if (matches(request.NeverTrim)) return TProtectionReason::NeverTrim;
    switch (request.Mode) {
        case MODE_BLACK:
            return matches(request.Selection) ? TProtectionReason::None : TProtectionReason::NotListed;
        case MODE_NOT_WHITE:
            return matches(request.Selection) ? TProtectionReason::NeverTrim : TProtectionReason::None;
        case MODE_SMART:
            return matches(request.Selection) ? TProtectionReason::MostUsed : TProtectionReason::None;
        default:
            return TProtectionReason::None;
    }
}

std::vector<TProgramTaken> TMemoryOptimize::TopPrograms(const std::vector<QString>& names,
                                                        const std::vector<uint64_t>& taken, int count) {
    std::map<QString, uint64_t> sums;
    for (size_t i = 0; i < names.size() && i < taken.size(); ++i)
        if (taken[i] > 0) sums[names[i]] += taken[i];
    std::vector<TProgramTaken> out;
    for (const auto& [name, bytes] : sums) out.push_back({name, bytes});
    // Most first; equal amounts by name, so the report does not depend on the order processes ran in.
    std::stable_sort(out.begin(), out.end(),
                     [](const TProgramTaken& a, const TProgramTaken& b) { return a.Bytes > b.Bytes; });
    if (out.size() > static_cast<size_t>(std::max(0, count))) out.resize(static_cast<size_t>(std::max(0, count)));
    return out;
}

TFreeRunReport TMemoryOptimize::Run(const TFreeRunRequest& request,
                                    const std::function<void(uint32_t, uint32_t)>& progress) {
    // Without the right to trim others, the installed delegate (the freeing service) runs it.
    if (const auto delegate = FreeRunDelegate())
        if (auto delegated = delegate->Run(request)) return *delegated;
    TFreeRunReport report;
    if (FCancel) {
        report.Cancelled = true;
        return report;
    }
    try {
        auto snapshot = FProcesses.Snapshot();
        if (!snapshot) return report;
        report.SnapshotTaken = true;
        const std::unordered_set<uint32_t> sparedIds(request.SparedIds.begin(), request.SparedIds.end());
        std::vector<uint32_t> targets, spared;
        std::vector<QString> targetNames;
        for (const auto& e : *snapshot) {
            ++report.Candidates;
            // Kernel threads have no user memory to trim.
            if (e.KernelThread || e.ProcessId == 0) {
                ++report.Skipped;
                continue;
            }
            if (sparedIds.count(e.ProcessId) || SpareReason(request, e, FProcesses) != TProtectionReason::None) {
                spared.push_back(e.ProcessId);
                ++report.Skipped;
                continue;
            }
            targets.push_back(e.ProcessId);
            targetNames.push_back(QString::fromStdString(e.ExeName));
        }
        TFreeRunOptions options;
        options.FollowUp = request.FollowUpReclaim;
        options.WatchMs = FWatchMs;
        options.MaxThreads = FMaxThreads;
        options.Cancel = &FCancel;
        options.Progress = progress;
        TFreeRun run(FProcesses, options);
        run.Execute(targets, spared, report);
        report.TopPrograms = TopPrograms(targetNames, run.TakenByTarget(), TFreeRunReport::TopProgramCount);
    } catch (...) {
        // A failure inside the run ends it; callers are never disturbed.
    }
    return report;
}

QString TMemoryOptimize::NoSwapExplanation() {
    return QStringLiteral(
        "Only cached file pages could leave memory: this system has no swap space, so the programs' own memory "
        "has nowhere to go, and the system already counted cached file pages as available. To free more, turn "
        "on compressed swap in memory (zram): install the zram-tools package (Debian, Ubuntu) or "
        "zram-generator (Fedora, Arch) and restart.");
}

} // namespace kestrum
