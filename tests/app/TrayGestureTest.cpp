// The tray icon's clicks as Qt reports them from the two kinds of tray host: each gesture shows or hides
// the window exactly once.
#include <gtest/gtest.h>

#include <QSystemTrayIcon>
#include <vector>

#include "app/KSTrayGesture.h"
#include "app/frmKSMain.h"
#include "common/QtApp.h"
#include "common/TestHome.h"
#include "platform/fake/FakePlatform.h"
#include "store/KSSettings.h"

using namespace kestrum;
using R = QSystemTrayIcon::ActivationReason;

namespace {

struct TStep {
    R Reason;
    int64_t At; // ms
};

struct TGestureCase {
    const char* Name;
    std::vector<TStep> Steps;
    int Toggles;
};

} // namespace

TEST(TrayGesture, EachGestureTogglesOnce) {
    test::EnsureQtApp();
    const TGestureCase cases[] = {
        {"single click", {{R::Trigger, 0}}, 1},
        {"double click, press then double-click event", {{R::Trigger, 0}, {R::DoubleClick, 180}}, 1},
        {"double click, both presses and the double-click event (XEmbed, Qt 6)",
         {{R::Trigger, 0}, {R::Trigger, 180}, {R::DoubleClick, 180}},
         1},
        {"double click reported alone", {{R::DoubleClick, 0}}, 1},
        {"double click on a StatusNotifierItem host: two activations", {{R::Trigger, 0}, {R::Trigger, 200}}, 1},
        {"two single clicks a second apart", {{R::Trigger, 0}, {R::Trigger, 1000}}, 2},
        {"two double clicks a second apart",
         {{R::Trigger, 0}, {R::Trigger, 150}, {R::DoubleClick, 150}, {R::Trigger, 1000}, {R::DoubleClick, 1150}},
         2},
        {"menu and middle button", {{R::Context, 0}, {R::MiddleClick, 1000}, {R::Unknown, 2000}}, 0},
    };
    for (const TGestureCase& c : cases) {
        int toggles = 0;
        int64_t now = 0;
        TKSTrayGesture g([&] { ++toggles; });
        g.SetInterval(400);
        g.SetClock([&] { return now; });
        for (const TStep& s : c.Steps) {
            now = 5000 + s.At; // not at 0: the first click must not pass for the rest of an earlier gesture
            g.Activated(s.Reason);
        }
        EXPECT_EQ(toggles, c.Toggles) << c.Name;
    }
}

// The main window listens through the gesture: a double click as the XEmbed icon reports it here shows the
// hidden window and a second one hides it again.
TEST(TrayGesture, DoubleClickShowsAndHidesTheMainWindow) {
    test::EnsureQtApp();
    test::TTestHome home;
    platform::TFakeHandles fakes;
    platform::TPlatform plat = platform::MakeFakePlatform(&fakes);
    TKSSettings settings;
    TFormKSMain w(plat, settings, {"Kestrum", "-autostart"});
    w.SetTrayAvailableProbe([] { return true; });
    w.FormCreate();
    ASSERT_FALSE(w.isVisible());
    int64_t now = 10000;
    w.TrayGesture()->SetClock([&] { return now; });
    auto doubleClick = [&] {
        emit w.TrayIcon()->activated(R::Trigger); // the first press
        now += 150;
        emit w.TrayIcon()->activated(R::DoubleClick);
        now += 2000;
    };
    doubleClick();
    EXPECT_TRUE(w.isVisible());
    doubleClick();
    EXPECT_FALSE(w.isVisible());
    emit w.TrayIcon()->activated(R::Trigger); // a single click works as well
    EXPECT_TRUE(w.isVisible());
}
