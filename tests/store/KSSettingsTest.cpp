#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "common/TestHome.h"
#include "store/KSSettings.h"
#include "support/IniFile.h"

using namespace kestrum;

namespace {
void WriteAll(const QString& p, const QByteArray& b) {
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    f.open(QIODevice::WriteOnly);
    f.write(b);
}
QByteArray ReadAll(const QString& p) {
    QFile f(p);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}
} // namespace

TEST(Settings, MissingFileGivesDefaults) {
    test::TTestHome home;
    TKSSettings s;
    s.AutoStart = false;
    EXPECT_FALSE(LoadSettings(s, SettingsPath()));
    TKSSettings d;
    EXPECT_EQ(s.AutoStart, true);
    EXPECT_EQ(s.HotKeyValue, 32845);
    EXPECT_EQ(s.SleepValue, 30);
    EXPECT_EQ(s.Language, -1);
    EXPECT_EQ(s.AntiDisturb, d.AntiDisturb);
}

TEST(Settings, ParsingRules) {
    test::TTestHome home;
    WriteAll(SettingsPath(),
             "[kestrum]\nAutoStart=yes\nShowTrayIcon=\nDynTrayIcon=2\nUseHotKey=0\nHotKeyValue=0x804D\n"
             "SleepEnabled=0\nSleepValue=-1\nAntiDisturb=0\n");
    TKSSettings s;
    ASSERT_TRUE(LoadSettings(s, SettingsPath()));
    EXPECT_TRUE(s.AutoStart);     // unparsable: default
    EXPECT_TRUE(s.ShowTrayIcon);  // empty: default
    EXPECT_TRUE(s.DynTrayIcon);   // any non-zero is true
    EXPECT_FALSE(s.UseHotKey);
    EXPECT_EQ(s.HotKeyValue, 32845);
    EXPECT_FALSE(s.SleepEnabled);
    EXPECT_EQ(s.SleepValue, -1);  // no range check on load
    EXPECT_FALSE(s.AntiDisturb);

    WriteAll(SettingsPath(), "[KESTRUM]\nHotKeyValue=131149\nSleepValue=garbage\n");  // 0x2004D
    ASSERT_TRUE(LoadSettings(s, SettingsPath()));
    EXPECT_EQ(s.HotKeyValue, 0x004D);  // low 16 bits only
    EXPECT_EQ(s.SleepValue, 30);
}

TEST(Settings, SaveWritesNineKeysInOrderAndKeepsOtherSections) {
    test::TTestHome home;
    WriteAll(SettingsPath(), "; mine\n[LANGUAGE]\nLanguage=1031\n[KESTRUM]\nLanguage=7\nExtra=keep\n");
    TKSSettings s;
    ASSERT_TRUE(LoadSettings(s, SettingsPath()));
    EXPECT_EQ(s.Language, 7);
    s.ShowTrayIcon = false;
    s.HotKeyValue = 0xC041;
    ASSERT_TRUE(SaveSettings(s, SettingsPath()));
    EXPECT_EQ(ReadAll(SettingsPath()),
              "; mine\n[LANGUAGE]\nLanguage=1031\n[KESTRUM]\nLanguage=7\nExtra=keep\nAutoStart=1\nShowTrayIcon=0\n"
              "DynTrayIcon=1\nUseHotKey=0\nHotKeyValue=49217\nSleepEnabled=1\nSleepValue=30\nAntiDisturb=1\n");
    TKSSettings back;
    ASSERT_TRUE(LoadSettings(back, SettingsPath()));
    EXPECT_FALSE(back.ShowTrayIcon);
    EXPECT_EQ(back.HotKeyValue, 0xC041);
}

TEST(Settings, SaveCreatesTheFolderAndReportsAFolderThatCannotBe) {
    test::TTestHome home;
    TKSSettings s;
    ASSERT_TRUE(SaveSettings(s, SettingsPath()));
    EXPECT_EQ(TIniFile(SettingsPath()).ReadSection("KESTRUM").size(), 9);
    WriteAll(home.File("blocker"), "a file where a folder should be");
    EXPECT_FALSE(SaveSettings(s, home.File("blocker/Config/Config.ini")));
}
