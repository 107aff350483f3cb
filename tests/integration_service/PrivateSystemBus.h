#pragma once
// A private system bus for the freeing service's tests: a dbus-daemon with its own configuration (the
// package's bus policy included), the real polkit daemon on it in a private mount namespace that shows it
// the package's polkit actions and the test's rules, and the service started by D-Bus activation from the
// build tree. Nothing of the machine's own bus, polkit or files is touched. Needs root.
#include <sys/types.h>

#include <QDBusConnection>
#include <QString>
#include <QTemporaryDir>
#include <string>
#include <vector>

namespace kestrum::test {

struct TBusOptions {
    bool GrantNobody = false; // a polkit rule lets the user nobody free memory
    int IdleExitMs = 30000;
    int MinSpacingMs = 5000;
};

// What a program run on the bus printed and how it ended.
struct TRunResult {
    int ExitCode = -1;
    std::string Output; // standard output and error
};

class TPrivateSystemBus {
public:
    static constexpr uid_t kNobody = 65534;

    explicit TPrivateSystemBus(const TBusOptions& options);
    ~TPrivateSystemBus();
    TPrivateSystemBus(const TPrivateSystemBus&) = delete;
    TPrivateSystemBus& operator=(const TPrivateSystemBus&) = delete;

    // Empty when everything runs; otherwise why the bus could not be set up (the test skips).
    const std::string& Unavailable() const { return FUnavailable; }
    QString Address() const { return FAddress; }
    QString Dir() const { return FDir.path(); }
    // The executable name of this bus's service (a copy of the build's, unique to this test).
    QString ServiceName() const { return FServiceName; }
    // The test's own connection (as root).
    QDBusConnection Bus() const { return QDBusConnection(FConnectionName); }
    // The service's log lines so far (dbus-daemon passes the activated service's standard error on).
    std::string Log() const;
    // The id of the process owning `name` on the bus, 0 when none.
    uint32_t OwnerPid(const QString& name) const;

    // Runs a program as `uid` with this bus as its system bus.
    TRunResult RunAs(uid_t uid, const std::vector<std::string>& argv) const;

private:
    bool StartDaemon();
    bool StartPolkit(bool grantNobody);
    bool WaitForName(const QString& name, int ms) const;

    QTemporaryDir FDir;
    QString FAddress, FConnectionName, FServiceName;
    pid_t FDaemon = 0, FPolkit = 0;
    std::string FUnavailable;
    TBusOptions FOptions;
};

// A process owned by `uid` that maps a file of `bytes` and keeps it resident, run from a copy of the victim
// program named `name`, so selecting it by name selects nothing else on the machine.
class TVictim {
public:
    TVictim(const QString& dir, const QString& name, uid_t uid, size_t bytes);
    ~TVictim();
    bool Ready() const { return FPid > 0; }
    pid_t Pid() const { return FPid; }
    uint64_t RssFileKb() const;

private:
    pid_t FPid = 0;
};

} // namespace kestrum::test
