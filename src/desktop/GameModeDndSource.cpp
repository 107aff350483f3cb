#include "desktop/GameModeDndSource.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace kestrum {

namespace {
const QString kService = u"com.feralinteractive.GameMode"_qs;
const QString kPath = u"/com/feralinteractive/GameMode"_qs;
const QString kInterface = u"com.feralinteractive.GameMode"_qs;
const QString kProperties = u"org.freedesktop.DBus.Properties"_qs;
} // namespace

TGameModeDndSource::TGameModeDndSource(const QDBusConnection& bus, QObject* parent) : TDndSource(parent), FBus(bus) {
    if (!FBus.isConnected()) return;
    FWatcher = new QDBusServiceWatcher(kService, FBus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(FWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty())
                    SetActive(false); // the daemon ended: its games count no more
                else
                    Query();
            });
    FBus.connect(kService, kPath, kProperties, u"PropertiesChanged"_qs, this,
                 SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
    FBus.connect(kService, kPath, kInterface, u"GameRegistered"_qs, this, SLOT(GameListChanged()));
    FBus.connect(kService, kPath, kInterface, u"GameUnregistered"_qs, this, SLOT(GameListChanged()));
    // Only a daemon that already runs is asked: reading from a stopped one would start it.
    if (FBus.interface() && FBus.interface()->isServiceRegistered(kService)) Query();
}

void TGameModeDndSource::PropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                           const QStringList& invalidated) {
    if (interfaceName != kInterface) return;
    if (auto it = changed.find(u"ClientCount"_qs); it != changed.end())
        SetActive(it->toInt() > 0);
    else if (invalidated.contains(u"ClientCount"_qs))
        Query();
}

void TGameModeDndSource::GameListChanged() {
    Query();
}

void TGameModeDndSource::Query() {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kProperties, u"Get"_qs);
    call << kInterface << u"ClientCount"_qs;
    // Never start the daemon just to learn that nothing plays.
    call.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        QDBusPendingReply<QDBusVariant> reply = *w;
        if (!reply.isError()) SetActive(reply.value().variant().toInt() > 0);
        w->deleteLater();
    });
}

} // namespace kestrum
