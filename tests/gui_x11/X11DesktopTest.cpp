#include <gtest/gtest.h>

#include "XClient.h"
#include "desktop/OrvAntiDisturb.h"
#include "platform/IDesktop.h"
#include "platform/fake/FakeProcesses.h"

using namespace kestrum;
using platform::TRect;
using test::TXClient;

namespace {

class X11Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::EnsureX11App()) GTEST_SKIP() << "no X server (DISPLAY)";
        Desktop = platform::MakeX11Desktop(QtX11Connection());
        ASSERT_TRUE(X.Ok());
        Detector = std::make_unique<TOrvAntiDisturb>(*Desktop, Processes);
        Detector->SetEnabled(false);
    }
    void TearDown() override {
        for (auto w : Opened) X.Close(w);
    }
    // Opens the window, makes it the active one, and waits until the window manager has placed it.
    xcb_window_t OpenActive(const TXClient::TWindowSpec& wanted, std::optional<TRect> expected) {
        xcb_window_t w = X.Open(wanted);
        Opened.push_back(w);
        bool placed = test::WaitFor([&] {
            if (Desktop->ForegroundWindow() != w) X.Activate(w);
            return Desktop->ForegroundWindow() == w && (!expected || Desktop->WindowRect(w) == expected);
        });
        EXPECT_TRUE(placed) << "window " << w << " not active at the expected place";
        return w;
    }

    std::unique_ptr<platform::IDesktop> Desktop;
    platform::TFakeProcesses Processes;
    std::unique_ptr<TOrvAntiDisturb> Detector;
    TXClient X;
    std::vector<xcb_window_t> Opened;
};

} // namespace

TEST_F(X11Desktop, ScreenAndWindowFacts) {
    const TRect screen{0, 0, X.Screen->width_in_pixels, X.Screen->height_in_pixels};
    EXPECT_EQ(Desktop->PrimaryScreenRect(), screen);
    xcb_window_t w =
        OpenActive({.X = 0, .Y = 0, .Width = screen.Right, .Height = screen.Bottom, .FullScreenState = true}, screen);
    EXPECT_EQ(Desktop->WindowProcessId(w), uint32_t(getpid()));
    EXPECT_FALSE(Desktop->IsShellWindow(w));
    // The window manager may set the full-screen state a moment after the window is in place.
    EXPECT_TRUE(test::WaitFor([&] { return Detector->IsFullScreenForeground(); }));
    EXPECT_TRUE(Detector->DetectState());
}

TEST_F(X11Desktop, BorderlessWindowOfExactlyTheScreenCountsOnePixelOffDoesNot) {
    const int W = X.Screen->width_in_pixels, H = X.Screen->height_in_pixels;
    OpenActive({.X = 0, .Y = 0, .Width = W, .Height = H, .Undecorated = true}, TRect{0, 0, W, H});
    EXPECT_TRUE(Detector->IsFullScreenForeground());
    OpenActive({.X = 0, .Y = 0, .Width = W - 1, .Height = H, .Undecorated = true}, TRect{0, 0, W - 1, H});
    EXPECT_FALSE(Detector->IsFullScreenForeground());
    OpenActive({.X = 1, .Y = 0, .Width = W - 1, .Height = H, .Undecorated = true}, TRect{1, 0, W, H});
    EXPECT_FALSE(Detector->IsFullScreenForeground());
}

TEST_F(X11Desktop, MaximizedDecoratedWindowIsNotFullScreen) {
    const int W = X.Screen->width_in_pixels, H = X.Screen->height_in_pixels;
    xcb_window_t w = OpenActive({.Width = 200, .Height = 200, .Maximized = true}, std::nullopt);
    // Its frame covers the screen; what the program draws in does not.
    ASSERT_TRUE(test::WaitFor([&] { return Desktop->WindowRect(w)->Right - Desktop->WindowRect(w)->Left == W; }));
    EXPECT_LT(Desktop->WindowRect(w)->Bottom - Desktop->WindowRect(w)->Top, H);
    EXPECT_FALSE(Detector->IsFullScreenForeground());
}

TEST_F(X11Desktop, DesktopWindowIsNotFullScreen) {
    const int W = X.Screen->width_in_pixels, H = X.Screen->height_in_pixels;
    xcb_window_t w =
        OpenActive({.X = 0, .Y = 0, .Width = W, .Height = H, .Type = "_NET_WM_WINDOW_TYPE_DESKTOP"}, TRect{0, 0, W, H});
    EXPECT_TRUE(Desktop->IsShellWindow(w));
    EXPECT_FALSE(Detector->IsFullScreenForeground());
}

TEST_F(X11Desktop, PrimaryMonitorSmallerThanTheRootWindow) {
    const int W = X.Screen->width_in_pixels, H = X.Screen->height_in_pixels;
    test::TSmallPrimary primary(X);
    if (!primary.Ok) GTEST_SKIP() << "the X server cannot change its output mode";
    // The server applies the new mode asynchronously (and may refuse it under a busy window manager).
    if (!test::WaitFor([&] { return Desktop->PrimaryScreenRect() == TRect{0, 0, 1024, 768}; }))
        GTEST_SKIP() << "the X server did not apply the smaller mode to its primary output";
    OpenActive({.X = 0, .Y = 0, .Width = 1024, .Height = 768, .Undecorated = true}, TRect{0, 0, 1024, 768});
    EXPECT_TRUE(Detector->IsFullScreenForeground());
    // Covering the whole root window is covering more than the primary monitor.
    OpenActive({.X = 0, .Y = 0, .Width = W, .Height = H, .Undecorated = true}, TRect{0, 0, W, H});
    EXPECT_FALSE(Detector->IsFullScreenForeground());
}

TEST(X11DesktopNoServer, NoConnectionMeansNoWindow) {
    auto d = platform::MakeX11Desktop(nullptr);
    EXPECT_EQ(d->ForegroundWindow(), 0u);
    EXPECT_FALSE(d->WindowRect(1));
    EXPECT_EQ(d->PrimaryScreenRect(), TRect{});
}
