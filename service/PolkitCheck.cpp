#include "PolkitCheck.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMap>

namespace kestrum::service {

namespace {
// An authentication dialog may be up for a while; past this the answer is no.
constexpr int kTimeoutMs = 120000;
constexpr uint kAllowUserInteraction = 1;
} // namespace

void CheckAuthorization(const QDBusConnection& bus, const QString& sender, const QString& action, bool allowInteraction,
                        QObject* context, std::function<void(bool authorized, const QString& detail)> done) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.PolicyKit1"), QStringLiteral("/org/freedesktop/PolicyKit1/Authority"),
        QStringLiteral("org.freedesktop.PolicyKit1.Authority"), QStringLiteral("CheckAuthorization"));
    // subject (sa{sv}): kind "system-bus-name", details {"name": sender}
    QDBusArgument subject;
    subject.beginStructure();
    subject << QStringLiteral("system-bus-name");
    subject.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QDBusVariant>());
    subject.beginMapEntry();
    subject << QStringLiteral("name") << QDBusVariant(sender);
    subject.endMapEntry();
    subject.endMap();
    subject.endStructure();
    // details a{ss}: none
    QDBusArgument details;
    details.beginMap(QMetaType::fromType<QString>(), QMetaType::fromType<QString>());
    details.endMap();
    call << QVariant::fromValue(subject) << action << QVariant::fromValue(details)
         << (allowInteraction ? kAllowUserInteraction : 0u) << QString();

    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context, [watcher, done]() {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
            done(false, QStringLiteral("polkit could not be asked (%1)").arg(watcher->error().message()));
            return;
        }
        // result (bba{ss}): is_authorized, is_challenge, details
        bool authorized = false, challenge = false;
        const QDBusArgument result = reply.arguments().at(0).value<QDBusArgument>();
        if (result.currentType() != QDBusArgument::StructureType) {
            done(false, QStringLiteral("polkit gave an answer of the wrong shape"));
            return;
        }
        result.beginStructure();
        result >> authorized >> challenge;
        result.endStructure();
        if (authorized)
            done(true, {});
        else
            done(false, challenge ? QStringLiteral("authentication is needed and was not given")
                                  : QStringLiteral("the caller is not the user at the active local session "
                                                   "(remote, inactive or without a login session), and no "
                                                   "polkit rule allows it"));
    });
}

} // namespace kestrum::service
