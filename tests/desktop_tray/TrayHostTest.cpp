#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "app/KSTrayRestart.h"
#include "common/FakeTrayWatcher.h"
#include "common/PrivateSessionBus.h"
#include "common/QtApp.h"
#include "desktop/TrayHostWatch.h"

using namespace kestrum;

namespace {

using test::WaitUntil;

} // namespace

// The host is followed through the watcher's arrival, its host signals and its end, whichever order they
// come in; a watcher without a host is no tray.
TEST(TrayHostWatch, FollowsTheWatcherAndItsHost) {
    test::EnsureQtApp();
    test::TPrivateSessionBus bus;
    if (!bus.Running()) GTEST_SKIP() << "dbus-daemon could not start";
    test::TFakeTrayWatcher watcher(bus.Connect());
    TTrayHostWatch watch(bus.Connect());
    EXPECT_FALSE(watch.HostRegistered());
    int changes = 0;
    QObject::connect(&watch, &TTrayHostWatch::HostChanged, [&] { ++changes; });

    ASSERT_TRUE(watcher.Start(false)); // a watcher, no panel yet
    QCoreApplication::processEvents();
    WaitUntil([] { return false; }, 300);
    EXPECT_FALSE(watch.HostRegistered());
    EXPECT_EQ(changes, 0);

    watcher.SetHost(true);
    ASSERT_TRUE(WaitUntil([&] { return watch.HostRegistered(); }));
    EXPECT_EQ(changes, 1);

    watcher.SetHost(false);
    ASSERT_TRUE(WaitUntil([&] { return !watch.HostRegistered(); }));

    watcher.SetHost(true);
    ASSERT_TRUE(WaitUntil([&] { return watch.HostRegistered(); }));
    watcher.Stop(); // the panel ended without a word
    ASSERT_TRUE(WaitUntil([&] { return !watch.HostRegistered(); }));

    ASSERT_TRUE(watcher.Start(true)); // a panel whose host was there before its watcher went on the bus
    ASSERT_TRUE(WaitUntil([&] { return watch.HostRegistered(); }));
    EXPECT_EQ(changes, 5);
    // (The answer at construction is a blocking call, which this process could not serve to itself: the
    // program test covers it.)
}

TEST(TrayRestart, ArgumentsStartHiddenWithoutASecondRun) {
    const struct {
        QStringList In, Out;
    } cases[] = {
        {{"/usr/bin/kestrum"}, {"/usr/bin/kestrum", "-autostart"}},
        {{"kestrum", "-autostart"}, {"kestrum", "-autostart"}},
        {{"kestrum", "-AUTOSTART", "-popup", "2"}, {"kestrum", "-AUTOSTART", "-popup", "2"}},
        {{"kestrum", "-optimize"}, {"kestrum", "-autostart"}},
        {{"kestrum", "-Optimize", "-popup", "3"}, {"kestrum", "-autostart", "-popup", "3"}},
        {{"kestrum", "-popup", "", "-x"}, {"kestrum", "-autostart", "-popup", "", "-x"}}, // read before the gap
        {{}, {"Kestrum", "-autostart"}},
    };
    for (const auto& c : cases) EXPECT_EQ(TKSTrayRestart::Arguments(c.In), c.Out) << c.In.join(u' ').toStdString();
}

// A restart waits for a quiet moment and is dropped when the need goes first; it is asked for once.
TEST(TrayRestart, WaitsForAQuietMomentAndHappensOnce) {
    test::EnsureQtApp();
    bool wanted = true, quiet = false;
    TKSTrayRestart restart([&] { return wanted; }, [&] { return quiet; });
    restart.SetRetryInterval(20);
    int now = 0;
    QObject::connect(&restart, &TKSTrayRestart::RestartNow, [&] { ++now; });
    restart.Consider();
    WaitUntil([] { return false; }, 100);
    EXPECT_EQ(now, 0);
    quiet = true;
    ASSERT_TRUE(WaitUntil([&] { return now == 1; }));
    EXPECT_TRUE(restart.Requested());
    restart.Consider();
    WaitUntil([] { return false; }, 100);
    EXPECT_EQ(now, 1);

    TKSTrayRestart dropped([&] { return wanted; }, [&] { return false; });
    dropped.SetRetryInterval(20);
    int never = 0;
    QObject::connect(&dropped, &TKSTrayRestart::RestartNow, [&] { ++never; });
    dropped.Consider();
    wanted = false; // the icon came some other way, or the host left again
    WaitUntil([] { return false; }, 100);
    EXPECT_EQ(never, 0);
    EXPECT_FALSE(dropped.Requested());
}
