// Admission of the service's requests: spacing per user, one request in flight per user, bounded in all,
// one run at a time.
#include <gtest/gtest.h>

#include "RunGate.h"

using namespace kestrum::service;
using namespace std::chrono_literals;
using TVerdict = TRunGate::TVerdict;

TEST(RunGate, SpacesEachUsersRequestsAndRefusesWhatIsInFlight) {
    TRunGate gate(3000ms, 16);
    const auto t0 = TRunGate::TClock::time_point{} + 100h;
    std::chrono::milliseconds wait{0};

    EXPECT_EQ(gate.AdmitRun(1000, t0, &wait), TVerdict::Go);
    EXPECT_FALSE(gate.Idle());
    EXPECT_EQ(gate.AdmitRun(1000, t0 + 10ms), TVerdict::Busy) << "still in flight";
    EXPECT_EQ(gate.AdmitQuery(1000), TVerdict::Busy);
    EXPECT_EQ(gate.AdmitRun(2000, t0 + 10ms), TVerdict::Go) << "another user is not held up";
    gate.Finish(1000);
    gate.Finish(2000);
    EXPECT_TRUE(gate.Idle());

    EXPECT_EQ(gate.AdmitRun(1000, t0 + 1000ms, &wait), TVerdict::TooSoon);
    EXPECT_EQ(wait, 2000ms);
    EXPECT_EQ(gate.AdmitQuery(1000), TVerdict::Go) << "reading the version is not spaced";
    gate.Finish(1000);
    EXPECT_EQ(gate.AdmitRun(1000, t0 + 3000ms), TVerdict::Go);
    gate.Finish(1000);
    gate.Finish(1000); // finishing twice is harmless
    EXPECT_TRUE(gate.Idle());
}

TEST(RunGate, BoundsRequestsInFlightAndRunsOneAtATime) {
    TRunGate gate(0ms, 2);
    const auto now = TRunGate::TClock::now();
    EXPECT_EQ(gate.AdmitRun(1, now), TVerdict::Go);
    EXPECT_EQ(gate.AdmitQuery(2), TVerdict::Go);
    EXPECT_EQ(gate.AdmitRun(3, now), TVerdict::Busy);
    EXPECT_EQ(gate.AdmitQuery(4), TVerdict::Busy);

    EXPECT_TRUE(gate.BeginRun());
    EXPECT_FALSE(gate.BeginRun());
    gate.Finish(1);
    gate.Finish(2);
    EXPECT_FALSE(gate.Idle()) << "a run is still going";
    gate.EndRun();
    EXPECT_TRUE(gate.Idle());
    EXPECT_TRUE(gate.BeginRun());
}
