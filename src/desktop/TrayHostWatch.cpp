#include "desktop/TrayHostWatch.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace kestrum {

namespace {
const QString kService = u"org.kde.StatusNotifierWatcher"_qs;
const QString kPath = u"/StatusNotifierWatcher"_qs;
const QString kInterface = u"org.kde.StatusNotifierWatcher"_qs;
} // namespace

TTrayHostWatch::TTrayHostWatch(const QDBusConnection& bus, QObject* parent) : QObject(parent), FBus(bus) {
    if (!FBus.isConnected()) return;
    FWatcher = new QDBusServiceWatcher(kService, FBus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(FWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty())
                    Set(false); // the watcher ended, and the hosts it knew with it
                else
                    Query(false);
            });
    FBus.connect(kService, kPath, kInterface, u"StatusNotifierHostRegistered"_qs, this, SLOT(HostRegisteredSignal()));
    FBus.connect(kService, kPath, kInterface, u"StatusNotifierHostUnregistered"_qs, this,
                 SLOT(HostUnregisteredSignal()));
    if (FBus.interface() && FBus.interface()->isServiceRegistered(kService)) Query(true);
}

void TTrayHostWatch::HostRegisteredSignal() {
    Set(true);
}

void TTrayHostWatch::HostUnregisteredSignal() {
    Query(false); // another host may remain
}

void TTrayHostWatch::Query(bool wait) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, u"org.freedesktop.DBus.Properties"_qs, u"Get"_qs);
    call << kInterface << u"IsStatusNotifierHostRegistered"_qs;
    call.setAutoStartService(false);
    if (wait) {
        const QDBusReply<QDBusVariant> reply = FBus.call(call, QDBus::Block, 2000);
        FHost = reply.isValid() && reply.value().variant().toBool();
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QDBusVariant> reply = *w;
        Set(!reply.isError() && reply.value().variant().toBool());
        w->deleteLater();
    });
}

void TTrayHostWatch::Set(bool host) {
    if (host == FHost) return;
    FHost = host;
    emit HostChanged(host);
}

} // namespace kestrum
