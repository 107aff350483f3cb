#pragma once
#include <QSet>
#include <QString>
#include <QVariantMap>
#include <mutex>
#include <optional>

#include "engine/FreeRunDelegate.h"
#include "engine/MemoryOptimize.h"

namespace kestrum {

// Runs freeing runs through the privileged freeing service on the system bus whenever this process may not
// trim other processes itself. Installed as the engine's delegate at start-up; calls block the calling
// thread (the window calls the engine off its interface thread) and are safe from any thread.
class TFreeServiceClient final : public IFreeRunDelegate {
public:
    // `busAddress` empty: the system bus.
    explicit TFreeServiceClient(QString busAddress = {}, int timeoutMs = 5 * 60 * 1000);

    // Nothing when this process has the right itself (the engine runs it here); otherwise the service's run.
    std::optional<TFreeRunReport> Run(const TFreeRunRequest& request) override;
    // Always through the service. Route tells how it went; Notice is filled the first time a reason comes up
    // in this process, so a window that shows any notice says it once.
    TFreeRunReport RunThroughService(const TFreeRunRequest& request);
    // The service's version and capabilities; nothing and `error` set when it cannot be asked.
    std::optional<QVariantMap> ServiceInfo(QString* error = nullptr);

    // Root or CAP_SYS_NICE: this process trims others itself. CAP_SYS_PTRACE: also other users' processes.
    static bool HasOwnTrimRight();
    static bool HasOwnTrimRightForOtherUsers();

    // The texts a caller shows when a run could not reach other processes.
    static QString UnavailableNotice(const QString& detail);
    static QString RefusedNotice(const QString& detail);

private:
    QString NoticeOnce(const QString& notice);

    QString FBusAddress;
    int FTimeoutMs;
    std::mutex FMutex;
    QSet<QString> FNoticesGiven;
};

} // namespace kestrum
