#pragma once
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <functional>

class QSystemTrayIcon;

namespace kestrum {

// The tray balloon of an optimization. Where the desktop has no notification area for the tray icon (stock
// GNOME, for one) it goes out as a desktop notification on the session bus instead. Without the tray icon
// (switched off) there is no balloon; without a session bus or a notification service only the balloon is
// lost.
class TKSBalloon : public QObject {
    Q_OBJECT
public:
    enum class TRoute { None, Tray, Notification };
    static constexpr int TimeoutMs = 3000;
    // The catalogue writes its line breaks as "#N#R" ("\n\r"); the tray and the notification service want "\n".
    static QString PlainLines(QString text);

    explicit TKSBalloon(QSystemTrayIcon* trayIcon, QObject* owner = nullptr);
    ~TKSBalloon() override;

    // Shows the balloon (texts may hold the catalogue's line breaks) and says which way it went.
    TRoute Show(const QString& title, const QString& text);

    // Whether a notification area shows the tray icon (tests replace the question).
    void SetTrayAvailable(std::function<bool()> available) { FTrayAvailable = std::move(available); }
    // The bus of the notification service; empty: the session bus, when the session names one.
    void SetBusAddress(const QString& address) { FBusAddress = address; }
    QString BusAddress() const;

    TRoute LastRoute() const { return FLastRoute; }
    int Count() const { return FCount; }

signals:
    // The notification service answered (ok, with its notification id) or could not be reached.
    void NotificationSent(bool ok, uint id);

private:
    void Notify(const QString& title, const QString& text);

    QSystemTrayIcon* FTrayIcon;
    std::function<bool()> FTrayAvailable;
    QString FBusAddress;
    TRoute FLastRoute = TRoute::None;
    int FCount = 0;
    // Connecting to the bus and waiting for the service happen here, never on the interface thread.
    QThreadPool FSender;
};

} // namespace kestrum
