#include "freeservice/FreeServiceClient.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <atomic>

#include "freeservice/FreeServiceProtocol.h"

namespace kestrum {

namespace {

constexpr int kCapSysNice = 23, kCapSysPtrace = 19;

uint64_t EffectiveCapabilities() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("CapEff:")) return line.mid(7).trimmed().toULongLong(nullptr, 16);
    return 0;
}

QDBusConnection Bus(const QString& address) {
    if (address.isEmpty()) return QDBusConnection::systemBus();
    // One named connection per address, shared by all threads (QDBusConnection is thread-safe).
    static std::atomic<int> serial{0};
    static std::mutex m;
    static QHash<QString, QString> names;
    std::lock_guard lock(m);
    QString& name = names[address];
    if (name.isEmpty()) name = QStringLiteral("kestrum-free-%1").arg(serial++);
    return QDBusConnection::connectToBus(address, name);
}

// Errors that mean there is no service to ask (not installed, no bus, cannot be started).
bool MeansUnavailable(const QDBusError& e) {
    switch (e.type()) {
        case QDBusError::ServiceUnknown:
        case QDBusError::Disconnected:
        case QDBusError::NoServer:
        case QDBusError::NoNetwork:
        case QDBusError::AddressInUse:
        case QDBusError::UnknownObject:
        case QDBusError::UnknownInterface:
            return true;
        default:
            return e.name().startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn"));
    }
}

} // namespace

TFreeServiceClient::TFreeServiceClient(QString busAddress, int timeoutMs)
    : FBusAddress(std::move(busAddress)), FTimeoutMs(timeoutMs) {}

bool TFreeServiceClient::HasOwnTrimRight() {
    return EffectiveCapabilities() & (1ull << kCapSysNice);
}

bool TFreeServiceClient::HasOwnTrimRightForOtherUsers() {
    return EffectiveCapabilities() & (1ull << kCapSysPtrace);
}

QString TFreeServiceClient::UnavailableNotice(const QString& detail) {
    return QStringLiteral(
               "Kestrum may not free other programs' memory: that needs root or the capability CAP_SYS_NICE, "
               "and the freeing service kestrum-freed cannot be reached (%1). Install the Kestrum package "
               "(it brings the service with its D-Bus, polkit and systemd files, and needs the packages dbus "
               "and polkitd), then try again.")
        .arg(detail);
}

QString TFreeServiceClient::RefusedNotice(const QString& detail) {
    return QStringLiteral("The freeing service kestrum-freed did not free memory: %1").arg(detail);
}

QString TFreeServiceClient::NoticeOnce(const QString& notice) {
    std::lock_guard lock(FMutex);
    if (FNoticesGiven.contains(notice)) return {};
    FNoticesGiven.insert(notice);
    return notice;
}

std::optional<TFreeRunReport> TFreeServiceClient::Run(const TFreeRunRequest& request) {
    if (HasOwnTrimRight()) return std::nullopt;
    return RunThroughService(request);
}

TFreeRunReport TFreeServiceClient::RunThroughService(const TFreeRunRequest& request) {
    TFreeRunReport report;
    try {
        QDBusConnection bus = Bus(FBusAddress);
        if (!bus.isConnected()) {
            report.Route = TFreeRunRoute::Unavailable;
            report.Notice = NoticeOnce(
                UnavailableNotice(QStringLiteral("the system bus is not running: %1").arg(bus.lastError().message())));
            return report;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(freeservice::kBusName, freeservice::kObjectPath,
                                                           freeservice::kInterface, QStringLiteral("FreeMemory"));
        call << QVariant::fromValue(static_cast<uchar>(request.Mode)) << request.Selection
             << freeservice::RequestOptionsToMap(request);
        // polkit may ask the user for a password before the run starts.
        call.setInteractiveAuthorizationAllowed(true);
        const QDBusMessage reply = bus.call(call, QDBus::Block, FTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1) {
            report = freeservice::ReportFromMap(qdbus_cast<QVariantMap>(reply.arguments().at(0)));
            report.Route = TFreeRunRoute::Service;
            return report;
        }
        const QDBusError error(reply);
        if (reply.type() == QDBusMessage::ErrorMessage && MeansUnavailable(error)) {
            report.Route = TFreeRunRoute::Unavailable;
            report.Notice = NoticeOnce(UnavailableNotice(error.message()));
        } else {
            report.Route = TFreeRunRoute::Refused;
            report.Notice = NoticeOnce(RefusedNotice(
                reply.type() == QDBusMessage::ErrorMessage ? error.message() : QStringLiteral("unexpected reply")));
        }
    } catch (...) {
        report.Route = TFreeRunRoute::Refused;
        report.Notice = NoticeOnce(RefusedNotice(QStringLiteral("internal error")));
    }
    return report;
}

std::optional<QVariantMap> TFreeServiceClient::ServiceInfo(QString* error) {
    QDBusConnection bus = Bus(FBusAddress);
    if (!bus.isConnected()) {
        if (error) *error = QStringLiteral("the system bus is not running: %1").arg(bus.lastError().message());
        return std::nullopt;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(freeservice::kBusName, freeservice::kObjectPath,
                                                             freeservice::kInterface, QStringLiteral("GetInfo"));
    const QDBusMessage reply = bus.call(call, QDBus::Block, 30000);
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1)
        return qdbus_cast<QVariantMap>(reply.arguments().at(0));
    if (error)
        *error = reply.type() == QDBusMessage::ErrorMessage ? QDBusError(reply).message()
                                                            : QStringLiteral("unexpected reply");
    return std::nullopt;
}

} // namespace kestrum
