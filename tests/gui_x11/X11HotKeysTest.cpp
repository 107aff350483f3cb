#include <gtest/gtest.h>

#include "XClient.h"
#include "desktop/OrvHotKeyManager.h"
#include "platform/IHotKeys.h"

using namespace kestrum;
using test::TXClient;

namespace {

constexpr uint32_t AltM = 0x8000 + 0x4D; // 32845
constexpr uint32_t CtrlAltK = 0x4000 + 0x8000 + 0x4B;
constexpr uint16_t Ctrl = XCB_MOD_MASK_CONTROL, Alt = XCB_MOD_MASK_1, NumLock = XCB_MOD_MASK_2;

class X11HotKeys : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::EnsureX11App()) GTEST_SKIP() << "no X server (DISPLAY)";
        Keys = platform::MakeX11HotKeys(QtX11Connection());
    }
    std::unique_ptr<platform::IHotKeys> Keys;
};

} // namespace

TEST_F(X11HotKeys, PressFiresWithNumLockOffAndOn) {
    TOrvHotKeyManager m(*Keys);
    std::vector<std::pair<uint32_t, uint16_t>> seen;
    QObject::connect(&m, &TOrvHotKeyManager::OnHotKeyPressed,
                     [&](uint32_t v, uint16_t id) { seen.emplace_back(v, id); });
    const uint16_t id = m.AddHotKey(AltM);
    ASSERT_NE(id, 0);

    TXClient x;
    if (x.PointerMask() & NumLock) test::Xdotool({"key", "Num_Lock"}); // left on by an earlier run
    ASSERT_TRUE(test::WaitFor([&] { return (x.PointerMask() & NumLock) == 0; }));
    ASSERT_TRUE(test::Xdotool({"key", "alt+m"}));
    ASSERT_TRUE(test::WaitFor([&] { return seen.size() == 1; }));
    EXPECT_EQ(seen[0], (std::pair<uint32_t, uint16_t>{32845, id}));

    ASSERT_TRUE(test::Xdotool({"key", "Num_Lock"}));
    ASSERT_TRUE(test::WaitFor([&] { return (x.PointerMask() & NumLock) != 0; }));
    ASSERT_TRUE(test::Xdotool({"key", "alt+m"}));
    const bool fired = test::WaitFor([&] { return seen.size() == 2; });
    test::Xdotool({"key", "Num_Lock"});
    ASSERT_TRUE(fired);
    EXPECT_EQ(seen[1].first, 32845u);

    // Another combination on the same key is not ours.
    ASSERT_TRUE(test::Xdotool({"key", "ctrl+m"}));
    test::WaitFor([] { return false; }, 300);
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(X11HotKeys, CombinationHeldByAnotherProgramIsRefusedAndLeavesNothingGrabbed) {
    TXClient other;
    ASSERT_TRUE(other.Ok());
    ASSERT_TRUE(other.Grab(Ctrl | Alt, 'k'));
    TOrvHotKeyManager m(*Keys);
    EXPECT_EQ(m.AddHotKey(CtrlAltK), 0);
    // Our NumLock variants may have been granted before the refusal; they were all given back.
    EXPECT_TRUE(other.Grab(Ctrl | Alt | NumLock, 'k'));
    EXPECT_TRUE(other.Grab(Ctrl | Alt | XCB_MOD_MASK_LOCK | NumLock, 'k'));
    other.Ungrab(Ctrl | Alt, 'k');
    other.Ungrab(Ctrl | Alt | NumLock, 'k');
    other.Ungrab(Ctrl | Alt | XCB_MOD_MASK_LOCK | NumLock, 'k');
    EXPECT_NE(m.AddHotKey(CtrlAltK), 0);
}

TEST_F(X11HotKeys, RemoveAndDestructionFreeTheGrab) {
    TXClient other;
    {
        TOrvHotKeyManager m(*Keys);
        ASSERT_NE(m.AddHotKey(CtrlAltK), 0);
        EXPECT_FALSE(other.Grab(Ctrl | Alt, 'k'));
        EXPECT_EQ(m.AddHotKey(CtrlAltK), 0); // one owner per combination, also within this program
        EXPECT_TRUE(m.RemoveHotKey(CtrlAltK));
        EXPECT_TRUE(other.Grab(Ctrl | Alt, 'k'));
        other.Ungrab(Ctrl | Alt, 'k');
        ASSERT_NE(m.AddHotKey(AltM), 0);
    }
    EXPECT_TRUE(other.Grab(Alt, 'm'));
    other.Ungrab(Alt, 'm');
}

TEST(X11HotKeysNoServer, RegistrationFailsCleanly) {
    test::EnsureQtApp();
    auto keys = platform::MakeX11HotKeys(nullptr);
    TOrvHotKeyManager m(*keys);
    EXPECT_EQ(m.AddHotKey(AltM), 0);
    EXPECT_FALSE(m.RemoveHotKey(AltM));
    EXPECT_FALSE(keys->TranslateEvent(nullptr));
}
