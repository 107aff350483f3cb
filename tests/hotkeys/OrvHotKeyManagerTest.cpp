#include <gtest/gtest.h>

#include "desktop/OrvHotKeyManager.h"
#include "common/QtApp.h"
#include "platform/fake/FakeHotKeys.h"

using namespace kestrum;
using platform::TFakeHotKeys;
using platform::THotKeyPress;

namespace {

struct TPresses {
    std::vector<std::pair<uint32_t, uint16_t>> Seen;
    void Attach(TOrvHotKeyManager& m) {
        QObject::connect(&m, &TOrvHotKeyManager::OnHotKeyPressed,
                         [this](uint32_t v, uint16_t id) { Seen.emplace_back(v, id); });
    }
};

} // namespace

TEST(OrvHotKeyManager, RegistersUnderTheNamedIdAndReportsPresses) {
    test::EnsureQtApp();
    TFakeHotKeys keys;
    TOrvHotKeyManager m(keys);
    TPresses presses;
    presses.Attach(m);

    const uint16_t id = m.AddHotKey(0x4000 + 0x8000 + 0x4D);
    ASSERT_NE(id, 0);
    ASSERT_EQ(keys.Grabs.size(), 1u);
    EXPECT_EQ(keys.Grabs[0].Modifiers, 3u); // Alt | Control
    EXPECT_EQ(keys.Grabs[0].VirtualKey, 0x4D);
    EXPECT_EQ(keys.Grabs[0].Id, id);
    // The id belongs to the name; the same name gives the same id.
    EXPECT_EQ(keys.AddAtom("HotKeyManagerHotKey49229"), id);
    keys.DeleteAtom(id);

    m.WndProc(THotKeyPress{id, 3, 0x4D});
    m.WndProc(THotKeyPress{id, 1, 0x4D}); // Alt+M alone is not registered
    ASSERT_EQ(presses.Seen.size(), 1u);
    EXPECT_EQ(presses.Seen[0], (std::pair<uint32_t, uint16_t>{49229, id}));
}

TEST(OrvHotKeyManager, RefusedCombinationLeavesNothingBehind) {
    test::EnsureQtApp();
    TFakeHotKeys keys;
    keys.Taken.insert({3, 0x4D});
    TOrvHotKeyManager m(keys);
    EXPECT_NE(m.AddHotKey(0x2000 + 0x41), 0);
    EXPECT_EQ(m.AddHotKey(0x4000 + 0x8000 + 0x4D), 0);
    EXPECT_EQ(keys.Grabs.size(), 1u);
    EXPECT_EQ(keys.Atoms.Size(), 1u); // the refused one's id was released
    EXPECT_FALSE(m.RemoveHotKey(0x4000 + 0x8000 + 0x4D));
}

TEST(OrvHotKeyManager, RemoveTakesTheFirstEqualEntryAndDestructorReleasesAll) {
    test::EnsureQtApp();
    TFakeHotKeys keys;
    {
        TOrvHotKeyManager m(keys);
        TPresses presses;
        presses.Attach(m);
        const uint16_t a = m.AddHotKey(0x2000 + 0x41);
        const uint16_t b = m.AddHotKey(0x2000 + 0x41);
        const uint16_t c = m.AddHotKey(0x4000 + 0x42);
        EXPECT_EQ(a, b);
        EXPECT_NE(a, c);
        EXPECT_TRUE(m.RemoveHotKey(0x2000 + 0x41));
        EXPECT_EQ(keys.Grabs.size(), 2u);
        m.WndProc(THotKeyPress{a, 4, 0x41}); // the second entry still answers
        EXPECT_EQ(presses.Seen.size(), 1u);
        EXPECT_FALSE(m.RemoveHotKey(0x8000 + 0x41));

        keys.UnregisterFails = true; // the entry goes whatever the system says, and the answer is false
        EXPECT_FALSE(m.RemoveHotKey(0x4000 + 0x42));
        keys.UnregisterFails = false;
        m.WndProc(THotKeyPress{c, 2, 0x42});
        EXPECT_EQ(presses.Seen.size(), 1u);
    }
    EXPECT_TRUE(keys.Grabs.empty());
    EXPECT_EQ(keys.Atoms.Size(), 0u);
}

TEST(OrvHotKeyManager, ValueWithUnusedBitsRegistersButNeverFires) {
    test::EnsureQtApp();
    TFakeHotKeys keys;
    TOrvHotKeyManager m(keys);
    TPresses presses;
    presses.Attach(m);
    const uint16_t id = m.AddHotKey(0x0100 + 0x4000 + 0x41);
    ASSERT_NE(id, 0);
    m.WndProc(THotKeyPress{id, 2, 0x41});
    EXPECT_TRUE(presses.Seen.empty());
}
