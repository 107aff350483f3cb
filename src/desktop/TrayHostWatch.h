#pragma once
#include <QDBusConnection>
#include <QObject>

class QDBusServiceWatcher;

namespace kestrum {

// Follows whether a StatusNotifierItem host (a panel's notification area) is on the session bus: the
// watcher service's owner changes and its host-registered signals, never a poll. The toolkit asks the same
// question only once per process, so a panel that starts or ends later is learnt here.
class TTrayHostWatch : public QObject {
    Q_OBJECT
public:
    explicit TTrayHostWatch(const QDBusConnection& bus, QObject* parent = nullptr);
    // Answered at once on construction (a blocking look-up, as the toolkit does), then kept up to date.
    bool HostRegistered() const { return FHost; }

signals:
    void HostChanged(bool registered);

private slots:
    void HostRegisteredSignal();
    void HostUnregisteredSignal();

private:
    void Query(bool wait);
    void Set(bool host);
    QDBusConnection FBus;
    QDBusServiceWatcher* FWatcher = nullptr;
    bool FHost = false;
};

} // namespace kestrum
