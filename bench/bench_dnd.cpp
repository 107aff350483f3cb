// One Do-Not-Disturb poll over 300 running programs: the first poll (every executable read) and the steady
// state (nothing changed since the last poll).
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>
#include <string>
#include <vector>

#include "desktop/ExeImports.h"
#include "desktop/OrvAntiDisturb.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"

extern char** environ;

using namespace kestrum;

namespace {

constexpr int Programs = 300;

// 300 distinct real executables of this system that import no game library, so the poll walks them all.
const std::vector<std::string>& Executables() {
    static std::vector<std::string> list = [] {
        std::vector<std::string> out;
        for (const char* dir : {"/usr/bin", "/usr/sbin", "/usr/lib/x86_64-linux-gnu", "/usr/libexec"}) {
            std::error_code ec;
            for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
                 it != std::filesystem::recursive_directory_iterator() && int(out.size()) < Programs;
                 it.increment(ec)) {
                if (ec) break;
                struct stat st {};
                const std::string p = it->path().string();
                if (::lstat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !(st.st_mode & S_IXUSR)) continue;
                if (st.st_size < 64) continue;
                if (!ImportsGameLibrary(p)) out.push_back(p);
            }
        }
        return out;
    }();
    return list;
}

void FillFake(platform::TFakeProcesses& fake) {
    uint32_t pid = 1000;
    for (const auto& path : Executables()) {
        fake.Processes.push_back({pid, path.substr(path.find_last_of('/') + 1), false});
        fake.Paths[pid++] = path;
    }
}

void BM_FirstPoll_FakeList(benchmark::State& state) {
    platform::TFakeDesktop desktop;
    platform::TFakeProcesses processes;
    FillFake(processes);
    for (auto _ : state) {
        TOrvAntiDisturb d(desktop, processes); // a fresh detector remembers nothing
        benchmark::DoNotOptimize(d.DetectState());
    }
    state.counters["programs"] = double(processes.Processes.size());
}
BENCHMARK(BM_FirstPoll_FakeList)->Unit(benchmark::kMillisecond);

void BM_SteadyPoll_FakeList(benchmark::State& state) {
    platform::TFakeDesktop desktop;
    platform::TFakeProcesses processes;
    FillFake(processes);
    TOrvAntiDisturb d(desktop, processes);
    d.DetectState();
    for (auto _ : state) benchmark::DoNotOptimize(d.DetectState());
    state.counters["programs"] = double(processes.Processes.size());
}
BENCHMARK(BM_SteadyPoll_FakeList)->Unit(benchmark::kMicrosecond);

// The real process backend with 300 sleeping children of this benchmark beside the machine's own processes.
struct TChildren {
    std::vector<pid_t> Pids;
    TChildren() {
        char sleepPath[] = "/bin/sleep", arg[] = "600";
        char* argv[] = {sleepPath, arg, nullptr};
        for (int i = 0; i < Programs; ++i) {
            pid_t pid;
            if (posix_spawn(&pid, sleepPath, nullptr, nullptr, argv, environ) == 0) Pids.push_back(pid);
        }
    }
    ~TChildren() {
        for (pid_t p : Pids) ::kill(p, SIGTERM);
        for (pid_t p : Pids) ::waitpid(p, nullptr, 0);
    }
};

void BM_SteadyPoll_RealProcesses(benchmark::State& state) {
    TChildren children;
    platform::TFakeDesktop desktop;
    auto processes = platform::MakeLinuxProcesses("/proc");
    TOrvAntiDisturb d(desktop, *processes);
    bool game = d.DetectState();
    for (auto _ : state) benchmark::DoNotOptimize(d.DetectState());
    state.counters["processes"] = double(processes->Snapshot()->size());
    state.counters["game"] = game;
}
BENCHMARK(BM_SteadyPoll_RealProcesses)->Unit(benchmark::kMicrosecond);

// The snapshot alone, to tell the backend's share of the real poll from the detector's.
void BM_Snapshot_RealProcesses(benchmark::State& state) {
    TChildren children;
    auto processes = platform::MakeLinuxProcesses("/proc");
    for (auto _ : state) benchmark::DoNotOptimize(processes->Snapshot());
}
BENCHMARK(BM_Snapshot_RealProcesses)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
