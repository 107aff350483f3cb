#include <gtest/gtest.h>

#include "desktop/HotKeyText.h"
#include "platform/linux/X11KeyMap.h"

using namespace kestrum;

TEST(HotKeyText, SplitAndJoinAreInverse) {
    EXPECT_EQ(SplitHotKey(0x4000 + 0x8000 + 0x4D), (TSplitHotKey{3, 0x4D}));
    EXPECT_EQ(SplitHotKey(0x2000 + 0x10000 + 0x70), (TSplitHotKey{4 + 8, 0x70}));
    // Unused bits are dropped by the split, so a value carrying them never equals a pressed combination.
    EXPECT_EQ(SplitHotKey(0x0100 + 0x41), (TSplitHotKey{0, 0x41}));
    for (uint32_t v : {0x41u, 0x2000u + 0x41, 0x4000u + 0x8000 + 0x4D, 0x1E000u + 0xAD})
        EXPECT_EQ(JoinHotKey(SplitHotKey(v).Modifiers, SplitHotKey(v).VirtualKey), v) << v;
}

TEST(HotKeyText, UsEnglishText) {
    struct {
        uint32_t Value;
        const char* Text;
    } cases[] = {
        {0x2000 + 0x4000 + 0x41, "Ctrl+Shift+A"}, // Ctrl before Shift whatever the bit order
        {0x4000 + 0x8000 + 0x4D, "Ctrl+Alt+M"},
        {0x10000 + 0x8000 + 0x2000 + 0x4000 + 0x31, "Ctrl+Shift+Alt+Win+1"},
        {0x70, "F1"},
        {0x87, "F24"},
        // The navigation block names itself, not the keypad key sharing its scan code.
        {0x21, "Page Up"},
        {0x24, "Home"},
        {0x25, "Left"},
        {0x28, "Down"},
        {0x2D, "Insert"},
        {0x2E, "Delete"},
        {0x67, "Num 7"},
        {0x6A, "Num *"},
        {0xBA, ";"},
        {0xDE, "'"},
        {0xAD, "Volume Mute"},
        {0x8000 + 0xB3, "Alt+Play/Pause Media"},
        {0xB7, "Start Application 2"},
        {0x07, ""}, // no key: the modifier prefix alone
    };
    for (const auto& c : cases) EXPECT_EQ(HotKeyToText(c.Value, false), QString::fromUtf8(c.Text)) << c.Value;
}

TEST(HotKeyText, MediaKeys) {
    EXPECT_FALSE(IsMediaKey(165));
    EXPECT_TRUE(IsMediaKey(166));
    EXPECT_TRUE(IsMediaKey(183));
    EXPECT_FALSE(IsMediaKey(184));
    EXPECT_EQ(MediaKeyName(166), "Browser Back");
    EXPECT_EQ(MediaKeyName(172), "Browser Start/Home");
    EXPECT_EQ(MediaKeyName(183), "Start Application 2");
    EXPECT_EQ(MediaKeyName(184), "");
}

TEST(HotKeyText, LocalizedModifierNamesAndWinCapitalization) {
    SetHotKeyModifierNames("Umschalt", "Strg", "Alt");
    EXPECT_EQ(HotKeyToText(0x2000 + 0x4000 + 0x10000 + 0x41, true), "Strg+Umschalt+Win+A");
    EXPECT_EQ(HotKeyToText(0x2000 + 0x4000 + 0x41, false), "Ctrl+Shift+A");
    // A system that writes its key names in capitals gets WIN as well.
    SetHotKeyModifierNames("SHIFT", "CTRL", "ALT");
    EXPECT_EQ(HotKeyToText(0x8000 + 0x10000 + 0x41, true), "ALT+WIN+A");
    InitHotKeyNames();
    EXPECT_EQ(HotKeyToText(0x2000 + 0x4000 + 0x8000 + 0x10000 + 0x41, true), "Ctrl+Shift+Alt+Win+A");
}

TEST(X11KeyMap, VirtualKeysMapToKeySyms) {
    struct {
        uint8_t Vk;
        uint32_t Sym;
    } cases[] = {
        {'M', 'm'},         {'0', '0'},     {0x70, 0xFFBE}, {0x87, 0xFFD5}, {0x21, 0xFF55},
        {0x2E, 0xFFFF},     {0x60, 0xFFB0}, {0x6F, 0xFFAF}, {0xBF, '/'},    {0xAD, 0x1008FF12},
        {0xB3, 0x1008FF14}, {0x07, 0},      {0xFF, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::VirtualKeyToKeySym(c.Vk), c.Sym) << int(c.Vk);
}
