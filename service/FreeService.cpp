#include "FreeService.h"

#include <syslog.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
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

TFreeRunReport RunFor(const TCaller& caller, const TFreeRunRequest& request, const std::string& procRoot) {
    auto processes = platform::MakeLinuxProcesses(procRoot);
    TCallerScopedProcesses scoped(*processes, caller, procRoot);
    TNoDesktop desktop;
    TMemoryOptimize engine(desktop, scoped);
    // The caller's selection, never-trim list and protected processes, as the program itself applies them.
    return engine.FreeMemoryFor(request);
}

} // namespace

TFreeService::TFreeService(const QDBusConnection& bus, TServiceOptions options, QObject* parent)
    : QObject(parent), FBus(bus), FOptions(std::move(options)), FGate(FOptions.MinSpacing, FOptions.MaxInFlight) {
    FIdleTimer.setSingleShot(true);
    FIdleTimer.setInterval(FOptions.IdleExit);
    connect(&FIdleTimer, &QTimer::timeout, this, [this]() {
        if (FGate.Idle()) emit idle();
    });
    FIdleTimer.start();
}

void TFreeService::Settle() {
    if (FGate.Idle()) FIdleTimer.start();
}

bool TFreeService::Caller(uint32_t& uid, uint32_t& pid, std::vector<uint32_t>& groups) {
    // The bus daemon's word on who sent the message, never the caller's.
    const QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionCredentials"));
    const QDBusMessage reply = FBus.call(QDBusMessage(ask) << message().service(), QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return false;
    const QVariantMap credentials = qdbus_cast<QVariantMap>(reply.arguments().at(0));
    bool ok = false;
    uid = credentials.value(QStringLiteral("UnixUserID")).toUInt(&ok);
    if (!ok) return false;
    pid = credentials.value(QStringLiteral("ProcessID")).toUInt();
    groups.clear();
    const QVariant ids = credentials.value(QStringLiteral("UnixGroupIDs"));
    if (ids.canConvert<QDBusArgument>()) {
        const QList<uint> list = qdbus_cast<QList<uint>>(ids);
        groups.assign(list.begin(), list.end());
    }
    return true;
}

QVariantMap TFreeService::Info() const {
    QVariantMap info;
    info.insert(QStringLiteral("Version"), QStringLiteral(KESTRUM_FILE_VERSION));
    info.insert(QStringLiteral("Capabilities"), EffectiveCapabilityNames());
    info.insert(QStringLiteral("Modes"),
                QStringList{QStringLiteral("0 all"), QStringLiteral("1 only named"), QStringLiteral("2 all but named"),
                            QStringLiteral("3 all but named (smart)")});
    info.insert(QStringLiteral("Options"), QStringList{freeservice::kOptionFollowUpReclaim});
    info.insert(QStringLiteral("MaxNames"), freeservice::kMaxNames);
    info.insert(QStringLiteral("MaxNameBytes"), freeservice::kMaxNameBytes);
    info.insert(QStringLiteral("MinSpacingMs"), static_cast<int>(FOptions.MinSpacing.count()));
    info.insert(QStringLiteral("WhileRunning"), QStringLiteral("refused (Busy), not queued"));
    return info;
}

QVariantMap TFreeService::GetInfo() {
    FIdleTimer.stop();
    uint32_t uid = 0, pid = 0;
    std::vector<uint32_t> groups;
    if (!Caller(uid, pid, groups)) {
        sendErrorReply(freeservice::kErrorFailed, QStringLiteral("the caller cannot be identified"));
        Settle();
        return {};
    }
    if (FGate.AdmitQuery(uid) != TRunGate::TVerdict::Go) {
        sendErrorReply(freeservice::kErrorBusy, QStringLiteral("too many requests at once; try again shortly"));
        Settle();
        return {};
    }
    setDelayedReply(true);
    const QDBusMessage call = message();
    CheckAuthorization(FBus, call.service(), freeservice::kActionInfo, false, this,
                       [this, call, uid](bool authorized, const QString& detail) {
                           FGate.Finish(uid);
                           if (authorized)
                               FBus.send(call.createReply(QVariant::fromValue(Info())));
                           else
                               FBus.send(call.createErrorReply(freeservice::kErrorNotAuthorized, detail));
                           Settle();
                       });
    return {};
}

QVariantMap TFreeService::FreeMemory(uchar mode, const QStringList& names, const QVariantMap& options) {
    FIdleTimer.stop();
    TFreeRunRequest request;
    const QString bad = freeservice::ParseRequest(mode, names, options, request);
    if (!bad.isEmpty()) {
        sendErrorReply(freeservice::kErrorInvalidArgs, bad);
        Settle();
        return {};
    }
    uint32_t uid = 0, pid = 0;
    std::vector<uint32_t> groups;
    if (!Caller(uid, pid, groups)) {
        sendErrorReply(freeservice::kErrorFailed, QStringLiteral("the caller cannot be identified"));
        Settle();
        return {};
    }
    std::chrono::milliseconds wait{0};
    switch (FGate.AdmitRun(uid, TRunGate::TClock::now(), &wait)) {
        case TRunGate::TVerdict::Busy:
            sendErrorReply(freeservice::kErrorBusy,
                           QStringLiteral("a request of yours (or too many requests) is still being handled; "
                                          "this one is refused, not queued"));
            Settle();
            return {};
        case TRunGate::TVerdict::TooSoon:
            sendErrorReply(freeservice::kErrorTooSoon,
                           QStringLiteral("freeing runs are spaced by %1 ms per user; try again in %2 ms")
                               .arg(FOptions.MinSpacing.count())
                               .arg(wait.count()));
            Settle();
            return {};
        case TRunGate::TVerdict::Go:
            break;
    }
    setDelayedReply(true);
    const QDBusMessage call = message();
    CheckAuthorization(
        FBus, call.service(), freeservice::kActionFree, call.isInteractiveAuthorizationAllowed(), this,
        [this, call, uid, pid, groups, request](bool authorized, const QString& detail) {
            if (!authorized) {
                syslog(LOG_NOTICE, "refused a freeing run for uid %u (pid %u): %s", uid, pid, qPrintable(detail));
                FGate.Finish(uid);
                FBus.send(call.createErrorReply(freeservice::kErrorNotAuthorized,
                                                QStringLiteral("not authorised to free memory (polkit action %1): %2")
                                                    .arg(freeservice::kActionFree, detail)));
                Settle();
                return;
            }
            StartRun(call, uid, pid, groups, request);
        });
    return {};
}

void TFreeService::StartRun(const QDBusMessage& call, uint32_t uid, uint32_t pid, const std::vector<uint32_t>& groups,
                            TFreeRunRequest request) {
    if (!FGate.BeginRun()) {
        FGate.Finish(uid);
        FBus.send(call.createErrorReply(
            freeservice::kErrorBusy, QStringLiteral("another freeing run is going; this one is refused, not queued")));
        Settle();
        return;
    }
    TCaller caller = TCallerScopedProcesses::ReadCaller(FOptions.ProcRoot.toStdString(), uid, pid);
    if (!groups.empty()) caller.Groups = groups; // the bus daemon's list is the one to trust
    const std::string procRoot = FOptions.ProcRoot.toStdString();
    QPointer<TFreeService> self(this);
    QDBusConnection bus = FBus;
    std::thread([self, bus, call, caller, request, procRoot]() mutable {
        const TFreeRunReport report = RunFor(caller, request, procRoot);
        QMetaObject::invokeMethod(
            self.data(),
            [self, bus, call, caller, request, report]() mutable {
                if (!self) return;
                syslog(LOG_INFO,
                       "freeing run for uid %u (pid %u): mode %u, %lld names, follow-up reclaim %s: %u candidates, "
                       "%u trimmed, %u spared or kernel threads, %u gone, %u refused, %u failed, %llu bytes "
                       "resident taken (%llu anonymous), reclaim %llu of %llu bytes",
                       caller.Uid, caller.Pid, request.Mode, static_cast<long long>(request.Selection.size()),
                       request.FollowUpReclaim ? "on" : "off", report.Candidates, report.Trimmed, report.Skipped,
                       report.Gone, report.NoRight, report.Failed,
                       static_cast<unsigned long long>(report.ResidentTaken),
                       static_cast<unsigned long long>(report.AnonTaken),
                       static_cast<unsigned long long>(report.Reclaim.BytesDone),
                       static_cast<unsigned long long>(report.Reclaim.BytesRequested));
                if (report.SnapshotTaken)
                    bus.send(call.createReply(QVariant::fromValue(freeservice::ReportToMap(report))));
                else
                    bus.send(call.createErrorReply(freeservice::kErrorFailed,
                                                   QStringLiteral("the process list could not be read")));
                self->FGate.EndRun();
                self->FGate.Finish(caller.Uid);
                self->Settle();
            },
            Qt::QueuedConnection);
    }).detach();
}

} // namespace kestrum::service
