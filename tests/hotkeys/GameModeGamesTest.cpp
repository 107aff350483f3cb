// A stand-in GameMode daemon on a private session bus: the games it registers are spared by a run.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>

#include "common/QtApp.h"
#include "common/TestHome.h"
#include "desktop/GameModeGames.h"
#include "engine/MemoryOptimize.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"

using namespace kestrum;
using namespace kestrum::platform;

struct TStandInGame {
    int Pid = 0;
    QDBusObjectPath Path;
};
Q_DECLARE_METATYPE(TStandInGame)

QDBusArgument& operator<<(QDBusArgument& arg, const TStandInGame& g) {
    arg.beginStructure();
    arg << g.Pid << g.Path;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, TStandInGame& g) {
    arg.beginStructure();
    arg >> g.Pid >> g.Path;
    arg.endStructure();
    return arg;
}

namespace {

// Answers ListGames like the daemon (a(io)) and sends its signals.
class TStandInGameMode : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.feralinteractive.GameMode")
public:
    QList<TStandInGame> Games;

public slots:
    QList<TStandInGame> ListGames() { return Games; }
};

using test::WaitUntil;

class GameModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureQtApp();
        qDBusRegisterMetaType<TStandInGame>();
        qDBusRegisterMetaType<QList<TStandInGame>>();
        Daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!Daemon.waitForStarted(5000) || !Daemon.waitForReadyRead(5000)) GTEST_SKIP() << "no dbus-daemon";
        Address = QString::fromUtf8(Daemon.readLine()).trimmed();
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus("gm-daemon");
        QDBusConnection::disconnectFromBus("gm-client");
        if (Daemon.state() != QProcess::NotRunning) {
            Daemon.kill(); // only the daemon this test started
            Daemon.waitForFinished(5000);
        }
    }
    QDBusConnection Connect(const char* name) { return QDBusConnection::connectToBus(Address, name); }
    void Signal(QDBusConnection& bus, const char* member, int pid) {
        QDBusMessage m = QDBusMessage::createSignal(TGameModeGames::kPath, TGameModeGames::kInterface, member);
        m << pid << QVariant::fromValue(QDBusObjectPath(QString("/com/feralinteractive/GameMode/Games/%1").arg(pid)));
        bus.send(m);
    }

    QProcess Daemon;
    QString Address;
    test::TTestHome Home;
};

} // namespace

TEST_F(GameModeTest, RegisteredGamesAreSparedAndFollowTheDaemon) {
    QDBusConnection client = Connect("gm-client");
    ASSERT_TRUE(client.isConnected());
    TGameModeGames games(client);
    EXPECT_TRUE(games.Games().empty()) << "no daemon, no games, and none started";

    // The daemon appears with one game already registered.
    QDBusConnection daemon = Connect("gm-daemon");
    TStandInGameMode standIn;
    standIn.Games = {{4100, QDBusObjectPath("/com/feralinteractive/GameMode/Games/4100")}};
    ASSERT_TRUE(daemon.registerObject(TGameModeGames::kPath, &standIn, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(daemon.registerService(TGameModeGames::kService));
    ASSERT_TRUE(WaitUntil([&] { return games.Games() == std::vector<uint32_t>{4100}; }));

    // A run spares the game (and its child), whatever the mode; the others are trimmed.
    TFakeDesktop desktop;
    TFakeProcesses processes;
    processes.Processes = {{4100, "game.x86_64", false}, {4101, "game-helper", false}, {4200, "editor", false}};
    processes.Parents = {{4100, 1}, {4101, 4100}, {4200, 1}};
    TMemoryOptimize engine(desktop, processes);
    engine.AutoProtection().SetGameSource([&] { return games.Games(); });
    engine.FreeMemoryBy(TMemoryOptimize::MODE_ALL);
    EXPECT_EQ(processes.Trimmed, std::vector<uint32_t>{4200});

    // Later registrations and the end of a game come as signals.
    Signal(daemon, "GameRegistered", 4200);
    ASSERT_TRUE(WaitUntil([&] { return games.Games() == std::vector<uint32_t>{4100, 4200}; }));
    Signal(daemon, "GameUnregistered", 4100);
    ASSERT_TRUE(WaitUntil([&] { return games.Games() == std::vector<uint32_t>{4200}; }));
    processes.Trimmed.clear();
    engine.FreeMemoryBy(TMemoryOptimize::MODE_ALL);
    auto trimmed = processes.Trimmed;
    std::sort(trimmed.begin(), trimmed.end());
    EXPECT_EQ(trimmed, (std::vector<uint32_t>{4100, 4101}));

    // Switched off: the game is trimmed like any program.
    engine.AutoProtection().SetProtectGames(false);
    processes.Trimmed.clear();
    engine.FreeMemoryBy(TMemoryOptimize::MODE_ALL);
    EXPECT_EQ(processes.Trimmed.size(), 3u);

    // The daemon goes away: no games left.
    daemon.unregisterService(TGameModeGames::kService);
    EXPECT_TRUE(WaitUntil([&] { return games.Games().empty(); }));
}

#include "GameModeGamesTest.moc"
