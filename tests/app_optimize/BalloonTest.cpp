#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QThread>

#include "app/KSBalloon.h"
#include "common/QtApp.h"

using namespace kestrum;

namespace {

// A private message bus for one test, with a stand-in notification service on it.
class TNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList Summaries, Bodies;
    int ExpireTimeout = 0;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout) {
        Summaries << summary;
        Bodies << body;
        ExpireTimeout = expireTimeout;
        return uint(Summaries.size());
    }
};

struct BalloonTest : ::testing::Test {
    QTemporaryDir Dir;
    QProcess Bus;
    QString Address;
    std::unique_ptr<QSystemTrayIcon> Tray;

    void SetUp() override {
        test::EnsureQtApp();
        Tray = std::make_unique<QSystemTrayIcon>();
        QPixmap pm(16, 16);
        pm.fill(Qt::blue);
        Tray->setIcon(QIcon(pm));
        Tray->setVisible(true);
    }
    void TearDown() override {
        if (Bus.state() != QProcess::NotRunning) {
            Bus.kill();
            Bus.waitForFinished();
        }
    }
    bool StartBus() {
        if (QStandardPaths::findExecutable(u"dbus-daemon"_qs).isEmpty()) return false;
        QFile conf(Dir.filePath(u"bus.conf"_qs));
        conf.open(QIODevice::WriteOnly);
        conf.write("<busconfig><type>session</type><listen>unix:dir=" + Dir.path().toUtf8() +
                   "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                   "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                   "<allow own=\"*\"/></policy></busconfig>");
        conf.close();
        Bus.start(u"dbus-daemon"_qs, {u"--config-file="_qs + conf.fileName(), u"--nofork"_qs, u"--print-address"_qs});
        if (!Bus.waitForReadyRead(5000)) return false;
        Address = QString::fromUtf8(Bus.readLine()).trimmed();
        return !Address.isEmpty();
    }
    static bool WaitFor(const std::function<bool()>& done) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        return done();
    }
};

} // namespace

TEST_F(BalloonTest, WithoutANotificationAreaTheBalloonGoesToTheNotificationService) {
    if (!StartBus()) GTEST_SKIP() << "no dbus-daemon";
    QDBusConnection server = QDBusConnection::connectToBus(Address, u"test-notification-server"_qs);
    ASSERT_TRUE(server.isConnected());
    TNotificationServer service;
    ASSERT_TRUE(server.registerObject(u"/org/freedesktop/Notifications"_qs, &service, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(u"org.freedesktop.Notifications"_qs));

    TKSBalloon balloon(Tray.get());
    balloon.SetTrayAvailable([] { return false; });
    balloon.SetBusAddress(Address);
    std::vector<std::pair<bool, uint>> sent;
    QObject::connect(&balloon, &TKSBalloon::NotificationSent, [&](bool ok, uint id) { sent.emplace_back(ok, id); });
    EXPECT_EQ(balloon.Show(u"Kestrum"_qs, u"Before optimizing: 1 MB\n\rAfter optimizing: <2 MB>"_qs),
              TKSBalloon::TRoute::Notification);
    ASSERT_TRUE(WaitFor([&] { return !sent.empty(); }));
    EXPECT_TRUE(sent[0].first);
    EXPECT_EQ(sent[0].second, 1u);
    ASSERT_EQ(service.Summaries, QStringList{u"Kestrum"_qs});
    EXPECT_EQ(service.Bodies[0], u"Before optimizing: 1 MB\nAfter optimizing: &lt;2 MB&gt;"_qs);
    EXPECT_EQ(service.ExpireTimeout, 3000);
    QDBusConnection::disconnectFromBus(u"test-notification-server"_qs);
}

TEST_F(BalloonTest, NoServiceOrNoBusLosesOnlyTheBalloon) {
    if (!StartBus()) GTEST_SKIP() << "no dbus-daemon";
    for (const QString& address : {Address, u"unix:path=/nonexistent/kestrum-bus"_qs}) {
        TKSBalloon balloon(Tray.get());
        balloon.SetTrayAvailable([] { return false; });
        balloon.SetBusAddress(address);
        std::vector<bool> sent;
        QObject::connect(&balloon, &TKSBalloon::NotificationSent, [&](bool ok, uint) { sent.push_back(ok); });
        balloon.Show(u"Kestrum"_qs, u"text"_qs);
        ASSERT_TRUE(WaitFor([&] { return !sent.empty(); })) << address.toStdString();
        EXPECT_FALSE(sent[0]);
    }
}

TEST_F(BalloonTest, RouteFollowsTheTrayIcon) {
    TKSBalloon balloon(Tray.get());
    balloon.SetTrayAvailable([] { return true; });
    EXPECT_EQ(balloon.Show(u"t"_qs, u"x"_qs), TKSBalloon::TRoute::Tray);
    Tray->setVisible(false); // the tray icon switched off: no balloon at all
    EXPECT_EQ(balloon.Show(u"t"_qs, u"x"_qs), TKSBalloon::TRoute::None);
    EXPECT_EQ(balloon.Count(), 1);
}

#include "BalloonTest.moc"
