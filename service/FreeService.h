#pragma once
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <chrono>
#include <vector>

#include "RunGate.h"
#include "engine/FreeRunDelegate.h"

namespace kestrum::service {

struct TServiceOptions {
    std::chrono::milliseconds IdleExit{30000};  // ends after this long without a request
    std::chrono::milliseconds MinSpacing{3000}; // between one user's freeing requests
    int MaxInFlight = 16;                       // requests authorising or running at once
    QString ProcRoot = QStringLiteral("/proc");
};

// The freeing service's object on the system bus. Every call is authorised through polkit for the caller
// the bus daemon names; bad requests get a D-Bus error and change nothing; one run at a time, on a worker
// thread, so the bus stays served meanwhile. Each run is logged to the system log (the journal).
class TFreeService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kestrum.Freeing1")
public:
    TFreeService(const QDBusConnection& bus, TServiceOptions options, QObject* parent = nullptr);

    // Emitted when the service has been idle for IdleExit.
    Q_SIGNAL void idle();

public slots:
    // mode: 0 every process, 1 only the named, 2 and 3 all but the named. options: "FollowUpReclaim" (b).
    // Returns the run's report (see FreeServiceProtocol).
    Q_SCRIPTABLE QVariantMap FreeMemory(uchar mode, const QStringList& names, const QVariantMap& options);
    // Version, capabilities held, modes, options and limits.
    Q_SCRIPTABLE QVariantMap GetInfo();

private:
    bool Caller(uint32_t& uid, uint32_t& pid, std::vector<uint32_t>& groups);
    QVariantMap Info() const;
    void StartRun(const QDBusMessage& call, uint32_t uid, uint32_t pid, const std::vector<uint32_t>& groups,
                  TFreeRunRequest request);
    void Settle();

    QDBusConnection FBus;
    TServiceOptions FOptions;
    TRunGate FGate;
    QTimer FIdleTimer;
};

} // namespace kestrum::service
