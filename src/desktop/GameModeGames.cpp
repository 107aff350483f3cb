#include "desktop/GameModeGames.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>

namespace kestrum {

namespace {

// ListGames answers a(io): the game's process id and its object path.
std::set<uint32_t> ParseGames(const QVariant& value) {
    std::set<uint32_t> games;
    if (!value.canConvert<QDBusArgument>()) return games;
    const QDBusArgument arg = value.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a(io)")) return games;
    arg.beginArray();
    while (!arg.atEnd()) {
        int pid = 0;
        QDBusObjectPath path;
        arg.beginStructure();
        arg >> pid >> path;
        arg.endStructure();
        if (pid > 0) games.insert(static_cast<uint32_t>(pid));
    }
    arg.endArray();
    return games;
}

} // namespace

TGameModeGames::TGameModeGames(const QDBusConnection& bus, QObject* parent) : QObject(parent), FBus(bus) {
    if (!FBus.isConnected()) return;
    FWatcher = new QDBusServiceWatcher(
        kService, FBus, QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(FWatcher, &QDBusServiceWatcher::serviceRegistered, this, &TGameModeGames::Appeared);
    connect(FWatcher, &QDBusServiceWatcher::serviceUnregistered, this, &TGameModeGames::Vanished);
    for (const QString& member : {QStringLiteral("GameRegistered"), QStringLiteral("GameUnregistered")})
        FBus.connect(kService, kPath, kInterface, member, this, SLOT(GameSignal(QDBusMessage)));
    // Asking whether the name has an owner does not activate the daemon; asking the daemon would.
    const QDBusReply<bool> running = FBus.interface()->isServiceRegistered(kService);
    if (running.isValid() && running.value()) Appeared();
}

std::vector<uint32_t> TGameModeGames::Games() const {
    std::lock_guard lock(FMutex);
    return {FGames.begin(), FGames.end()};
}

void TGameModeGames::SetGames(std::set<uint32_t> games) {
    {
        std::lock_guard lock(FMutex);
        if (games == FGames) return;
        FGames = std::move(games);
    }
    emit GamesChanged();
}

void TGameModeGames::Appeared() {
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("ListGames"));
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(call, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusMessage reply = w->reply();
        // An older GameMode without ListGames: the signals still tell about games from now on.
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return;
        std::set<uint32_t> games = ParseGames(reply.arguments().first());
        {
            std::lock_guard lock(FMutex);
            games.insert(FGames.begin(), FGames.end()); // registered while the list was on its way
        }
        SetGames(std::move(games));
    });
}

void TGameModeGames::Vanished() {
    SetGames({});
}

void TGameModeGames::GameSignal(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    bool ok = false;
    const int pid = args.isEmpty() ? 0 : args.first().toInt(&ok);
    if (!ok || pid <= 0) return;
    std::set<uint32_t> games;
    {
        std::lock_guard lock(FMutex);
        games = FGames;
    }
    if (message.member() == QLatin1String("GameRegistered"))
        games.insert(static_cast<uint32_t>(pid));
    else
        games.erase(static_cast<uint32_t>(pid));
    SetGames(std::move(games));
}

} // namespace kestrum
