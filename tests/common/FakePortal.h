#pragma once
// A stand-in for the desktop portal's global shortcuts on a test's private session bus.
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QStringList>

namespace kestrum::test {

inline const QString kPortalPath = u"/org/freedesktop/portal/desktop"_qs;
inline const QString kShortcuts = u"org.freedesktop.portal.GlobalShortcuts"_qs;

inline QVariantMap PortalMap(const QVariant& v) {
    if (v.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(v.value<QDBusArgument>());
    return v.toMap();
}

// One entry of the portal's a(sa{sv}) shortcut lists.
struct TShortcut {
    QString Id;
    QVariantMap Properties;
};
inline QDBusArgument& operator<<(QDBusArgument& arg, const TShortcut& s) {
    arg.beginStructure();
    arg << s.Id << s.Properties;
    arg.endStructure();
    return arg;
}
inline const QDBusArgument& operator>>(const QDBusArgument& arg, TShortcut& s) {
    arg.beginStructure();
    arg >> s.Id >> s.Properties;
    arg.endStructure();
    return arg;
}

} // namespace kestrum::test

Q_DECLARE_METATYPE(kestrum::test::TShortcut)

namespace kestrum::test {

// A stand-in for the desktop portal, as far as global shortcuts go: each method answers with a request path
// and then sends that request's Response with the code the test set.
class TFakePortal : public QDBusVirtualObject {
public:
    explicit TFakePortal(QDBusConnection bus) : FBus(bus) {
        qDBusRegisterMetaType<TShortcut>();
        qDBusRegisterMetaType<QList<TShortcut>>();
    }
    ~TFakePortal() override { FBus.unregisterObject(kPortalPath, QDBusConnection::UnregisterTree); }
    bool Start() {
        return FBus.registerVirtualObject(kPortalPath, this, QDBusConnection::SubPath) &&
               FBus.registerService(u"org.freedesktop.portal.Desktop"_qs);
    }

    uint CreateCode = 0, BindCode = 0;
    bool Shortcuts = true; // whether the GlobalShortcuts interface is offered
    uint Version = 1;      // its version property
    QString ChosenTrigger = u"Alt+M"_qs;
    QStringList Calls;               // method names in order, Close and ConfigureShortcuts with their session path
    QList<TShortcut> BoundShortcuts; // as the last BindShortcuts sent them
    QString LastSession;

    void Activate(const QString& session, const QString& id) {
        QDBusMessage s = QDBusMessage::createSignal(kPortalPath, kShortcuts, u"Activated"_qs);
        s << QVariant::fromValue(QDBusObjectPath(session)) << id << quint64(1) << QVariantMap();
        FBus.send(s);
    }
    void CloseSession(const QString& session) {
        QDBusMessage s = QDBusMessage::createSignal(session, u"org.freedesktop.portal.Session"_qs, u"Closed"_qs);
        s << QVariantMap();
        FBus.send(s);
    }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& connection) override {
        QDBusConnection bus(connection);
        const QString member = m.member();
        if (member == u"Get"_qs) {
            if (!Shortcuts) {
                bus.send(m.createErrorReply(QDBusError::UnknownInterface, u"no such interface"_qs));
            } else {
                bus.send(m.createReply(QVariant::fromValue(QDBusVariant(QVariant(Version)))));
            }
            return true;
        }
        if (member == u"Close"_qs)
            Calls << u"Close "_qs + m.path();
        else if (member == u"ConfigureShortcuts"_qs && !m.arguments().isEmpty())
            Calls << member + u' ' + m.arguments().first().value<QDBusObjectPath>().path();
        else
            Calls << member;
        if (member == u"Register"_qs || member == u"Close"_qs || member == u"ConfigureShortcuts"_qs) {
            bus.send(m.createReply());
            return true;
        }
        const QVariantList args = m.arguments();
        const QVariantMap options = PortalMap(args.last());
        QString sender = m.service();
        sender.remove(u':');
        sender.replace(u'.', u'_');
        const QString request =
            kPortalPath + u"/request/"_qs + sender + u'/' + options.value(u"handle_token"_qs).toString();
        bus.send(m.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        uint code = 2;
        QVariantMap results;
        if (member == u"CreateSession"_qs) {
            code = CreateCode;
            LastSession =
                kPortalPath + u"/session/"_qs + sender + u'/' + options.value(u"session_handle_token"_qs).toString();
            results.insert(u"session_handle"_qs, LastSession);
        } else if (member == u"BindShortcuts"_qs) {
            code = BindCode;
            BoundShortcuts = qdbus_cast<QList<TShortcut>>(args.at(1).value<QDBusArgument>());
            QList<TShortcut> chosen;
            for (const TShortcut& s : BoundShortcuts)
                chosen.push_back({s.Id,
                                  {{u"description"_qs, s.Properties.value(u"description"_qs)},
                                   {u"trigger_description"_qs, ChosenTrigger}}});
            results.insert(u"shortcuts"_qs, QVariant::fromValue(chosen));
        }
        QDBusMessage response =
            QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_qs, u"Response"_qs);
        response << code << results;
        bus.send(response);
        return true;
    }

private:
    QDBusConnection FBus;
};

} // namespace kestrum::test
