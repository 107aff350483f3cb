#include <gtest/gtest.h>

#include <map>

#include "desktop/WatchedDesktop.h"

using namespace kestrum;
using kestrum::platform::TRect;
using kestrum::platform::TWindowId;

namespace {

// Counts the questions that reach the desktop (each one a round trip on X11).
class TCountingDesktop final : public platform::IDesktop {
public:
    TWindowId Foreground = 0;
    std::map<TWindowId, uint32_t> Owners;
    int ForegroundAsked = 0, OwnerAsked = 0;

    TWindowId ForegroundWindow() override {
        ++ForegroundAsked;
        return Foreground;
    }
    uint32_t WindowProcessId(TWindowId w) override {
        ++OwnerAsked;
        return Owners.count(w) ? Owners[w] : 0;
    }
    std::optional<TRect> WindowRect(TWindowId) override { return std::nullopt; }
    bool IsShellWindow(TWindowId) override { return false; }
    TRect PrimaryScreenRect() override { return {}; }
};

} // namespace

TEST(WatchedDesktop, TheActiveWindowAndItsProcessComeFromReportsNotQuestions) {
    TCountingDesktop real;
    int64_t now = 1000;
    TWatchedDesktop d(real, [&] { return now; });
    real.Foreground = 7;
    real.Owners = {{7, 70}, {8, 80}};

    // No report yet (no watch, or a session without X): every question goes to the desktop.
    EXPECT_EQ(d.ForegroundWindow(), 7u);
    EXPECT_EQ(d.WindowProcessId(7), 70u);
    EXPECT_EQ(d.WindowProcessId(7), 70u);
    EXPECT_EQ(real.ForegroundAsked, 1);
    EXPECT_EQ(real.OwnerAsked, 2);

    d.ActiveWindowReported(8);
    real.ForegroundAsked = real.OwnerAsked = 0;
    for (int i = 0; i < 5; ++i) {
        now += 10000;
        EXPECT_EQ(d.ForegroundWindow(), 8u);
        EXPECT_EQ(d.WindowProcessId(8), 80u);
    }
    EXPECT_EQ(real.ForegroundAsked, 0);
    EXPECT_EQ(real.OwnerAsked, 1) << "a window's process is asked once while it stays active";

    // Another window, then the first id again (it may be a new window by now): its process is asked anew.
    d.ActiveWindowReported(7);
    d.ActiveWindowReported(8);
    real.Owners[8] = 81;
    EXPECT_EQ(d.WindowProcessId(8), 81u);
    // A window that has not told its process yet is asked again next time.
    real.Owners.erase(8);
    d.ActiveWindowReported(9);
    EXPECT_EQ(d.WindowProcessId(9), 0u);
    real.Owners[9] = 90;
    EXPECT_EQ(d.WindowProcessId(9), 90u);
    // A window other than the active one is always asked.
    real.OwnerAsked = 0;
    EXPECT_EQ(d.WindowProcessId(7), 70u);
    EXPECT_EQ(d.WindowProcessId(7), 70u);
    EXPECT_EQ(real.OwnerAsked, 2);
}

TEST(WatchedDesktop, AWatchThatFellSilentIsCorrectedWithinAMinute) {
    TCountingDesktop real;
    int64_t now = 0;
    TWatchedDesktop d(real, [&] { return now; });
    real.Owners = {{3, 30}, {4, 40}};
    d.ActiveWindowReported(3);
    EXPECT_EQ(d.WindowProcessId(3), 30u);
    // The window manager moved on, but no report came.
    real.Foreground = 4;
    now += TWatchedDesktop::TrustMs - 1;
    EXPECT_EQ(d.ForegroundWindow(), 3u);
    EXPECT_EQ(real.ForegroundAsked, 0);
    now += 1;
    EXPECT_EQ(d.ForegroundWindow(), 4u);
    EXPECT_EQ(d.WindowProcessId(4), 40u);
    EXPECT_EQ(d.ForegroundWindow(), 4u);
    EXPECT_EQ(real.ForegroundAsked, 1) << "trusted again for a while after the correction";
}
