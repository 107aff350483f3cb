// kestrum-freed: the freeing service on the system bus. Started on demand (D-Bus activation, through systemd
// where it runs), ends when idle.
#include <syslog.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "Capabilities.h"
#include "FreeService.h"
#include "freeservice/FreeServiceProtocol.h"

using namespace kestrum;

namespace {

const char* kHelp =
    "Usage: kestrum-freed [--idle-exit-ms MS] [--min-spacing-ms MS] [--log-stderr]\n"
    "The Kestrum freeing service for the system bus; D-Bus activation starts it.\n"
    "  --idle-exit-ms MS     end after MS milliseconds without a request (default 30000)\n"
    "  --min-spacing-ms MS   least time between one user's freeing runs (default 3000)\n"
    "  --log-stderr          copy the log lines to standard error\n";

bool ParseMs(const char* text, std::chrono::milliseconds& out) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || v < 0 || v > 24L * 3600 * 1000) return false;
    out = std::chrono::milliseconds(v);
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    service::TServiceOptions options;
    bool logStderr = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--idle-exit-ms") && i + 1 < argc && ParseMs(argv[i + 1], options.IdleExit)) {
            ++i;
        } else if (!std::strcmp(a, "--min-spacing-ms") && i + 1 < argc && ParseMs(argv[i + 1], options.MinSpacing)) {
            ++i;
        } else if (!std::strcmp(a, "--log-stderr")) {
            logStderr = true;
        } else if (!std::strcmp(a, "--version")) {
            std::printf("kestrum-freed %s\n", KESTRUM_FILE_VERSION);
            return 0;
        } else {
            std::fputs(kHelp, std::strcmp(a, "--help") ? stderr : stdout);
            return std::strcmp(a, "--help") ? 1 : 0;
        }
    }
    openlog("kestrum-freed", LOG_PID | (logStderr ? LOG_PERROR : 0), LOG_DAEMON);

    // First of all: keep only the two capabilities trimming needs.
    std::string capError;
    if (!service::KeepOnlyTrimCapabilities(&capError)) {
        syslog(LOG_ERR, "cannot narrow the capabilities (%s); not serving", capError.c_str());
        return 1;
    }

    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        syslog(LOG_ERR, "no system bus: %s", qPrintable(bus.lastError().message()));
        return 1;
    }
    service::TFreeService service(bus, options);
    if (!bus.registerObject(freeservice::kObjectPath, &service, QDBusConnection::ExportScriptableSlots)) {
        syslog(LOG_ERR, "cannot register the object: %s", qPrintable(bus.lastError().message()));
        return 1;
    }
    if (!bus.registerService(freeservice::kBusName)) {
        syslog(LOG_ERR, "cannot own %s: %s", qPrintable(freeservice::kBusName), qPrintable(bus.lastError().message()));
        return 1;
    }
    syslog(LOG_INFO, "serving %s (capabilities: %s)", qPrintable(freeservice::kBusName),
           qPrintable(service::EffectiveCapabilityNames().join(u' ')));
    QTimer drain;
    drain.setInterval(250);
    QObject::connect(&service, &service::TFreeService::idle, &app, [&]() {
        // Give the name back first, so a new request starts a fresh instance instead of reaching this one.
        // Calls the bus routed here before that are still on their way in: they are served, and only a
        // quiet spell after the last of them ends the process.
        if (drain.isActive()) return;
        bus.unregisterService(freeservice::kBusName);
        syslog(LOG_INFO, "idle, giving the name back");
        drain.start();
    });
    int quietTicks = 0;
    QObject::connect(&drain, &QTimer::timeout, &app, [&]() {
        quietTicks = service.Idle() ? quietTicks + 1 : 0;
        if (quietTicks < 2) return;
        syslog(LOG_INFO, "idle, ending");
        QCoreApplication::quit();
    });
    // A bus that goes away takes our callers with it.
    bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"), QStringLiteral("org.freedesktop.DBus.Local"),
                QStringLiteral("Disconnected"), &app, SLOT(quit()));
    return app.exec();
}
