#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>

#include "common/PrivateSessionBus.h"
#include "common/QtApp.h"
#include "desktop/DndSourceSet.h"
#include "desktop/GameModeDndSource.h"
#include "desktop/KdeDndSource.h"
#include "desktop/OrvAntiDisturb.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"

using namespace kestrum;

// A stand-in for the GameMode daemon: its ClientCount property and the change signal the real one sends.
class TFakeGameMode : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.feralinteractive.GameMode")
    Q_PROPERTY(int ClientCount READ ClientCount)
public:
    explicit TFakeGameMode(QDBusConnection bus) : FBus(bus) {}
    bool Start() {
        return FBus.registerObject(u"/com/feralinteractive/GameMode"_qs, this, QDBusConnection::ExportAllProperties) &&
               FBus.registerService(u"com.feralinteractive.GameMode"_qs);
    }
    void Stop() { FBus.unregisterService(u"com.feralinteractive.GameMode"_qs); }
    int ClientCount() const { return FCount; }
    void SetCount(int count) {
        FCount = count;
        QDBusMessage s = QDBusMessage::createSignal(u"/com/feralinteractive/GameMode"_qs,
                                                    u"org.freedesktop.DBus.Properties"_qs, u"PropertiesChanged"_qs);
        s << u"com.feralinteractive.GameMode"_qs << QVariantMap{{u"ClientCount"_qs, count}} << QStringList{};
        FBus.send(s);
    }

private:
    QDBusConnection FBus;
    int FCount = 0;
};

// KDE's notification service, as far as its do-not-disturb property goes.
class TFakeKdeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
    Q_PROPERTY(bool Inhibited READ Inhibited)
public:
    explicit TFakeKdeNotifications(QDBusConnection bus) : FBus(bus) {}
    bool Start() {
        return FBus.registerObject(u"/org/freedesktop/Notifications"_qs, this, QDBusConnection::ExportAllProperties) &&
               FBus.registerService(u"org.freedesktop.Notifications"_qs);
    }
    bool Inhibited() const { return FInhibited; }
    void SetInhibited(bool on) {
        FInhibited = on;
        QDBusMessage s = QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_qs,
                                                    u"org.freedesktop.DBus.Properties"_qs, u"PropertiesChanged"_qs);
        s << u"org.freedesktop.Notifications"_qs << QVariantMap{{u"Inhibited"_qs, on}} << QStringList{};
        FBus.send(s);
    }

private:
    QDBusConnection FBus;
    bool FInhibited = false;
};

namespace {

using test::WaitUntil;

class DndSources : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureQtApp();
        if (!Bus.Running()) GTEST_SKIP() << "dbus-daemon could not start";
    }
    test::TPrivateSessionBus Bus;
};

} // namespace

TEST_F(DndSources, GameModeClientCountTurnsTheSourceOnAndOff) {
    TFakeGameMode daemon(Bus.Connect());
    ASSERT_TRUE(daemon.Start());
    TGameModeDndSource source(Bus.Connect());
    std::vector<bool> seen;
    QObject::connect(&source, &TDndSource::ActiveChanged, [&](bool on) { seen.push_back(on); });
    // The first reading is asynchronous; nothing plays yet.
    WaitUntil([] { return false; }, 200);
    EXPECT_FALSE(source.Active());

    daemon.SetCount(1);
    EXPECT_TRUE(WaitUntil([&] { return source.Active(); }));
    daemon.SetCount(2); // a second game changes nothing visible
    daemon.SetCount(0);
    EXPECT_TRUE(WaitUntil([&] { return !source.Active(); }));
    EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST_F(DndSources, GameModeAlreadyPlayingAtStartAndDaemonEnding) {
    TFakeGameMode daemon(Bus.Connect());
    ASSERT_TRUE(daemon.Start());
    daemon.SetCount(1);
    TGameModeDndSource source(Bus.Connect());
    EXPECT_TRUE(WaitUntil([&] { return source.Active(); })); // read once the source starts
    // A daemon that goes away takes its games with it.
    daemon.Stop();
    EXPECT_TRUE(WaitUntil([&] { return !source.Active(); }));
}

TEST_F(DndSources, NoDaemonOnTheBusStaysOffAndStartsNothing) {
    TGameModeDndSource source(Bus.Connect());
    WaitUntil([] { return false; }, 300);
    EXPECT_FALSE(source.Active());
    EXPECT_FALSE(Bus.Connect().interface()->isServiceRegistered(u"com.feralinteractive.GameMode"_qs).value());
}

TEST_F(DndSources, KdeInhibitionFollowsTheProperty) {
    TFakeKdeNotifications service(Bus.Connect());
    ASSERT_TRUE(service.Start());
    TKdeDndSource source(Bus.Connect());
    service.SetInhibited(true);
    EXPECT_TRUE(WaitUntil([&] { return source.Active(); }));
    service.SetInhibited(false);
    EXPECT_TRUE(WaitUntil([&] { return !source.Active(); }));
}

// The detector combines what the sources say with its own full-screen check, and says so at once.
TEST_F(DndSources, DetectorIsOnWhileASourceIsAndOffWhenDisabled) {
    platform::TFakeDesktop desktop;
    platform::TFakeProcesses processes;
    TOrvAntiDisturb detector(desktop, processes);
    TFakeGameMode daemon(Bus.Connect());
    ASSERT_TRUE(daemon.Start());
    TDndSourceSet set;
    set.Add(new TGameModeDndSource(Bus.Connect()));
    QObject::connect(&set, &TDndSourceSet::ActiveChanged, &detector, &TOrvAntiDisturb::SetSourceState);
    std::vector<bool> notified;
    QObject::connect(&detector, &TOrvAntiDisturb::OnStateChanged,
                     [&](TOrvAntiDisturb* d) { notified.push_back(d->State()); });

    daemon.SetCount(1);
    EXPECT_TRUE(WaitUntil([&] { return detector.State(); }));
    EXPECT_EQ(set.ActiveNames(), QStringList{u"gamemode"_qs});
    detector.Poll(); // the timer's poll finds no full-screen window, yet the game still counts
    EXPECT_TRUE(detector.State());
    daemon.SetCount(0);
    EXPECT_TRUE(WaitUntil([&] { return !detector.State(); }));
    EXPECT_EQ(notified, (std::vector<bool>{true, false}));

    detector.SetEnabled(false);
    daemon.SetCount(1);
    WaitUntil([&] { return set.Active(); });
    EXPECT_FALSE(detector.State());
}

#include "DndSourcesTest.moc"
