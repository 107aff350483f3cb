#include "PrivateSystemBus.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QThread>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace kestrum::test {

namespace {

const char* kPolkitd = "/usr/lib/polkit-1/polkitd";

bool WriteFile(const QString& path, const QByteArray& text, int mode = 0644) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text) != text.size()) return false;
    f.close();
    return ::chmod(path.toLocal8Bit().constData(), mode) == 0;
}

// Forks and runs argv with `env` added to the environment; in the child: standard output and error to
// `outFd`, then the user `uid`. Everything the child needs is prepared before the fork (the test process
// has threads, so the child must not allocate).
pid_t Spawn(const std::vector<std::string>& argv, int outFd, uid_t uid, const std::vector<std::string>& env) {
    std::vector<std::string> environment(env);
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string key = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& added : env) replaced = replaced || added.rfind(key, 0) == 0;
        if (!replaced) environment.push_back(entry);
    }
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    const int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    const pid_t pid = fork();
    if (pid != 0) {
        if (devnull >= 0) ::close(devnull);
        return pid;
    }
    if (outFd >= 0) {
        dup2(outFd, 1);
        dup2(outFd, 2);
    }
    if (devnull >= 0) dup2(devnull, 0);
    if (uid != 0) {
        if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0) _exit(126);
    }
    execve(args[0], args.data(), envp.data());
    _exit(127);
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = 0;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = 0;
}

} // namespace

TPrivateSystemBus::TPrivateSystemBus(const TBusOptions& options) : FOptions(options) {
    if (geteuid() != 0) {
        FUnavailable = "needs root: the test runs its clients as the user nobody";
        return;
    }
    if (access("/usr/bin/dbus-daemon", X_OK) != 0 || access(kPolkitd, X_OK) != 0 ||
        access("/usr/bin/unshare", X_OK) != 0) {
        FUnavailable = "dbus-daemon, polkitd or unshare is missing (scripts/setup.sh installs them)";
        return;
    }
    // Everything below is read by the user nobody and by polkitd's own user.
    ::chmod(FDir.path().toLocal8Bit().constData(), 0755);
    if (!StartDaemon()) return;
    if (!StartPolkit(options.GrantNobody)) return;
}

TPrivateSystemBus::~TPrivateSystemBus() {
    // The service ends itself when its bus goes; ending it first keeps the order plain.
    if (!FConnectionName.isEmpty()) {
        if (const uint32_t service = OwnerPid(QStringLiteral("org.kestrum.Freeing1"))) kill(service, SIGTERM);
        QDBusConnection::disconnectFromBus(FConnectionName);
    }
    Stop(FPolkit);
    Stop(FDaemon);
}

bool TPrivateSystemBus::StartDaemon() {
    const QString dir = FDir.path();
    QDir().mkpath(dir + "/services");
    const QString socket = dir + "/system_bus_socket";
    FAddress = "unix:path=" + socket;
    const QByteArray config =
        QStringLiteral(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>%1</listen>
  <auth>EXTERNAL</auth>
  <servicedir>%2/services</servicedir>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus.Introspectable"/>
  </policy>
  <include ignore_missing="yes">/usr/share/dbus-1/system.d/org.freedesktop.PolicyKit1.conf</include>
  <include>%3/packaging/dbus/org.kestrum.Freeing1.conf</include>
</busconfig>
)")
            .arg(FAddress, dir, QStringLiteral(KESTRUM_SOURCE_DIR))
            .toUtf8();
    // A copy under a name of its own, so a run that selects the service by name can select no other.
    FServiceName = QStringLiteral("kestrum-freed-%1").arg(getpid());
    const QString service = dir + "/" + FServiceName;
    if (!QFile::copy(QStringLiteral(KESTRUM_BINARY_DIR "/bin/kestrum-freed"), service) ||
        ::chmod(service.toLocal8Bit().constData(), 0755) != 0) {
        FUnavailable = "cannot copy the service";
        return false;
    }
    const QByteArray activation = QStringLiteral(
                                      "[D-BUS Service]\nName=org.kestrum.Freeing1\n"
                                      "Exec=%1 --idle-exit-ms %2 --min-spacing-ms %3 --log-stderr\n"
                                      "User=root\n")
                                      .arg(service)
                                      .arg(FOptions.IdleExitMs)
                                      .arg(FOptions.MinSpacingMs)
                                      .toUtf8();
    if (!WriteFile(dir + "/bus.conf", config) ||
        !WriteFile(dir + "/services/org.kestrum.Freeing1.service", activation)) {
        FUnavailable = "cannot write the bus configuration";
        return false;
    }
    const int log = ::open((dir + "/bus.log").toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    FDaemon =
        Spawn({"/usr/bin/dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + (dir + "/bus.conf").toStdString()},
              log, 0, {"DBUS_SYSTEM_BUS_ADDRESS=" + FAddress.toStdString()});
    ::close(log);
    for (int i = 0; i < 250 && access(socket.toLocal8Bit().constData(), F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    FConnectionName =
        "kestrum-test-" + QString::number(getpid()) + "-" + QString::number(reinterpret_cast<quintptr>(this));
    if (!QDBusConnection::connectToBus(FAddress, FConnectionName).isConnected()) {
        FUnavailable = "the private dbus-daemon did not start: " + Log();
        return false;
    }
    return true;
}

bool TPrivateSystemBus::StartPolkit(bool grantNobody) {
    const QString dir = FDir.path();
    for (const char* sub : {"/actions", "/rules", "/no-rules"}) {
        QDir().mkpath(dir + sub);
        ::chmod((dir + sub).toLocal8Bit().constData(), 0755);
    }
    QFile::copy(QStringLiteral(KESTRUM_SOURCE_DIR "/packaging/polkit/org.kestrum.freeing.policy"),
                dir + "/actions/org.kestrum.freeing.policy");
    ::chmod((dir + "/actions/org.kestrum.freeing.policy").toLocal8Bit().constData(), 0644);
    if (grantNobody)
        WriteFile(dir + "/rules/10-kestrum-test.rules",
                  "polkit.addRule(function(action, subject) {\n"
                  "  if (action.id == \"org.kestrum.freeing.free-memory\" && subject.user == \"nobody\")\n"
                  "    return polkit.Result.YES;\n"
                  "});\n");
    // polkitd reads its actions and rules from fixed folders; a private mount namespace shows it ours.
    const std::string d = dir.toStdString();
    const std::string script = "mount --bind '" + d + "/actions' /usr/share/polkit-1/actions && mount --bind '" + d +
                               "/rules' /etc/polkit-1/rules.d && mount --bind '" + d +
                               "/no-rules' /usr/share/polkit-1/rules.d && exec " + kPolkitd + " --no-debug";
    const int log = ::open((dir + "/polkit.log").toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    FPolkit = Spawn({"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c", script}, log, 0,
                    {"DBUS_SYSTEM_BUS_ADDRESS=" + FAddress.toStdString()});
    ::close(log);
    if (!WaitForName(QStringLiteral("org.freedesktop.PolicyKit1"), 10000)) {
        QFile f(dir + "/polkit.log");
        f.open(QIODevice::ReadOnly);
        FUnavailable = "polkitd did not come up on the private bus: " + f.readAll().toStdString();
        return false;
    }
    return true;
}

bool TPrivateSystemBus::WaitForName(const QString& name, int ms) const {
    for (int waited = 0; waited < ms; waited += 50) {
        if (Bus().interface()->isServiceRegistered(name)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string TPrivateSystemBus::Log() const {
    std::ifstream in((FDir.path() + "/bus.log").toStdString());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

uint32_t TPrivateSystemBus::OwnerPid(const QString& name) const {
    const QDBusReply<uint> pid = Bus().interface()->servicePid(name);
    return pid.isValid() ? pid.value() : 0;
}

TRunResult TPrivateSystemBus::RunAs(uid_t uid, const std::vector<std::string>& argv) const {
    TRunResult result;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return result;
    const pid_t pid = Spawn(
        argv, fds[1], uid,
        {"DBUS_SYSTEM_BUS_ADDRESS=" + FAddress.toStdString(), "KESTRUM_HOME=" + FDir.path().toStdString(), "LC_ALL=C"});
    ::close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) result.Output.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TVictim::TVictim(const QString& dir, const QString& name, uid_t uid, size_t bytes) {
    const QString program = dir + "/" + name;
    const QString data = dir + "/" + name + ".data";
    if (!QFile::copy(QStringLiteral(KESTRUM_TEST_VICTIM), program)) return;
    ::chmod(program.toLocal8Bit().constData(), 0755);
    QByteArray block(1 << 20, 'k');
    QFile f(data);
    if (!f.open(QIODevice::WriteOnly)) return;
    for (size_t i = 0; i < bytes; i += block.size()) f.write(block);
    f.close();
    ::chmod(data.toLocal8Bit().constData(), 0644);
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    FPid = Spawn({program.toStdString(), data.toStdString()}, fds[1], uid, {});
    ::close(fds[1]);
    char buf[64];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    ::close(fds[0]);
    if (n <= 0 || std::string(buf, static_cast<size_t>(n)).rfind("ready", 0) != 0) {
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        FPid = 0;
    }
}

TVictim::~TVictim() {
    if (FPid <= 0) return;
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
}

uint64_t TVictim::RssFileKb() const {
    std::ifstream in("/proc/" + std::to_string(FPid) + "/status");
    std::string key;
    uint64_t value = 0;
    while (in >> key)
        if (key == "RssFile:" && in >> value) return value;
    return 0;
}

} // namespace kestrum::test
