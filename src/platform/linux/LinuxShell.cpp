#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/IShell.h"
#include "platform/linux/CommandLine.h"

extern char** environ;

namespace kestrum::platform {

namespace {

// Starts argv without waiting, and says whether it could start. The program is spawned straight from here:
// a copy of this large, threaded process made to spawn it would cost the window its page tables and then a
// write fault on every page it touches. A small thread waits for the program's end, so it never stays our
// zombie.
bool SpawnDetached(const std::vector<std::string>& args) {
    if (args.empty() || args[0].empty()) return false;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) return false;
    // Its own session, and no signal of ours blocked in it.
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    pid_t child = 0;
    const int rc = posix_spawnp(&child, argv[0], nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    try {
        std::thread([child] {
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the program still runs, and is reaped when we end.
    }
    return true;
}

class TLinuxShell final : public IShell {
public:
    bool LaunchProcess(const std::string& commandLine) override {
        return SpawnDetached(SplitCommandLine(commandLine));
    }
    bool OpenDocument(const std::string& target) override { return SpawnDetached({"xdg-open", target}); }
};

} // namespace

std::unique_ptr<IShell> MakeLinuxShell() { return std::make_unique<TLinuxShell>(); }

} // namespace kestrum::platform
