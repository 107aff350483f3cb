#pragma once
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <mutex>
#include <set>
#include <vector>

class QDBusServiceWatcher;

namespace kestrum {

// The games GameMode (com.feralinteractive.GameMode on the session bus) has registered, kept up to date
// from its GameRegistered / GameUnregistered signals and its list of games whenever the daemon appears.
// Never starts the daemon (it is bus-activatable): only watches for it. Games() is safe on any thread.
class TGameModeGames : public QObject {
    Q_OBJECT
public:
    static inline const QString kService = QStringLiteral("com.feralinteractive.GameMode");
    static inline const QString kPath = QStringLiteral("/com/feralinteractive/GameMode");
    static inline const QString kInterface = QStringLiteral("com.feralinteractive.GameMode");

    explicit TGameModeGames(const QDBusConnection& bus, QObject* parent = nullptr);

    std::vector<uint32_t> Games() const;

signals:
    void GamesChanged();

private slots:
    // GameRegistered(i pid, o path) and GameUnregistered(i, o).
    void GameSignal(const QDBusMessage& message);

private:
    void Appeared();
    void Vanished();
    void SetGames(std::set<uint32_t> games);

    QDBusConnection FBus;
    QDBusServiceWatcher* FWatcher = nullptr;
    mutable std::mutex FMutex;
    std::set<uint32_t> FGames;
};

} // namespace kestrum
