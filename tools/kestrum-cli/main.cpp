// kestrum-cli: prints one status sample or runs one freeing run, without a window.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QStringList>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "LanguageCommand.h"
#include "NoDesktop.h"
#include "ProtectCommands.h"
#include "engine/FreeRun.h"
#include "engine/KSRunCost.h"
#include "engine/FreeRunDelegate.h"
#include "engine/MemoryOptimize.h"
#include "engine/SystemStatus.h"
#include "freeservice/FreeServiceClient.h"
#include "platform/IDesktop.h"
#include "platform/IProcesses.h"
#include "platform/ISystemInfo.h"
#include "support/KSUtils.h"

using namespace kestrum;

namespace {

enum TExitCode {
    EXIT_OK = 0,
    EXIT_USAGE = 1,
    EXIT_NO_FIGURES = 2,
    EXIT_NO_RIGHTS = 3,
    EXIT_NO_SNAPSHOT = 4,
    EXIT_REFUSED = 5,
};

const char* kHelp =
    "Usage: kestrum-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  status [--interval MS]       one sample: processor usage (total and per processor, measured over\n"
    "                               MS milliseconds, default 500), memory and commit figures, and the\n"
    "                               memory pressure (share of time tasks waited for memory, last 10 s)\n"
    "  free [--except NAME... | --only NAME...] [--all] [--watch MS] [--threads N] [--no-reclaim]\n"
    "       [--all-users] [--cost S] [--bytes]\n"
    "                               trims the resident memory of every process but those on the\n"
    "                               never-trim list (the smart selection is off), or of every process but\n"
    "                               those named too, or only of those named; prints available memory\n"
    "                               before and after, the gain, the resident memory taken and the\n"
    "                               programs that gave the most\n"
    "  protect NAME                 puts a program on the never-trim list: no run trims it\n"
    "  unprotect NAME               takes a program off the never-trim list\n"
    "  list [--tsv]                 the running programs with their resident and swapped-out memory and\n"
    "                               whether and why the next run spares them (--tsv: tab-separated bytes)\n"
    "  service                      the freeing service's version and capabilities\n"
    "  language ID                  switches a running Kestrum on this X display to language ID (the\n"
    "                               number of its folder below Langs/, e.g. 1031 German, 1036 French;\n"
    "                               0 English)\n"
    "  --help                       this text\n"
    "\n"
    "Options of free:\n"
    "  --except NAME...   spare these programs too\n"
    "  --only NAME...     trim only these programs\n"
    "  --all              trim the programs on the never-trim list too\n"
    "  --watch MS         first watch for MS milliseconds (default 1000, 0 to 60000) which memory the\n"
    "                     programs use, and leave that in place; 0 pages out everything\n"
    "  --threads N        trim with N threads (default: one per processor)\n"
    "  --no-reclaim       skip the bounded follow-up reclaim of what went to swap\n"
    "  --cost S           then watch for S seconds (0 to 60; default 10 on a terminal, else 0) what the run\n"
    "                     cost: how much of what it took came back, the trimmed programs' major faults, the\n"
    "                     system's refaults and the memory pressure meanwhile\n"
    "  --bytes            add one line of plain byte counts for scripts\n"
    "  --all-users        through the freeing service: other users' and system processes too (asks for\n"
    "                     an administrator's password); without it the service trims only your own\n"
    "\n"
    "A program is named by its executable's file name, its process name, the name it was started by or\n"
    "the application id its desktop launched it under (a Flatpak id such as org.mozilla.firefox); case is\n"
    "ignored, and a name also covers versions and release channels: python3 covers python3.11, firefox\n"
    "covers firefox-esr, and name covers name.xyz. The never-trim list is Lists/white.lst in the data\n"
    "folder, which Kestrum's protection page edits too.\n"
    "\n"
    "Ctrl+C ends a run early: no further process is trimmed.\n"
    "Without swap space (a swap file or partition, or zram) only cached file pages can leave memory, and\n"
    "the system counts those as available already: the gain is then about zero.\n"
    "\n"
    "Trimming other processes needs root or CAP_SYS_NICE, and CAP_SYS_PTRACE for other users' processes.\n"
    "Without them, free asks the freeing service kestrum-freed on the system bus (installed with the Kestrum\n"
    "package), which polkit lets the user at the active local session use without a password.\n"
    "\n"
    "Exit codes:\n"
    "  0  success\n"
    "  1  wrong command line\n"
    "  2  the system figures could not be read\n"
    "  3  no right to trim other processes, and no freeing service to ask\n"
    "  4  the process list could not be read\n"
    "  5  the freeing service refused the run (not authorised, too soon after the last one, busy)\n"
    "  6  language: no X display to send the language to\n"
    "  7  protect, unprotect: the list file could not be written\n";


// Ctrl+C during a run: the engine stops taking new processes (set from the signal handler).
TMemoryOptimize* GRunningEngine = nullptr;
extern "C" void OnInterrupt(int) {
    if (GRunningEngine) GRunningEngine->SetCancelled(true);
}

// Ctrl+C during the watch after a run ends the watch, not the report.
volatile sig_atomic_t GStopWatch = 0;
extern "C" void OnStopWatch(int) {
    GStopWatch = 1;
}

const char* FollowUpText(const TFreeRunReport& r) {
    switch (r.FollowUp) {
        case FOLLOWUP_OFF:
            return "off";
        case FOLLOWUP_NOT_NEEDED:
            return "not needed (nothing that went to swap stayed in memory)";
        case FOLLOWUP_CGROUPS:
            return "cgroup v2 memory.reclaim";
        case FOLLOWUP_NODES:
            return "the kernel's per-node reclaim";
        case FOLLOWUP_NOT_OFFERED:
            return "not offered here (neither cgroup v2 memory.reclaim nor per-node reclaim); pages sent to swap "
                   "are freed by the kernel's next reclaim";
        default:
            return "not run";
    }
}

std::string Size(int64_t bytes) {
    const QString text = FormatSize(static_cast<uint64_t>(bytes < 0 ? -bytes : bytes), 2).trimmed();
    return (bytes < 0 ? "-" : "") + text.toStdString();
}

int Status(const QStringList& args) {
    int interval = 500;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--interval" && i + 1 < args.size()) {
            bool ok = false;
            interval = args[++i].toInt(&ok);
            if (!ok || interval < 1 || interval > 60000) {
                std::fprintf(stderr, "kestrum-cli: --interval wants 1 to 60000 milliseconds\n");
                return EXIT_USAGE;
            }
        } else {
            std::fprintf(stderr, "kestrum-cli: unknown option %s (see --help)\n", qPrintable(args[i]));
            return EXIT_USAGE;
        }
    }
    auto info = platform::MakeLinuxSystemInfo("/proc");
    TSystemStatus status(*info);
    if (!status.RefreshCPU() || !status.RefreshMemory()) {
        std::fprintf(stderr, "kestrum-cli: cannot read /proc/stat or /proc/meminfo\n");
        return EXIT_NO_FIGURES;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(interval));
    // Within one clock tick no time has passed; try again a little later.
    bool cpu = status.RefreshCPU();
    for (int i = 0; !cpu && i < 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        cpu = status.RefreshCPU();
    }
    status.RefreshMemory();

    const int64_t total = status.PhysicalTotal();
    const int64_t avail = status.PhysicalAvailable();
    std::printf("Processors:         %u\n", status.ProcessorCount());
    std::printf("CPU Usage:          %u %%%s\n", status.GetCPUUsage(0), cpu ? "" : " (no new sample)");
    if (status.ProcessorCount() >= 2)
        for (uint32_t i = 1; i <= status.ProcessorCount(); ++i)
            std::printf("  CPU Core %-3u      %u %%\n", i, status.GetCPUUsage(i));
    std::printf("Physical memory:    %s total, %s available, %s in use (%d %%)\n", Size(total).c_str(),
                Size(avail).c_str(), Size(total - avail).c_str(),
                total > 0 ? static_cast<int>((total - avail) * 100 / total) : 0);
    std::printf("System cache:       %s\n", Size(status.SystemCache()).c_str());
    std::printf("Commit:             %s used, %s limit, %s peak seen\n", Size(status.CommitTotal()).c_str(),
                Size(status.CommitLimit()).c_str(), Size(status.CommitPeak()).c_str());
    std::printf("Kernel memory:      %s (%s reclaimable, %s not)\n", Size(status.KernelTotal()).c_str(),
                Size(status.KernelPaged()).c_str(), Size(status.KernelNonpaged()).c_str());
    std::printf("Processes:          %u, threads %u, open files %u\n", status.ProcessCount(), status.ThreadCount(),
                status.HandleCount());
    // Kernels without the measure have nothing to show; that is no failure.
    if (status.RefreshPressure()) {
        const auto& p = *status.Pressure();
        if (p.Full)
            std::printf("memory pressure: some %.2f %%, full %.2f %%\n", p.Some.Avg10, p.Full->Avg10);
        else
            std::printf("memory pressure: some %.2f %%\n", p.Some.Avg10);
    }
    return EXIT_OK;
}

struct TRunCostSeen {
    TKSRunCost Cost;
    uint64_t RefaultBytes = 0;
    std::optional<double> Pressure; // percent of the time, averaged over the watch
};

// Watches `seconds` after a run and says what it cost.
std::optional<TRunCostSeen> WatchRunCost(platform::IProcesses& processes, platform::ISystemInfo& info,
                                         const TProgramMemoryMap& before, int seconds) {
    const TProgramMemoryMap after = SnapshotPrograms(processes);
    const auto refaults = processes.WorkingSetRefaults();
    const auto psi = info.MemoryPressure();
    std::printf("Watching for %d s what the run cost (Ctrl+C ends the watch)...\n", seconds);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    GStopWatch = 0;
    struct sigaction action {};
    action.sa_handler = OnStopWatch;
    sigaction(SIGINT, &action, nullptr);
    while (!GStopWatch && std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    signal(SIGINT, SIG_DFL);
    const double watched = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    TRunCostSeen seen;
    seen.Cost = ComputeRunCost(before, after, SnapshotPrograms(processes));
    if (const auto now = processes.WorkingSetRefaults(); now && refaults && *now >= *refaults)
        seen.RefaultBytes = (*now - *refaults) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    if (const auto now = info.MemoryPressure(); now && psi && now->Some.Total >= psi->Some.Total && watched > 0)
        seen.Pressure = double(now->Some.Total - psi->Some.Total) / (watched * 1e6) * 100.0;
    std::printf("In the %.0f s after the run: %s of the %s the programs lost came back; their major faults: %llu; "
                "refaults of the whole system: %s",
                watched, Size(static_cast<int64_t>(seen.Cost.CameBack)).c_str(),
                Size(static_cast<int64_t>(seen.Cost.Taken)).c_str(),
                static_cast<unsigned long long>(seen.Cost.MajorFaults),
                Size(static_cast<int64_t>(seen.RefaultBytes)).c_str());
    if (seen.Pressure) std::printf("; memory pressure: %.2f %% of the time", *seen.Pressure);
    std::printf("\n");
    if (!seen.Cost.CameStraightBack.isEmpty())
        std::printf("Got their memory straight back (trimming them only cost time): %s\n",
                    qPrintable(seen.Cost.CameStraightBack.join(u", ")));
    return seen;
}

int Free(const QStringList& args) {
    QStringList except, only;
    bool reclaim = true, bytes = false, exceptGiven = false, onlyGiven = false, all = false, allUsers = false;
    int watchMs = TMemoryOptimize::DefaultWatchMs;
    int threads = 0;
    // People at a terminal see what the run cost; scripts do not wait for it unless they ask.
    int costSeconds = isatty(STDOUT_FILENO) ? 10 : 0;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == "--except" || args[i] == "--only") {
            const bool isExcept = args[i] == "--except";
            (isExcept ? exceptGiven : onlyGiven) = true;
            while (i + 1 < args.size() && !args[i + 1].startsWith("--")) (isExcept ? except : only) << args[++i];
        } else if (args[i] == "--watch" || args[i] == "--threads") {
            const bool isWatch = args[i] == "--watch";
            bool ok = false;
            const int value = i + 1 < args.size() ? args[++i].toInt(&ok) : 0;
            if (!ok || value < (isWatch ? 0 : 1) || value > (isWatch ? 60000 : 256)) {
                std::fprintf(stderr, isWatch ? "kestrum-cli: --watch wants 0 to 60000 milliseconds\n"
                                             : "kestrum-cli: --threads wants 1 to 256\n");
                return EXIT_USAGE;
            }
            (isWatch ? watchMs : threads) = value;
        } else if (args[i] == "--all") {
            all = true;
        } else if (args[i] == "--cost") {
            bool ok = false;
            costSeconds = i + 1 < args.size() ? args[++i].toInt(&ok) : -1;
            if (!ok || costSeconds < 0 || costSeconds > 60) {
                std::fprintf(stderr, "kestrum-cli: --cost wants 0 to 60 seconds\n");
                return EXIT_USAGE;
            }
        } else if (args[i] == "--no-reclaim") {
            reclaim = false;
        } else if (args[i] == "--bytes") {
            bytes = true;
        } else if (args[i] == "--all-users") {
            allUsers = true;
        } else {
            std::fprintf(stderr, "kestrum-cli: unknown option %s (see --help)\n", qPrintable(args[i]));
            return EXIT_USAGE;
        }
    }
    if ((exceptGiven && except.isEmpty()) || (onlyGiven && only.isEmpty()) || (exceptGiven && onlyGiven)) {
        std::fprintf(stderr, "kestrum-cli: give --except or --only, followed by at least one program name\n");
        return EXIT_USAGE;
    }

    // With the right to trim others this process runs it; otherwise the freeing service does.
    auto client = std::make_shared<TFreeServiceClient>();
    const bool own = TFreeServiceClient::HasOwnTrimRight();
    if (own && !TFreeServiceClient::HasOwnTrimRightForOtherUsers())
        std::fprintf(stderr, "kestrum-cli: without CAP_SYS_PTRACE only your own processes are trimmed\n");
    if (!own) SetFreeRunDelegate(client);

    auto info = platform::MakeLinuxSystemInfo("/proc");
    auto processes = platform::MakeLinuxProcesses("/proc");
    TNoDesktop desktop;
    TSystemStatus status(*info);
    TMemoryOptimize engine(desktop, *processes);
    engine.SetFollowUpReclaim(reclaim);
    engine.SetAllUsers(allUsers);
    engine.SetWatchMs(watchMs);
    engine.SetMaxThreads(static_cast<unsigned>(threads));

    if (!status.RefreshMemory()) {
        std::fprintf(stderr, "kestrum-cli: cannot read /proc/meminfo\n");
        return EXIT_NO_FIGURES;
    }
    const int64_t before = status.PhysicalAvailable();
    if (watchMs > 0) {
        std::printf("Watching for %.1f s which memory the programs are using; that memory stays in place.\n",
                    watchMs / 1000.0);
        std::fflush(stdout);
    }
    const TProgramMemoryMap programsBefore = costSeconds > 0 ? SnapshotPrograms(*processes) : TProgramMemoryMap();
    GRunningEngine = &engine;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    const auto start = std::chrono::steady_clock::now();
    TFreeRunRequest request;
    request.Mode = onlyGiven ? TMemoryOptimize::MODE_BLACK : TMemoryOptimize::MODE_NOT_WHITE;
    request.Selection = onlyGiven ? only : except;
    request.FollowUpReclaim = reclaim;
    request.AllUsers = allUsers;
    if (!all) request.NeverTrim = engine.WhiteList();
    const TFreeRunReport r = engine.FreeMemoryFor(request);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    GRunningEngine = nullptr;
    status.RefreshMemory();
    const int64_t after = status.PhysicalAvailable();
    if (r.Route == TFreeRunRoute::Unavailable || r.Route == TFreeRunRoute::Refused) {
        std::fprintf(stderr, "kestrum-cli: %s\n", qPrintable(r.Notice));
        if (r.Route == TFreeRunRoute::Unavailable)
            std::fprintf(stderr, "kestrum-cli: or run it as root, or grant it CAP_SYS_NICE and CAP_SYS_PTRACE\n");
        return r.Route == TFreeRunRoute::Unavailable ? EXIT_NO_RIGHTS : EXIT_REFUSED;
    }
    if (!r.SnapshotTaken) {
        std::fprintf(stderr, "kestrum-cli: cannot read the process list\n");
        return EXIT_NO_SNAPSHOT;
    }

    std::printf("Memory was optimized manually.\n");
    if (r.Route == TFreeRunRoute::Service) std::printf("Freed through the freeing service kestrum-freed.\n");
    std::printf("Latest optimization report: available memory: %s -> %s, increased: %s.\n", Size(before).c_str(),
                Size(after).c_str(), Size(after - before).c_str());
    std::printf("Resident memory taken from %u trimmed processes: %s (%s anonymous), in %.3f s\n", r.Trimmed,
                Size(static_cast<int64_t>(r.ResidentTaken)).c_str(), Size(static_cast<int64_t>(r.AnonTaken)).c_str(),
                seconds);
    std::printf("Not trimmed: %u spared or kernel threads, %u gone, %u without right, %u failed\n", r.Skipped, r.Gone,
                r.NoRight, r.Failed);
    if (r.Failed && r.FirstError) std::printf("First failure: %s\n", std::strerror(r.FirstError));
    if (r.Cancelled) std::printf("The run was cut short: not every process was trimmed.\n");
    std::printf("Trimmed with %u thread%s; %s left in place because it was in use (%u processes watched)\n", r.Threads,
                r.Threads == 1 ? "" : "s", Size(static_cast<int64_t>(r.HotBytesKept)).c_str(), r.Watched);
    std::printf("Follow-up reclaim: %s", FollowUpText(r));
    if (r.FollowUp == FOLLOWUP_CGROUPS || r.FollowUp == FOLLOWUP_NODES)
        std::printf(", %s asked, %s done", Size(static_cast<int64_t>(r.Reclaim.BytesRequested)).c_str(),
                    Size(static_cast<int64_t>(r.Reclaim.BytesDone)).c_str());
    std::printf("\n");
    if (r.FollowUp == FOLLOWUP_NODES)
        std::printf("Resident memory of the spared programs around it: %s -> %s\n",
                    Size(static_cast<int64_t>(r.SparedResidentBefore)).c_str(),
                    Size(static_cast<int64_t>(r.SparedResidentAfter)).c_str());
    PrintTopPrograms(r);
    if (r.NoSwap) std::printf("%s\n", qPrintable(TMemoryOptimize::NoSwapExplanation()));
    const std::optional<TRunCostSeen> cost =
        costSeconds > 0 ? WatchRunCost(*processes, *info, programsBefore, costSeconds) : std::nullopt;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpuSeconds =
        usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (bytes)
        std::printf(
            "bytes before=%lld after=%lld gain=%lld taken=%llu anon=%llu trimmed=%u seconds=%.6f "
            "trim_seconds=%.6f kernel_seconds=%.6f reclaim_seconds=%.6f reclaim_asked=%llu reclaim_done=%llu "
            "threads=%u work_seconds=%.6f watch_work_seconds=%.6f watch_seconds=%.6f settle_seconds=%.6f hot_kept=%llu "
            "swapcache_growth_run=%llu follow_up=%u spared_before=%llu spared_after=%llu free_list=%llu "
            "no_swap=%d cancelled=%d cpu_seconds=%.6f",
            static_cast<long long>(before), static_cast<long long>(after), static_cast<long long>(after - before),
            static_cast<unsigned long long>(r.ResidentTaken), static_cast<unsigned long long>(r.AnonTaken), r.Trimmed,
            seconds, r.TrimNanoseconds / 1e9, r.KernelNanoseconds / 1e9, r.ReclaimNanoseconds / 1e9,
            static_cast<unsigned long long>(r.Reclaim.BytesRequested),
            static_cast<unsigned long long>(r.Reclaim.BytesDone), r.Threads, r.WorkNanoseconds / 1e9,
            r.WatchWorkNanoseconds / 1e9, r.WatchNanoseconds / 1e9, r.SettleNanoseconds / 1e9,
            static_cast<unsigned long long>(r.HotBytesKept), static_cast<unsigned long long>(r.SwapCacheGrowth),
            static_cast<unsigned>(r.FollowUp), static_cast<unsigned long long>(r.SparedResidentBefore),
            static_cast<unsigned long long>(r.SparedResidentAfter), static_cast<unsigned long long>(r.FreeListBytes),
            r.NoSwap ? 1 : 0, r.Cancelled ? 1 : 0, cpuSeconds);
    if (bytes && cost)
        std::printf(" cost_seconds=%d came_back=%llu taken_seen=%llu major_faults=%llu refaults=%llu pressure=%.2f",
                    costSeconds, static_cast<unsigned long long>(cost->Cost.CameBack),
                    static_cast<unsigned long long>(cost->Cost.Taken),
                    static_cast<unsigned long long>(cost->Cost.MajorFaults),
                    static_cast<unsigned long long>(cost->RefaultBytes), cost->Pressure.value_or(-1));
    if (bytes) std::printf("\n");
    return EXIT_OK;
}

int Service() {
    TFreeServiceClient client;
    QString error;
    const auto info = client.ServiceInfo(&error);
    if (!info) {
        std::fprintf(stderr, "kestrum-cli: the freeing service cannot be asked: %s\n", qPrintable(error));
        return EXIT_NO_RIGHTS;
    }
    for (auto it = info->begin(); it != info->end(); ++it) {
        const QVariant& v = it.value();
        const QString text = v.metaType().id() == QMetaType::QStringList ? v.toStringList().join(u", ") : v.toString();
        std::printf("%-14s %s\n", qPrintable(it.key() + u':'), qPrintable(text));
    }
    return EXIT_OK;
}

} // namespace

int main(int argc, char** argv) {
    // The D-Bus client wants an application object; nothing runs its event loop.
    QCoreApplication app(argc, argv);
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kHelp, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? EXIT_USAGE : EXIT_OK;
    }
    const QString command = args.takeFirst();
    if (command == "status") return Status(args);
    if (command == "free") return Free(args);
    if (command == "service") return Service();
    if (command == "language") return LanguageCommand(args);
    if (command == "protect" || command == "unprotect") return ProtectCommand(args, command == "protect");
    if (command == "list") return ListCommand(args);
    std::fprintf(stderr, "kestrum-cli: unknown command %s (see --help)\n", qPrintable(command));
    return EXIT_USAGE;
}
