#include "desktop/KdeDndSource.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace kestrum {

namespace {
const QString kService = u"org.freedesktop.Notifications"_qs;
const QString kPath = u"/org/freedesktop/Notifications"_qs;
const QString kProperties = u"org.freedesktop.DBus.Properties"_qs;
} // namespace

TKdeDndSource::TKdeDndSource(const QDBusConnection& bus, QObject* parent) : TDndSource(parent), FBus(bus) {
    if (!FBus.isConnected()) return;
    auto* watcher = new QDBusServiceWatcher(kService, FBus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                if (newOwner.isEmpty())
                    SetActive(false);
                else
                    Query();
            });
    FBus.connect(kService, kPath, kProperties, u"PropertiesChanged"_qs, this,
                 SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
    if (FBus.interface() && FBus.interface()->isServiceRegistered(kService)) Query();
}

void TKdeDndSource::PropertiesChanged(const QString& interfaceName, const QVariantMap& changed,
                                      const QStringList& invalidated) {
    if (interfaceName != kService) return;
    if (auto it = changed.find(u"Inhibited"_qs); it != changed.end())
        SetActive(it->toBool());
    else if (invalidated.contains(u"Inhibited"_qs))
        Query();
}

void TKdeDndSource::Query() {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kProperties, u"Get"_qs);
    call << kService << u"Inhibited"_qs;
    call.setAutoStartService(false);
    auto* w = new QDBusPendingCallWatcher(FBus.asyncCall(call), this);
    connect(w, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        // Notification services other than KDE's have no such property: an error, and the source stays off.
        QDBusPendingReply<QDBusVariant> reply = *w;
        if (!reply.isError()) SetActive(reply.value().variant().toBool());
        w->deleteLater();
    });
}

} // namespace kestrum
