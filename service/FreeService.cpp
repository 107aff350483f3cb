#include "FreeService.h"

#include <syslog.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QPointer>
#include <thread>

#include "CallerScope.h"
#include "Capabilities.h"
#include "PolkitCheck.h"
#include "engine/MemoryOptimize.h"
#include "freeservice/FreeServiceProtocol.h"
#include "platform/IDesktop.h"

namespace kestrum::service {

namespace {

// No windows here; the service never runs the smart ranking.
class TNoDesktop final : public platform::IDesktop {
public:
    platform::TWindowId ForegroundWindow() override { return 0; }
    uint32_t WindowProcessId(platform::TWindowId) override { return 0; }
    std::optional<platform::TRect> WindowRect(platform::TWindowId) override { return std::nullopt; }
    bool IsShellWindow(platform::TWindowId) override { return false; }
    platform::TRect PrimaryScreenRect() override { return {}; }
};

TFreeRunReport RunFor(const TCaller& caller, const TFreeRunRequest& request, const std::string& procRoot,
                      std::chrono::steady_clock::time_point deadline) {
    auto processes = platform::MakeLinuxProcesses(procRoot);
    TCallerScopedProcesses scoped(*processes, caller, procRoot, deadline);
    TNoDesktop desktop;
    TMemoryOptimize engine(desktop, scoped);
    // The caller's selection, never-trim list and protected processes, as the program itself applies them.
    return engine.FreeMemoryFor(request);
}

// How many bus names the service remembers the credentials of; more are forgotten all at once.
constexpr int kMaxKnownSenders = 4096;

} // namespace

TFreeService::TFreeService(const QDBusConnection& bus, TServiceOptions options, QObject* parent)
    : QObject(parent),
      FBus(bus),
      FOptions(std::move(options)),
      FGate(FOptions.MinSpacing, FOptions.MaxInFlight, FOptions.MaxRuns) {
    FIdleTimer.setSingleShot(true);
    FIdleTimer.setInterval(FOptions.IdleExit);
    connect(&FIdleTimer, &QTimer::timeout, this, [this]() {
        if (Idle()) emit idle();
    });
    FIdleTimer.start();
}

bool TFreeService::Idle() const {
    return FGate.Idle() && FOutstanding.isEmpty() && FUnidentified == 0;
}

void TFreeService::Settle() {
    if (Idle()) FIdleTimer.start();
}

bool TFreeService::AcceptSender(const QDBusMessage& call) {
    FIdleTimer.stop();
    const QString sender = call.service();
    // One call at a time per connection, refused before anything it carries is looked at; a connection
    // the bus has not named yet waits for the bus, and only so many of those at once.
    if (FOutstanding.contains(sender) || (!FKnown.contains(sender) && FUnidentified >= FOptions.MaxUnidentified)) {
        FBus.send(call.createErrorReply(freeservice::kErrorBusy,
                                        QStringLiteral("a request of yours (or too many requests) is still being "
                                                       "handled; this one is refused, not queued")));
        Settle();
        return false;
    }
    FOutstanding.insert(sender);
    return true;
}

void TFreeService::Answer(const QDBusMessage& call, const QDBusMessage& reply) {
    FBus.send(reply);
    FOutstanding.remove(call.service());
    Settle();
}

void TFreeService::AskCredentials(const QString& sender, TCredentialsDone done) {
    if (const auto known = FKnown.constFind(sender); known != FKnown.constEnd()) {
        done(*known);
        return;
    }
    // The bus daemon's word on who sent the message, never the caller's; asked without waiting, so a
    // queue of large messages ahead of the answer holds up no one else's call.
    ++FUnidentified;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionCredentials"));
    ask << sender;
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(ask, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, sender, done]() {
        watcher->deleteLater();
        --FUnidentified;
        const QDBusMessage reply = watcher->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) {
            done(std::nullopt);
            return;
        }
        const QVariantMap credentials = qdbus_cast<QVariantMap>(reply.arguments().at(0));
        bool ok = false;
        TCredentials who;
        who.Uid = credentials.value(QStringLiteral("UnixUserID")).toUInt(&ok);
        if (!ok) {
            done(std::nullopt);
            return;
        }
        who.Pid = credentials.value(QStringLiteral("ProcessID")).toUInt();
        const QVariant ids = credentials.value(QStringLiteral("UnixGroupIDs"));
        if (ids.canConvert<QDBusArgument>()) {
            const QList<uint> list = qdbus_cast<QList<uint>>(ids);
            who.Groups.assign(list.begin(), list.end());
        }
        if (FKnown.size() >= kMaxKnownSenders) FKnown.clear();
        FKnown.insert(sender, who);
        done(who);
    });
}

QVariantMap TFreeService::Info() const {
    QVariantMap info;
    info.insert(QStringLiteral("Version"), QStringLiteral(KESTRUM_FILE_VERSION));
    info.insert(QStringLiteral("Capabilities"), EffectiveCapabilityNames());
    info.insert(QStringLiteral("Modes"),
                QStringList{QStringLiteral("0 all"), QStringLiteral("1 only named"), QStringLiteral("2 all but named"),
                            QStringLiteral("3 all but named (smart)")});
    info.insert(QStringLiteral("Options"),
                QStringList{freeservice::kOptionFollowUpReclaim, freeservice::kOptionAllUsers});
    info.insert(QStringLiteral("MaxNames"), freeservice::kMaxNames);
    info.insert(QStringLiteral("MaxNameBytes"), freeservice::kMaxNameBytes);
    info.insert(QStringLiteral("MinSpacingMs"), static_cast<int>(FOptions.MinSpacing.count()));
    info.insert(QStringLiteral("MaxRunMs"), static_cast<int>(FOptions.MaxRunTime.count()));
    info.insert(QStringLiteral("WhileRunning"), QStringLiteral("refused (Busy), not queued"));
    return info;
}

QVariantMap TFreeService::GetInfo() {
    const QDBusMessage call = message();
    if (!AcceptSender(call)) return {};
    setDelayedReply(true);
    AskCredentials(call.service(), [this, call](std::optional<TCredentials> who) {
        if (!who) {
            Answer(call,
                   call.createErrorReply(freeservice::kErrorFailed, QStringLiteral("the caller cannot be identified")));
            return;
        }
        if (FGate.AdmitQuery(who->Uid) != TRunGate::TVerdict::Go) {
            Answer(call, call.createErrorReply(freeservice::kErrorBusy,
                                               QStringLiteral("too many requests at once; try again shortly")));
            return;
        }
        const uint32_t uid = who->Uid;
        CheckAuthorization(FBus, call.service(), freeservice::kActionInfo, false, this,
                           [this, call, uid](bool authorized, const QString& detail) {
                               FGate.Finish(uid);
                               Answer(call, authorized
                                                ? call.createReply(QVariant::fromValue(Info()))
                                                : call.createErrorReply(freeservice::kErrorNotAuthorized, detail));
                           });
    });
    return {};
}

QVariantMap TFreeService::FreeMemory(uchar mode, const QStringList& names, const QVariantMap& options) {
    const QDBusMessage call = message();
    if (!AcceptSender(call)) return {};
    setDelayedReply(true);
    // Which of the two rights is asked for; the option is read for real, with every other argument, only
    // once the caller has that right.
    const bool allUsers = options.value(freeservice::kOptionAllUsers).toBool();
    AskCredentials(call.service(), [this, call, mode, names, options, allUsers](std::optional<TCredentials> who) {
        if (!who) {
            Answer(call,
                   call.createErrorReply(freeservice::kErrorFailed, QStringLiteral("the caller cannot be identified")));
            return;
        }
        std::chrono::milliseconds wait{0};
        switch (FGate.AdmitRun(who->Uid, TRunGate::TClock::now(), &wait)) {
            case TRunGate::TVerdict::Busy:
                Answer(call, call.createErrorReply(
                                 freeservice::kErrorBusy,
                                 QStringLiteral("a request of yours (or too many requests) is still being handled; "
                                                "this one is refused, not queued")));
                return;
            case TRunGate::TVerdict::TooSoon:
                Answer(call, call.createErrorReply(
                                 freeservice::kErrorTooSoon,
                                 QStringLiteral("freeing runs are spaced by %1 ms per user; try again in %2 ms")
                                     .arg(FOptions.MinSpacing.count())
                                     .arg(wait.count())));
                return;
            case TRunGate::TVerdict::Go:
                break;
        }
        const QString action = allUsers ? freeservice::kActionFreeAll : freeservice::kActionFree;
        const TCredentials caller = *who;
        CheckAuthorization(
            FBus, call.service(), action, call.isInteractiveAuthorizationAllowed(), this,
            [this, call, caller, action, mode, names, options](bool authorized, const QString& detail) {
                if (!authorized) {
                    syslog(LOG_NOTICE, "refused a freeing run for uid %u (pid %u, %s): %s", caller.Uid, caller.Pid,
                           qPrintable(action), qPrintable(detail));
                    FGate.Finish(caller.Uid);
                    Answer(call,
                           call.createErrorReply(freeservice::kErrorNotAuthorized,
                                                 QStringLiteral("not authorised to free memory (polkit action %1): %2")
                                                     .arg(action, detail)));
                    return;
                }
                TFreeRunRequest request;
                if (const QString bad = freeservice::ParseRequest(mode, names, options, request); !bad.isEmpty()) {
                    FGate.Finish(caller.Uid);
                    Answer(call, call.createErrorReply(freeservice::kErrorInvalidArgs, bad));
                    return;
                }
                StartRun(call, caller, std::move(request));
            });
    });
    return {};
}

void TFreeService::StartRun(const QDBusMessage& call, const TCredentials& who, TFreeRunRequest request) {
    if (!FGate.BeginRun()) {
        FGate.Finish(who.Uid);
        Answer(call, call.createErrorReply(freeservice::kErrorBusy,
                                           QStringLiteral("too many freeing runs are going; this one is refused, "
                                                          "not queued")));
        return;
    }
    TCaller caller = TCallerScopedProcesses::ReadCaller(FOptions.ProcRoot.toStdString(), who.Uid, who.Pid);
    if (!who.Groups.empty()) caller.Groups = who.Groups; // the bus daemon's list is the one to trust
    caller.OwnOnly = !request.AllUsers;
    const std::string procRoot = FOptions.ProcRoot.toStdString();
    const auto deadline = std::chrono::steady_clock::now() + FOptions.MaxRunTime;
    QPointer<TFreeService> self(this);
    std::thread([self, call, caller, request, procRoot, deadline]() mutable {
        const TFreeRunReport report = RunFor(caller, request, procRoot, deadline);
        QMetaObject::invokeMethod(
            self.data(),
            [self, call, caller, request, report]() mutable {
                if (!self) return;
                syslog(LOG_INFO,
                       "freeing run for uid %u (pid %u): mode %u, %lld names, %s, follow-up reclaim %s: "
                       "%u candidates, %u trimmed, %u spared or kernel threads, %u gone, %u refused, %u failed, "
                       "%llu bytes resident taken (%llu anonymous), reclaim %llu of %llu bytes",
                       caller.Uid, caller.Pid, request.Mode, static_cast<long long>(request.Selection.size()),
                       request.AllUsers ? "all users" : "own processes", request.FollowUpReclaim ? "on" : "off",
                       report.Candidates, report.Trimmed, report.Skipped, report.Gone, report.NoRight, report.Failed,
                       static_cast<unsigned long long>(report.ResidentTaken),
                       static_cast<unsigned long long>(report.AnonTaken),
                       static_cast<unsigned long long>(report.Reclaim.BytesDone),
                       static_cast<unsigned long long>(report.Reclaim.BytesRequested));
                self->FGate.EndRun(caller.Uid, TRunGate::TClock::now());
                self->FGate.Finish(caller.Uid);
                self->Answer(call, report.SnapshotTaken
                                       ? call.createReply(QVariant::fromValue(freeservice::ReportToMap(report)))
                                       : call.createErrorReply(freeservice::kErrorFailed,
                                                               QStringLiteral("the process list could not be read")));
            },
            Qt::QueuedConnection);
    }).detach();
}

} // namespace kestrum::service
