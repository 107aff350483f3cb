// A hostile caller of the freeing service: from several connections at once, keeps FreeMemory calls of as
// many names as one message may carry on their way, without waiting for answers, for the given seconds.
// Usage: kestrum_test_flood ADDRESS SECONDS CONNECTIONS NAMES
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>

int main(int argc, char* argv[]) {
    if (argc != 5) return 2;
    QCoreApplication app(argc, argv);
    const QString address = QString::fromLocal8Bit(argv[1]);
    const int seconds = std::atoi(argv[2]), connections = std::atoi(argv[3]), count = std::atoi(argv[4]);
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i) names << QStringLiteral("n%1").arg(i);
    QList<QDBusConnection> buses;
    for (int i = 0; i < connections; ++i) {
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("flood%1").arg(i));
        if (bus.isConnected()) buses << bus;
    }
    if (buses.isEmpty()) return 3;
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.kestrum.Freeing1"), QStringLiteral("/org/kestrum/Freeing1"),
                                       QStringLiteral("org.kestrum.Freeing1"), QStringLiteral("FreeMemory"));
    call.setArguments({QVariant::fromValue(uchar(1)), names, QVariantMap{}});
    long sent = 0, refused = 0;
    QElapsedTimer clock;
    clock.start();
    // A few calls per connection on the way at any time; each answer (mostly refusals) sends the next.
    std::function<void(QDBusConnection)> fire = [&](QDBusConnection bus) {
        if (clock.elapsed() > seconds * 1000 || !bus.isConnected()) return;
        ++sent;
        auto* w = new QDBusPendingCallWatcher(bus.asyncCall(call, 60000));
        QObject::connect(w, &QDBusPendingCallWatcher::finished, [&, w, bus]() {
            if (w->isError()) ++refused;
            w->deleteLater();
            fire(bus);
        });
    };
    for (const QDBusConnection& bus : buses)
        for (int i = 0; i < 4; ++i) fire(bus);
    QTimer::singleShot(seconds * 1000 + 500, &app, &QCoreApplication::quit);
    app.exec();
    std::printf("sent %ld calls, %ld refused\n", sent, refused);
    return 0;
}
