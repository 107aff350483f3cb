// Admission of the service's requests: spacing per user from the end of that user's run, one request in
// flight per user, bounded in all, a bounded number of runs at once.
#include <gtest/gtest.h>

#include "RunGate.h"

using namespace kestrum::service;
using namespace std::chrono_literals;
using TVerdict = TRunGate::TVerdict;

TEST(RunGate, SpacesEachUsersRunsFromTheirEnd) {
    TRunGate gate(3000ms, 16);
    const auto t0 = TRunGate::TClock::time_point{} + 100h;
    std::chrono::milliseconds wait{0};

    EXPECT_EQ(gate.AdmitRun(1000, t0, &wait), TVerdict::Go);
    EXPECT_FALSE(gate.Idle());
    EXPECT_EQ(gate.AdmitRun(1000, t0 + 10ms), TVerdict::Busy) << "still in flight";
    EXPECT_EQ(gate.AdmitQuery(1000), TVerdict::Busy);
    EXPECT_EQ(gate.AdmitRun(2000, t0 + 10ms), TVerdict::Go) << "another user is not held up";
    ASSERT_TRUE(gate.BeginRun());
    ASSERT_TRUE(gate.BeginRun());
    // User 1000's run takes 16 s: the spacing counts from its end, not from its admission.
    gate.EndRun(2000, t0 + 100ms);
    gate.Finish(2000);
    gate.EndRun(1000, t0 + 16s);
    gate.Finish(1000);
    EXPECT_TRUE(gate.Idle());

    EXPECT_EQ(gate.AdmitRun(1000, t0 + 17s, &wait), TVerdict::TooSoon);
    EXPECT_EQ(wait, 2000ms);
    EXPECT_EQ(gate.AdmitRun(2000, t0 + 17s), TVerdict::Go) << "each user's own spacing";
    gate.Finish(2000);
    EXPECT_EQ(gate.AdmitQuery(1000), TVerdict::Go) << "reading the version is not spaced";
    gate.Finish(1000);
    EXPECT_EQ(gate.AdmitRun(1000, t0 + 19s), TVerdict::Go);
    gate.Finish(1000);
    gate.Finish(1000); // finishing twice is harmless
    EXPECT_TRUE(gate.Idle());
}

TEST(RunGate, BoundsRequestsInFlightAndRunsAtOnce) {
    TRunGate gate(0ms, 2, 2);
    const auto now = TRunGate::TClock::now();
    EXPECT_EQ(gate.AdmitRun(1, now), TVerdict::Go);
    EXPECT_EQ(gate.AdmitQuery(2), TVerdict::Go);
    EXPECT_EQ(gate.AdmitRun(3, now), TVerdict::Busy);
    EXPECT_EQ(gate.AdmitQuery(4), TVerdict::Busy);

    EXPECT_TRUE(gate.BeginRun());
    EXPECT_TRUE(gate.BeginRun());
    EXPECT_FALSE(gate.BeginRun());
    gate.Finish(1);
    gate.Finish(2);
    EXPECT_FALSE(gate.Idle()) << "runs are still going";
    gate.EndRun(1, now);
    gate.EndRun(2, now);
    EXPECT_TRUE(gate.Idle());
    EXPECT_EQ(gate.AdmitRun(1, now), TVerdict::Go) << "no spacing set";
    EXPECT_TRUE(gate.BeginRun());
}
