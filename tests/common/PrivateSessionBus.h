#pragma once
// A private session bus for one test: a dbus-daemon of its own, so stand-in desktop services can be put on
// it without touching the user's bus. Connections made through Connect() are closed with it.
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

namespace kestrum::test {

class TPrivateSessionBus {
public:
    TPrivateSessionBus() {
        FDaemon.start(u"dbus-daemon"_qs, {u"--session"_qs, u"--nofork"_qs, u"--print-address=1"_qs});
        if (!FDaemon.waitForStarted(5000)) return;
        QDeadlineTimer deadline(5000);
        while (!FDaemon.canReadLine() && !deadline.hasExpired()) FDaemon.waitForReadyRead(100);
        FAddress = QString::fromUtf8(FDaemon.readLine()).trimmed();
    }
    ~TPrivateSessionBus() {
        for (const QString& name : FConnections) QDBusConnection::disconnectFromBus(name);
        FDaemon.terminate();
        if (!FDaemon.waitForFinished(3000)) FDaemon.kill();
        FDaemon.waitForFinished(1000);
    }
    TPrivateSessionBus(const TPrivateSessionBus&) = delete;
    TPrivateSessionBus& operator=(const TPrivateSessionBus&) = delete;

    bool Running() const { return !FAddress.isEmpty(); }
    QString Address() const { return FAddress; }
    // A new connection to this bus (each has its own unique name, like a separate program).
    QDBusConnection Connect() {
        const QString name = u"kestrum-test-%1-%2"_qs.arg(quintptr(this)).arg(FConnections.size());
        FConnections << name;
        return QDBusConnection::connectToBus(FAddress, name);
    }

private:
    QProcess FDaemon;
    QString FAddress;
    QStringList FConnections;
};

} // namespace kestrum::test
