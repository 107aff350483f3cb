#pragma once
#include <QDBusConnection>
#include <QDBusContext>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "RunGate.h"
#include "engine/FreeRunDelegate.h"

namespace kestrum::service {

struct TServiceOptions {
    std::chrono::milliseconds IdleExit{30000};   // ends after this long without a request
    std::chrono::milliseconds MinSpacing{3000};  // from the end of one user's run to that user's next request
    std::chrono::milliseconds MaxRunTime{20000}; // a run stops trimming after this long
    int MaxInFlight = 16;                        // requests authorising or running at once (one per user)
    int MaxUnidentified = 64;                    // calls whose sender the bus has not named yet
    int MaxRuns = 4;                             // runs at once (of different users)
    QString ProcRoot = QStringLiteral("/proc");
};

// The freeing service's object on the system bus. Every call is authorised through polkit for the caller
// the bus daemon names, before anything the caller sent is looked at; bad requests get a D-Bus error and
// change nothing; each user has one call at a time, and runs go on worker threads, so the bus stays served
// meanwhile. Each run is logged to the system log (the journal).
class TFreeService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kestrum.Freeing1")
public:
    TFreeService(const QDBusConnection& bus, TServiceOptions options, QObject* parent = nullptr);

    // No call waiting, authorising or running.
    bool Idle() const;
    // Emitted when the service has been idle for IdleExit.
    Q_SIGNAL void idle();

public slots:
    // mode: 0 every process, 1 only the named, 2 and 3 all but the named. options: "FollowUpReclaim" (b),
    // "AllUsers" (b). Returns the run's report (see FreeServiceProtocol).
    Q_SCRIPTABLE QVariantMap FreeMemory(uchar mode, const QStringList& names, const QVariantMap& options);
    // Version, capabilities held, modes, options and limits.
    Q_SCRIPTABLE QVariantMap GetInfo();

private:
    struct TCredentials {
        uint32_t Uid = 0, Pid = 0;
        std::vector<uint32_t> Groups;
    };
    using TCredentialsDone = std::function<void(std::optional<TCredentials>)>;

    // Takes the current call on as the sender's one outstanding call; false (and answered Busy) when that
    // sender already has one or too many senders are still unnamed.
    bool AcceptSender(const QDBusMessage& call);
    void AskCredentials(const QString& sender, TCredentialsDone done);
    // Answers the call and lets its sender call again.
    void Answer(const QDBusMessage& call, const QDBusMessage& reply);
    QVariantMap Info() const;
    void StartRun(const QDBusMessage& call, const TCredentials& who, TFreeRunRequest request);
    void Settle();

    QDBusConnection FBus;
    TServiceOptions FOptions;
    TRunGate FGate;
    QTimer FIdleTimer;
    QSet<QString> FOutstanding;          // unique bus names with a call in hand
    QHash<QString, TCredentials> FKnown; // unique bus names already named (never reused on a bus)
    int FUnidentified = 0;
};

} // namespace kestrum::service
