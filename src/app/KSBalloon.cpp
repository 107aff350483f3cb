#include "app/KSBalloon.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace kestrum {

QString TKSBalloon::PlainLines(QString text) {
    text.replace(u"\n\r"_qs, u"\n"_qs);
    text.replace(u"\r\n"_qs, u"\n"_qs);
    text.replace(u'\r', u'\n');
    return text;
}

TKSBalloon::TKSBalloon(QSystemTrayIcon* trayIcon, QObject* owner)
    : QObject(owner), FTrayIcon(trayIcon), FTrayAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); }) {
    FSender.setMaxThreadCount(1);
}

TKSBalloon::~TKSBalloon() {
    FSender.waitForDone();
}

QString TKSBalloon::BusAddress() const {
    if (!FBusAddress.isEmpty()) return FBusAddress;
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!address.isEmpty()) return address;
    // The usual place of a systemd user session's bus. Nothing else is tried: a bus must never be started
    // (autolaunched) just for a balloon.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + u"/bus"_qs)) return u"unix:path="_qs + runtime + u"/bus"_qs;
    return {};
}

TKSBalloon::TRoute TKSBalloon::Show(const QString& title, const QString& text) {
    FLastRoute = TRoute::None;
    if (!FTrayIcon || !FTrayIcon->isVisible()) return FLastRoute;
    ++FCount;
    if (FTrayAvailable && FTrayAvailable()) {
        FTrayIcon->showMessage(title, PlainLines(text), QSystemTrayIcon::Information, TimeoutMs);
        FLastRoute = TRoute::Tray;
    } else {
        Notify(title, PlainLines(text));
        FLastRoute = TRoute::Notification;
    }
    return FLastRoute;
}

void TKSBalloon::Notify(const QString& title, const QString& text) {
    const QString address = BusAddress();
    if (address.isEmpty()) {
        emit NotificationSent(false, 0);
        return;
    }
    FSender.start([this, address, title, text] {
        const QString name = u"kestrum-notifications "_qs + address; // one connection per bus
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        bool ok = false;
        uint id = 0;
        if (bus.isConnected()) {
            QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.Notifications"_qs,
                                                               u"/org/freedesktop/Notifications"_qs,
                                                               u"org.freedesktop.Notifications"_qs, u"Notify"_qs);
            // Servers may read the body as simple markup: the figures are shown as written.
            call << u"Kestrum"_qs << uint(0) << u"dialog-information"_qs << title << text.toHtmlEscaped()
                 << QStringList() << QVariantMap() << int(TimeoutMs);
            const QDBusMessage reply = bus.call(call, QDBus::Block, TimeoutMs);
            ok = reply.type() == QDBusMessage::ReplyMessage;
            if (ok && !reply.arguments().isEmpty()) id = reply.arguments().first().toUInt();
        }
        QMetaObject::invokeMethod(
            this, [this, ok, id] { emit NotificationSent(ok, id); }, Qt::QueuedConnection);
    });
}

} // namespace kestrum
