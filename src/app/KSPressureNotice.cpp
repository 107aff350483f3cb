#include "app/KSPressureNotice.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QSystemTrayIcon>
#include <QVariantMap>

#include "app/KSBalloon.h"

namespace kestrum {

namespace {

const QString Service = u"org.freedesktop.Notifications"_qs;
const QString Path = u"/org/freedesktop/Notifications"_qs;
const QString Interface = u"org.freedesktop.Notifications"_qs;

} // namespace

TKSPressureNotice::TKSPressureNotice(QSystemTrayIcon* trayIcon, QObject* owner)
    : QObject(owner), FTrayIcon(trayIcon), FTrayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); }) {}

TKSPressureNotice::~TKSPressureNotice() {
    if (FConnected) QDBusConnection::disconnectFromBus(FConnectionName);
}

TKSPressureNotice::TRoute TKSPressureNotice::Show(const QString& title, const QString& text,
                                                  const QString& actionLabel) {
    if (FTrayIcon && FTrayIcon->isVisible() && FTrayAvailable && FTrayAvailable()) {
        // The tray balloon has no buttons: the tray menu's "Free Now" is one click away.
        FTrayIcon->showMessage(title, TKSBalloon::PlainLines(text), QSystemTrayIcon::Warning, TimeoutMs);
        FLastRoute = TRoute::Tray;
    } else {
        Notify(title, TKSBalloon::PlainLines(text), actionLabel);
        FLastRoute = TRoute::Notification;
    }
    return FLastRoute;
}

bool TKSPressureNotice::Connect() {
    if (FConnected) return true;
    QString address = FBusAddress;
    if (address.isEmpty()) address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        // A systemd user session's bus; never one started just for this.
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (!runtime.isEmpty() && QFileInfo::exists(runtime + u"/bus"_qs))
            address = u"unix:path="_qs + runtime + u"/bus"_qs;
    }
    if (address.isEmpty()) return false;
    FConnectionName = u"kestrum-pressure "_qs + address;
    // A local socket: connecting is quick; the calls that may wait on the service go out asynchronously.
    QDBusConnection bus = QDBusConnection::connectToBus(address, FConnectionName);
    if (!bus.isConnected()) {
        QDBusConnection::disconnectFromBus(FConnectionName);
        return false;
    }
    bus.connect(QString(), Path, Interface, u"ActionInvoked"_qs, this, SLOT(OnActionInvoked(uint, QString)));
    FConnected = true;
    return true;
}

void TKSPressureNotice::Notify(const QString& title, const QString& text, const QString& actionLabel) {
    if (!Connect()) {
        emit NotificationSent(false, false);
        return;
    }
    QDBusConnection bus(FConnectionName);
    // Actions only where the service says it shows them; otherwise the text alone.
    const QDBusMessage ask = QDBusMessage::createMethodCall(Service, Path, Interface, u"GetCapabilities"_qs);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, title, text, actionLabel] {
        watcher->deleteLater();
        const QDBusPendingReply<QStringList> reply = *watcher;
        if (reply.isError()) {
            emit NotificationSent(false, false);
            return;
        }
        SendNotify(title, text, actionLabel, !actionLabel.isEmpty() && reply.value().contains(u"actions"_qs));
    });
}

void TKSPressureNotice::SendNotify(const QString& title, const QString& text, const QString& actionLabel,
                                   bool withAction) {
    QDBusConnection bus(FConnectionName);
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, u"Notify"_qs);
    const QStringList actions = withAction ? QStringList{QString::fromLatin1(ActionKey), actionLabel} : QStringList();
    QVariantMap hints;
    hints.insert(u"urgency"_qs, QVariant::fromValue(uchar(1)));
    // Replaces the previous warning, should it still be on screen.
    call << u"Kestrum"_qs << FNotificationId << u"dialog-warning"_qs << title << text.toHtmlEscaped() << actions
         << hints << int(TimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, withAction] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (!reply.isError()) FNotificationId = reply.value();
        emit NotificationSent(!reply.isError(), withAction);
    });
}

void TKSPressureNotice::OnActionInvoked(uint id, const QString& key) {
    // Other programs' notifications send the same signal: only ours counts.
    if (id != 0 && id == FNotificationId && key == QLatin1String(ActionKey)) emit FreeNowRequested();
}

} // namespace kestrum
