#pragma once
// A stand-in for a panel's StatusNotifierItem watcher on a test's private session bus: it answers whether a
// host is registered, records the items that register, and sends the host signals when told to.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QStringList>

namespace kestrum::test {

class TFakeTrayWatcher : public QDBusVirtualObject {
public:
    static inline const QString Service = u"org.kde.StatusNotifierWatcher"_qs;
    static inline const QString Path = u"/StatusNotifierWatcher"_qs;

    explicit TFakeTrayWatcher(QDBusConnection bus) : FBus(bus) {}
    ~TFakeTrayWatcher() override { Stop(); }
    // Puts the watcher on the bus, with or without a host.
    bool Start(bool host) {
        Host = host;
        return FBus.registerVirtualObject(Path, this) && FBus.registerService(Service);
    }
    void Stop() {
        FBus.unregisterService(Service);
        FBus.unregisterObject(Path);
    }
    void SetHost(bool host) {
        Host = host;
        FBus.send(QDBusMessage::createSignal(
            Path, Service, host ? u"StatusNotifierHostRegistered"_qs : u"StatusNotifierHostUnregistered"_qs));
    }

    bool Host = false;
    QStringList Items; // as RegisterStatusNotifierItem named them

    QString introspect(const QString&) const override {
        return u"<interface name=\"org.kde.StatusNotifierWatcher\">"
               "<method name=\"RegisterStatusNotifierItem\"><arg name=\"service\" type=\"s\" "
               "direction=\"in\"/></method>"
               "<method name=\"RegisterStatusNotifierHost\"><arg name=\"service\" type=\"s\" "
               "direction=\"in\"/></method>"
               "<property name=\"RegisteredStatusNotifierItems\" type=\"as\" access=\"read\"/>"
               "<property name=\"IsStatusNotifierHostRegistered\" type=\"b\" access=\"read\"/>"
               "<property name=\"ProtocolVersion\" type=\"i\" access=\"read\"/>"
               "<signal name=\"StatusNotifierItemRegistered\"><arg type=\"s\"/></signal>"
               "<signal name=\"StatusNotifierHostRegistered\"/>"
               "<signal name=\"StatusNotifierHostUnregistered\"/>"
               "</interface>"_qs;
    }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& connection) override {
        QDBusConnection bus(connection);
        const QString member = m.member();
        if (member == u"Introspect"_qs) {
            bus.send(m.createReply(u"<node>"_qs + introspect(m.path()) + u"</node>"_qs));
        } else if (member == u"Get"_qs || member == u"GetAll"_qs) {
            const QVariantMap all{{u"IsStatusNotifierHostRegistered"_qs, Host},
                                  {u"ProtocolVersion"_qs, 0},
                                  {u"RegisteredStatusNotifierItems"_qs, Items}};
            if (member == u"GetAll"_qs)
                bus.send(m.createReply(all));
            else
                bus.send(
                    m.createReply(QVariant::fromValue(QDBusVariant(all.value(m.arguments().value(1).toString())))));
        } else if (member == u"RegisterStatusNotifierItem"_qs) {
            Items << m.arguments().value(0).toString();
            bus.send(m.createReply());
            QDBusMessage s = QDBusMessage::createSignal(Path, Service, u"StatusNotifierItemRegistered"_qs);
            s << Items.last();
            bus.send(s);
        } else {
            bus.send(m.createReply());
        }
        return true;
    }

private:
    QDBusConnection FBus;
};

} // namespace kestrum::test
