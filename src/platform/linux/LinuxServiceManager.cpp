#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cctype>
#include <cerrno>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/IServiceManager.h"

extern char** environ;

namespace kestrum::platform {

namespace {

// Runs systemctl with the arguments (no shell); its exit code and first output line.
bool RunSystemctl(const std::vector<std::string>& args, std::string* output) {
    std::vector<char*> argv;
    std::string prog = "systemctl";
    argv.push_back(prog.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipefd[2];
    if (::pipe2(pipefd, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "systemctl", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipefd[1]);
    std::string out;
    if (rc == 0) {
        char buf[512];
        for (;;) {
            ssize_t n = ::read(pipefd[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
        }
    }
    ::close(pipefd[0]);
    if (rc != 0) return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (output) *output = out.substr(0, out.find('\n'));
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A unit name we are willing to pass on: systemd's own character set, never an option.
bool IsUnitName(const std::string& name) {
    if (name.empty() || name[0] == '-') return false;
    for (unsigned char c : name)
        if (!(std::isalnum(c) || c == ':' || c == '_' || c == '.' || c == '@' || c == '-' || c == '\\')) return false;
    return true;
}

uint32_t StateFromActiveState(const std::string& s) {
    if (s == "active" || s == "reloading") return SERVICE_STATE_RUNNING;
    if (s == "activating") return SERVICE_STATE_START_PENDING;
    if (s == "deactivating") return SERVICE_STATE_STOP_PENDING;
    return SERVICE_STATE_STOPPED; // inactive, failed, maintenance
}

// Services are systemd units; without a running systemd every service is unknown.
class TSystemdServiceManager final : public IServiceManager {
public:
    TServiceHandle OpenManager() override {
        std::lock_guard lock(FMutex);
        const TServiceHandle h = ++FLast;
        FUnits[h] = {};
        return h;
    }

    TServiceHandle OpenService(TServiceHandle manager, const std::string& name) override {
        {
            std::lock_guard lock(FMutex);
            if (!FUnits.count(manager)) return 0;
        }
        struct stat st {};
        if (::stat("/run/systemd/system", &st) != 0) return 0;
        std::string unit = name.find('.') == std::string::npos ? name + ".service" : name;
        if (!IsUnitName(unit)) return 0;
        std::string load;
        if (!RunSystemctl({"show", "--property=LoadState", "--value", "--", unit}, &load) || load != "loaded") return 0;
        std::lock_guard lock(FMutex);
        const TServiceHandle h = ++FLast;
        FUnits[h] = unit;
        return h;
    }

    std::optional<TServiceStatus> QueryStatus(TServiceHandle service) override {
        const std::string unit = UnitOf(service);
        if (unit.empty()) return std::nullopt;
        std::string state;
        if (!RunSystemctl({"show", "--property=ActiveState", "--value", "--", unit}, &state)) return std::nullopt;
        return TServiceStatus{StateFromActiveState(state), 0};
    }

    bool StartService(TServiceHandle service) override {
        const std::string unit = UnitOf(service);
        return !unit.empty() && RunSystemctl({"start", "--no-block", "--", unit}, nullptr);
    }

    void CloseHandle(TServiceHandle handle) override {
        std::lock_guard lock(FMutex);
        FUnits.erase(handle);
    }

private:
    std::string UnitOf(TServiceHandle h) {
        std::lock_guard lock(FMutex);
        auto it = FUnits.find(h);
        return it == FUnits.end() ? std::string() : it->second;
    }

    std::mutex FMutex;
    std::map<TServiceHandle, std::string> FUnits; // manager handles map to an empty unit
    TServiceHandle FLast = 0;
};

} // namespace

std::unique_ptr<IServiceManager> MakeLinuxServiceManager() {
    return std::make_unique<TSystemdServiceManager>();
}

} // namespace kestrum::platform
