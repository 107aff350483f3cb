#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QThread>

#include "app/KSPressureMonitor.h"
#include "app/KSPressureNotice.h"
#include "common/QtApp.h"
#include "engine/SystemStatus.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeProcesses.h"
#include "platform/fake/FakeSystemInfo.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

// A stand-in notification service: records what it is asked to show, offers actions when told to.
class TNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    bool OffersActions = true;
    QStringList Summaries, Bodies;
    QList<QStringList> Actions;

public slots:
    QStringList GetCapabilities() {
        return OffersActions ? QStringList{u"body"_qs, u"actions"_qs} : QStringList{u"body"_qs};
    }
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap&, int) {
        Summaries << summary;
        Bodies << body;
        Actions << actions;
        return uint(100 + Summaries.size());
    }
};

struct PressureNoticeTest : ::testing::Test {
    QTemporaryDir Dir;
    QProcess Bus;
    QString Address;

    void SetUp() override { test::EnsureQtApp(); }
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
    // The service's side of the bus: emits a signal as the notification server would.
    static void EmitFromServer(QDBusConnection& server, const QString& name, const QVariantList& args) {
        QDBusMessage signal =
            QDBusMessage::createSignal(u"/org/freedesktop/Notifications"_qs, u"org.freedesktop.Notifications"_qs, name);
        signal.setArguments(args);
        server.send(signal);
    }
};

} // namespace

TEST_F(PressureNoticeTest, WarningWithFreeNowActionThroughTheNotificationService) {
    if (!StartBus()) GTEST_SKIP() << "no dbus-daemon";
    QDBusConnection server = QDBusConnection::connectToBus(Address, u"pressure-test-server"_qs);
    TNotificationServer service;
    ASSERT_TRUE(server.registerObject(u"/org/freedesktop/Notifications"_qs, &service, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(u"org.freedesktop.Notifications"_qs));

    // The whole path: figures that call for a warning, the monitor's texts, the notice on the bus.
    TOrvMultiLangs langs;
    MultiLangsMakeDefault(&langs);
    TFakeClock clock;
    TFakeSystemInfo info;
    TFakeProcesses procs;
    info.Memory = TPerformanceInfo{};
    info.Memory->PageSize = 1;
    info.Memory->PhysicalTotal = 16ll << 30;
    info.Memory->PhysicalAvailable = 1ll << 30;
    info.Pressure = TMemoryPressure{{42.0, 10, 5, 1000}, TPressureLine{3.0, 1, 1, 10}};
    TSystemStatus status(info);
    status.RefreshMemory();
    status.RefreshPressure();
    TKSPressureMonitor monitor(status, clock, procs);
    TKSPressureNotice notice(nullptr); // no tray icon: the notification service takes it
    notice.SetBusAddress(Address);
    QObject::connect(&monitor, &TKSPressureMonitor::WarningDue, &notice, &TKSPressureNotice::Show);
    int sent = 0, freeNow = 0;
    bool withAction = false;
    QObject::connect(&notice, &TKSPressureNotice::NotificationSent, [&](bool ok, bool action) {
        sent += ok;
        withAction = action;
    });
    QObject::connect(&notice, &TKSPressureNotice::FreeNowRequested, [&] { ++freeNow; });

    for (int i = 0; i < 5; ++i) {
        monitor.Sample(langs);
        clock.Advance(1000);
    }
    ASSERT_TRUE(WaitFor([&] { return sent == 1; }));
    EXPECT_EQ(notice.LastRoute(), TKSPressureNotice::TRoute::Notification);
    ASSERT_EQ(service.Summaries.size(), 1); // once per episode, not once per sample
    EXPECT_EQ(service.Summaries[0], u"Memory is running short"_qs);
    EXPECT_TRUE(service.Bodies[0].contains(u"42 %"_qs)) << service.Bodies[0].toStdString();
    EXPECT_EQ(service.Actions[0], (QStringList{u"kestrum-free-now"_qs, u"Free Now"_qs}));
    EXPECT_TRUE(withAction);

    // Another program's notification with the same action key, then ours with an unknown key: nothing.
    EmitFromServer(server, u"ActionInvoked"_qs, {uint(7), u"kestrum-free-now"_qs});
    EmitFromServer(server, u"ActionInvoked"_qs, {notice.NotificationId(), u"default"_qs});
    EmitFromServer(server, u"ActionInvoked"_qs, {notice.NotificationId(), u"kestrum-free-now"_qs});
    ASSERT_TRUE(WaitFor([&] { return freeNow > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(freeNow, 1);
}

TEST_F(PressureNoticeTest, NoActionWhereTheServiceOffersNoneAndNothingWithoutABus) {
    if (!StartBus()) GTEST_SKIP() << "no dbus-daemon";
    QDBusConnection server = QDBusConnection::connectToBus(Address, u"pressure-test-server2"_qs);
    TNotificationServer service;
    service.OffersActions = false;
    ASSERT_TRUE(server.registerObject(u"/org/freedesktop/Notifications"_qs, &service, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(u"org.freedesktop.Notifications"_qs));
    TKSPressureNotice notice(nullptr);
    notice.SetBusAddress(Address);
    bool done = false, withAction = true;
    QObject::connect(&notice, &TKSPressureNotice::NotificationSent, [&](bool ok, bool action) {
        done = ok;
        withAction = action;
    });
    notice.Show(u"t"_qs, u"x"_qs, u"Free Now"_qs);
    ASSERT_TRUE(WaitFor([&] { return done; }));
    EXPECT_FALSE(withAction);
    EXPECT_TRUE(service.Actions.value(0).isEmpty());

    TKSPressureNotice lost(nullptr);
    lost.SetBusAddress(u"unix:path="_qs + Dir.filePath(u"no-such-bus"_qs));
    bool failed = false;
    QObject::connect(&lost, &TKSPressureNotice::NotificationSent, [&](bool ok, bool) { failed = !ok; });
    lost.Show(u"t"_qs, u"x"_qs, u"Free Now"_qs);
    EXPECT_TRUE(failed);
}

#include "PressureNoticeTest.moc"
