#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "common/FakePortal.h"
#include "common/PrivateSessionBus.h"
#include "common/QtApp.h"
#include "desktop/HotKeyText.h"
#include "desktop/PortalHotKey.h"

using namespace kestrum;

namespace {

using test::WaitUntil;

class PortalHotKey : public ::testing::Test {
protected:
    void SetUp() override {
        test::EnsureQtApp();
        if (!Bus.Running()) GTEST_SKIP() << "dbus-daemon could not start";
    }
    test::TPrivateSessionBus Bus;
};

} // namespace

TEST(PortalTrigger, StoredValuesInThePortalsFormat) {
    const struct {
        uint32_t Value;
        const char* Trigger;
    } cases[] = {
        {HotKey_Alt | 'M', "ALT+m"},
        {HotKey_Ctrl | HotKey_Alt | 0x70, "CTRL+ALT+F1"},
        {HotKey_Ctrl | HotKey_Shift | HotKey_Alt | HotKey_Win | '5', "CTRL+ALT+SHIFT+LOGO+5"},
        {HotKey_Win | 0x87, "LOGO+F24"},
        {HotKey_Ctrl | 0x21, "CTRL+Prior"},
        {HotKey_Shift | 0x2E, "SHIFT+Delete"},
        {HotKey_Ctrl | 0x63, "CTRL+KP_3"},
        {HotKey_Alt | 0xBD, "ALT+minus"},
        {HotKey_Alt | 0x20, "ALT+space"},
        {0xB3, "XF86AudioPlay"},  // a media key alone
        {HotKey_Ctrl | 0xFF, ""}, // no xkb name: the desktop lets the user choose
        {HotKey_Ctrl | 0x11, ""}, // a modifier as the key
    };
    for (const auto& c : cases)
        EXPECT_EQ(HotKeyToPortalTrigger(c.Value).toStdString(), c.Trigger) << std::hex << c.Value;
}

using TState = TPortalHotKey::TState;

TEST_F(PortalHotKey, BindsWithThePreferredTriggerAndAnActivationRunsOnce) {
    test::TFakePortal portal(Bus.Connect());
    ASSERT_TRUE(portal.Start());
    TPortalHotKey hotKey(Bus.Connect(), u"kestrum"_qs);
    int runs = 0;
    QObject::connect(&hotKey, &TPortalHotKey::Activated, [&] { ++runs; });
    hotKey.Bind(HotKey_Alt | 'M', u"Optimize memory"_qs);
    EXPECT_EQ(hotKey.State(), TState::Binding);
    ASSERT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Bound; }));
    // The application id is named before the session is asked for.
    EXPECT_EQ(portal.Calls, (QStringList{u"Register"_qs, u"CreateSession"_qs, u"BindShortcuts"_qs}));
    ASSERT_EQ(portal.BoundShortcuts.size(), 1);
    EXPECT_EQ(portal.BoundShortcuts[0].Id, u"optimize"_qs);
    EXPECT_EQ(portal.BoundShortcuts[0].Properties.value(u"preferred_trigger"_qs).toString(), u"ALT+m"_qs);
    EXPECT_EQ(portal.BoundShortcuts[0].Properties.value(u"description"_qs).toString(), u"Optimize memory"_qs);
    EXPECT_EQ(hotKey.Trigger(), u"Alt+M"_qs);

    portal.Activate(portal.LastSession, u"optimize"_qs);
    portal.Activate(portal.LastSession, u"other"_qs);              // not ours
    portal.Activate(portal.LastSession + u"x"_qs, u"optimize"_qs); // another session
    EXPECT_TRUE(WaitUntil([&] { return runs > 0; }));
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(runs, 1);
}

// Each start (and each new key) binds anew; the session of the old binding is given back.
TEST_F(PortalHotKey, BindingAgainReplacesTheSessionAndReleaseGivesItBack) {
    test::TFakePortal portal(Bus.Connect());
    ASSERT_TRUE(portal.Start());
    TPortalHotKey hotKey(Bus.Connect(), u"kestrum"_qs);
    hotKey.Bind(HotKey_Alt | 'M', u"Optimize memory"_qs);
    ASSERT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Bound; }));
    const QString first = portal.LastSession;
    portal.ChosenTrigger = u"Ctrl+Alt+F1"_qs;
    hotKey.Bind(HotKey_Ctrl | HotKey_Alt | 0x70, u"Optimize memory"_qs);
    ASSERT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Bound; }));
    EXPECT_NE(portal.LastSession, first);
    EXPECT_TRUE(portal.Calls.contains(u"Close "_qs + first));
    EXPECT_EQ(hotKey.Trigger(), u"Ctrl+Alt+F1"_qs);

    int runs = 0;
    QObject::connect(&hotKey, &TPortalHotKey::Activated, [&] { ++runs; });
    portal.Activate(first, u"optimize"_qs); // the old session no longer counts
    hotKey.Release();
    EXPECT_EQ(hotKey.State(), TState::Off);
    EXPECT_TRUE(WaitUntil([&] { return portal.Calls.contains(u"Close "_qs + portal.LastSession); }));
    portal.Activate(portal.LastSession, u"optimize"_qs);
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(runs, 0);
}

TEST_F(PortalHotKey, CancelledOrFailedAnswersLeaveNoBinding) {
    const struct { uint CreateCode, BindCode; } cases[] = {{1, 0}, {2, 0}, {0, 1}, {0, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "create " << c.CreateCode << " bind " << c.BindCode);
        auto portalBus = Bus.Connect();
        test::TFakePortal portal(portalBus);
        ASSERT_TRUE(portal.Start());
        portal.CreateCode = c.CreateCode;
        portal.BindCode = c.BindCode;
        TPortalHotKey hotKey(Bus.Connect(), u"kestrum"_qs);
        hotKey.Bind(HotKey_Alt | 'M', u"Optimize memory"_qs);
        EXPECT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Refused; }));
        EXPECT_TRUE(hotKey.Trigger().isEmpty());
        if (c.CreateCode == 0) // a session that got no shortcut is given back
            EXPECT_TRUE(WaitUntil([&] { return portal.Calls.contains(u"Close "_qs + portal.LastSession); }));
        portalBus.unregisterService(u"org.freedesktop.portal.Desktop"_qs);
    }
}

TEST_F(PortalHotKey, NoPortalOrNoGlobalShortcutsIsUnavailable) {
    {
        TPortalHotKey hotKey(Bus.Connect(), u"kestrum"_qs);
        hotKey.Bind(HotKey_Alt | 'M', u"Optimize memory"_qs);
        EXPECT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Unavailable; }));
    }
    test::TFakePortal portal(Bus.Connect());
    portal.Shortcuts = false;
    ASSERT_TRUE(portal.Start());
    TPortalHotKey hotKey(Bus.Connect(), u"kestrum"_qs);
    hotKey.Bind(HotKey_Alt | 'M', u"Optimize memory"_qs);
    EXPECT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Unavailable; }));
    EXPECT_TRUE(portal.Calls.isEmpty());
}

TEST_F(PortalHotKey, ClosedSessionOrEndedPortalDropsTheBinding) {
    auto portalBus = Bus.Connect();
    test::TFakePortal portal(portalBus);
    ASSERT_TRUE(portal.Start());
    TPortalHotKey hotKey(Bus.Connect(), u"kestrum"_qs);
    int runs = 0, changes = 0;
    QObject::connect(&hotKey, &TPortalHotKey::Activated, [&] { ++runs; });
    hotKey.Bind(HotKey_Alt | 'M', u"Optimize memory"_qs);
    ASSERT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Bound; }));
    QObject::connect(&hotKey, &TPortalHotKey::StateChanged, [&] { ++changes; });
    portal.CloseSession(portal.LastSession);
    EXPECT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Refused; }));
    EXPECT_EQ(changes, 1);
    portal.Activate(portal.LastSession, u"optimize"_qs);
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(runs, 0);

    hotKey.Bind(HotKey_Alt | 'M', u"Optimize memory"_qs);
    ASSERT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Bound; }));
    portalBus.unregisterService(u"org.freedesktop.portal.Desktop"_qs);
    EXPECT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Refused; }));
}

// The desktop's own shortcut dialog exists from the interface's version 2 on, and only for a bound session.
TEST_F(PortalHotKey, DesktopConfigurationOnlyFromVersionTwoAndForTheBoundSession) {
    for (const uint version : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        auto portalBus = Bus.Connect();
        test::TFakePortal portal(portalBus);
        portal.Version = version;
        ASSERT_TRUE(portal.Start());
        TPortalHotKey hotKey(Bus.Connect(), u"kestrum"_qs);
        EXPECT_FALSE(hotKey.CanConfigure()); // nothing bound yet
        hotKey.Bind(HotKey_Alt | 'M', u"Optimize memory"_qs);
        ASSERT_TRUE(WaitUntil([&] { return hotKey.State() == TState::Bound; }));
        EXPECT_EQ(hotKey.CanConfigure(), version >= 2);
        hotKey.Configure(u"wayland:abc"_qs);
        if (version >= 2) {
            EXPECT_TRUE(WaitUntil([&] {
                return portal.Calls.contains(u"ConfigureShortcuts "_qs + portal.LastSession);
            })) << portal.Calls.join(u',').toStdString();
        } else {
            WaitUntil([] { return false; }, 200);
            EXPECT_FALSE(portal.Calls.join(u',').contains(u"ConfigureShortcuts"_qs));
        }
        hotKey.Release(); // given back: nothing left to configure
        EXPECT_FALSE(hotKey.CanConfigure());
        portalBus.unregisterService(u"org.freedesktop.portal.Desktop"_qs);
    }
}
