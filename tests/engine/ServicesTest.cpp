#include <gtest/gtest.h>

#include <algorithm>

#include "engine/Services.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeServiceManager.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

TServiceStatus St(uint32_t state, uint32_t hint = 0) {
    return {state, hint};
}

class ServicesTest : public ::testing::Test {
protected:
    bool Start(const QString& name = "Themes", uint32_t limit = 1000) {
        return TServices::StartServiceAndWait(Manager, Clock, name, limit);
    }
    void ExpectClosed() { EXPECT_EQ(Manager.OpenHandles, 0); }
    TFakeServiceManager Manager;
    TFakeClock Clock;
};

} // namespace

TEST(ServicePollInterval, TenthOfHintWithinOneToTenSeconds) {
    EXPECT_EQ(TServices::PollInterval(0), 1000u);
    EXPECT_EQ(TServices::PollInterval(9999), 1000u);
    EXPECT_EQ(TServices::PollInterval(30000), 3000u);
    EXPECT_EQ(TServices::PollInterval(200000), 10000u);
}

TEST_F(ServicesTest, RunningServiceNeedsOneQueryNoStartNoSleep) {
    EXPECT_TRUE(Start(" Themes "));
    EXPECT_EQ(Manager.Calls, (std::vector<std::string>{"manager", "open:Themes", "query", "close", "close"}));
    EXPECT_EQ(Clock.SleptMs, 0u);
    ExpectClosed();
}

TEST_F(ServicesTest, BlankNameOpensNothing) {
    EXPECT_FALSE(Start("   "));
    EXPECT_TRUE(Manager.Calls.empty());
}

TEST_F(ServicesTest, OpenFailuresGiveFalseAndCloseWhatOpened) {
    Manager.ManagerOpens = false;
    EXPECT_FALSE(Start());
    ExpectClosed();
    Manager.ManagerOpens = true;
    EXPECT_FALSE(Start("NoSuch"));
    ExpectClosed();
    Manager.Statuses = {std::nullopt};
    EXPECT_FALSE(Start());
    ExpectClosed();
}

TEST_F(ServicesTest, DisabledServiceFailsAtStartWithoutWaiting) {
    Manager.Statuses = {St(SERVICE_STATE_STOPPED)};
    Manager.StartSucceeds = false;
    EXPECT_FALSE(Start());
    EXPECT_EQ(Clock.SleptMs, 0u);
    EXPECT_EQ(Manager.Calls.back(), "close");
    ExpectClosed();
}

TEST_F(ServicesTest, StoppedServiceStartsAndIsPolledUntilRunning) {
    Manager.Statuses = {St(SERVICE_STATE_STOPPED), St(SERVICE_STATE_START_PENDING, 30000),
                        St(SERVICE_STATE_START_PENDING), St(SERVICE_STATE_RUNNING)};
    EXPECT_TRUE(Start("Themes", TServices::INFINITE));
    // Query, start, query (pending, hint 30 s -> 3 s polls), sleep, query (pending), sleep, query (running).
    EXPECT_EQ(Clock.SleptMs, 6000u);
    EXPECT_EQ(Manager.Calls, (std::vector<std::string>{"manager", "open:Themes", "query", "start", "query", "query",
                                                       "query", "close", "close"}));
    ExpectClosed();
}

TEST_F(ServicesTest, SlowServiceFailsAfterFirstPollPastTheLimit) {
    Manager.Statuses = {St(SERVICE_STATE_STOPPED), St(SERVICE_STATE_START_PENDING)};
    EXPECT_FALSE(Start("Themes", 1000));
    // 1000 ms after the start the limit is reached but not exceeded; the second poll exceeds it.
    EXPECT_EQ(Clock.SleptMs, 2000u);
    ExpectClosed();
}

TEST_F(ServicesTest, PendingChangeIsWaitedOutBeforeTheStart) {
    // Stopping when asked: wait for it to end, then start.
    Manager.Statuses = {St(SERVICE_STATE_STOP_PENDING, 50000), St(SERVICE_STATE_STOP_PENDING),
                        St(SERVICE_STATE_STOPPED), St(SERVICE_STATE_RUNNING)};
    EXPECT_TRUE(Start("Themes", 20000));
    EXPECT_EQ(Clock.SleptMs, 10000u); // two 5-s polls
    EXPECT_EQ(std::count(Manager.Calls.begin(), Manager.Calls.end(), "start"), 1);

    // A pending change that outlasts the limit ends before any start.
    TFakeServiceManager m2;
    TFakeClock c2;
    m2.Statuses = {St(SERVICE_STATE_START_PENDING)};
    EXPECT_FALSE(TServices::StartServiceAndWait(m2, c2, "Themes", 1500));
    EXPECT_EQ(c2.SleptMs, 2000u);
    EXPECT_EQ(std::count(m2.Calls.begin(), m2.Calls.end(), "start"), 0);
    EXPECT_EQ(m2.OpenHandles, 0);
}

TEST_F(ServicesTest, FailedPollsKeepWaitingAndTheClockMayWrap) {
    Clock.Tick = 0xFFFFFC00u; // 1024 ms before the 32-bit wrap
    Manager.Statuses = {St(SERVICE_STATE_STOPPED), std::nullopt, std::nullopt, St(SERVICE_STATE_RUNNING)};
    EXPECT_TRUE(Start("Themes", 5000));
    EXPECT_EQ(Clock.SleptMs, 2000u);
}

TEST_F(ServicesTest, ExceptionFromManagerGivesFalse) {
    Manager.Statuses = {St(SERVICE_STATE_STOPPED)};
    Manager.OnStart = [] { throw std::runtime_error("bus gone"); };
    EXPECT_FALSE(Start());
    ExpectClosed();
}
