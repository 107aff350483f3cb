#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/IShell.h"
#include "platform/linux/CommandLine.h"

extern char** environ;

namespace kestrum::platform {

namespace {

// Starts argv without waiting. A short-lived intermediate process spawns the program and exits at once,
// so the program is re-parented and never becomes our zombie, and we learn whether it could start.
bool SpawnDetached(const std::vector<std::string>& args) {
    if (args.empty() || args[0].empty()) return false;
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    pid_t middle = fork();
    if (middle < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return false;
    }
    if (middle == 0) {
        // Intermediate: spawn the program, report whether that worked, and leave at once so the
        // program is re-parented and never becomes our zombie.
        close(pipeFds[0]);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        pid_t child = 0;
        int rc = posix_spawnp(&child, argv[0], nullptr, &attr, argv.data(), environ);
        char ok = rc == 0 ? 1 : 0;
        (void)!write(pipeFds[1], &ok, 1);
        _exit(0);
    }
    close(pipeFds[1]);
    char ok = 0;
    ssize_t n;
    do {
        n = read(pipeFds[0], &ok, 1);
    } while (n < 0 && errno == EINTR);
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    return n == 1 && ok == 1;
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
