#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

class QSystemTrayIcon;
class QDBusMessage;

namespace kestrum {

// The early warning on screen: the tray balloon where a notification area shows the tray icon, otherwise a
// desktop notification on the session bus, with a "Free Now" action when the notification service offers
// actions. Nothing on the interface thread waits for the bus: calls go out and their answers come back as
// events.
class TKSPressureNotice : public QObject {
    Q_OBJECT
public:
    enum class TRoute { None, Tray, Notification };
    static constexpr int TimeoutMs = 15000; // long enough to read and act on
    static constexpr const char* ActionKey = "kestrum-free-now";

    explicit TKSPressureNotice(QSystemTrayIcon* trayIcon, QObject* owner = nullptr);
    ~TKSPressureNotice() override;

    // Shows the warning; `actionLabel` names the action where one can be offered.
    TRoute Show(const QString& title, const QString& text, const QString& actionLabel);

    void SetTrayAvailable(std::function<bool()> available) { FTrayAvailable = std::move(available); }
    // The bus of the notification service; empty: the session bus of the environment.
    void SetBusAddress(const QString& address) { FBusAddress = address; }
    TRoute LastRoute() const { return FLastRoute; }
    // The id the notification service gave the last warning (0: none yet).
    uint NotificationId() const { return FNotificationId; }

signals:
    // The user chose "Free Now" on the warning.
    void FreeNowRequested();
    // The notification service answered (ok, whether it took an action).
    void NotificationSent(bool ok, bool withAction);

private slots:
    void OnActionInvoked(uint id, const QString& key);

private:
    void Notify(const QString& title, const QString& text, const QString& actionLabel);
    void SendNotify(const QString& title, const QString& text, const QString& actionLabel, bool withAction);
    bool Connect();

    QSystemTrayIcon* FTrayIcon;
    std::function<bool()> FTrayAvailable;
    QString FBusAddress;
    QString FConnectionName;
    bool FConnected = false;
    TRoute FLastRoute = TRoute::None;
    uint FNotificationId = 0;
};

} // namespace kestrum
