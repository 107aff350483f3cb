#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

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
    const TSettingsResult r = LoadSettings(s, SettingsPath());
    EXPECT_FALSE(r);
    EXPECT_EQ(r.State, TSettingsResult::Missing);
    EXPECT_TRUE(r.Message.isEmpty()); // nothing to tell the user
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

TEST(Settings, SaveReplacesTheFileOnceSoACrashLeavesOneWholeSave) {
    test::TTestHome home;
    TKSSettings s;
    ASSERT_TRUE(SaveSettings(s, SettingsPath()));
    // Every replacement of the file is a rename into its folder: count them while saving once more.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, QFile::encodeName(home.File("Config")).constData(), IN_MOVED_TO), 0);
    s.SleepValue = 45;
    s.UseHotKey = true;
    ASSERT_TRUE(SaveSettings(s, SettingsPath()));
    int renames = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = read(watch, buffer, sizeof buffer)) > 0;)
        for (char* p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(p)->len)
            ++renames;
    close(watch);
    EXPECT_EQ(renames, 1);
    TKSSettings back;
    ASSERT_TRUE(LoadSettings(back, SettingsPath()));
    EXPECT_EQ(back.SleepValue, 45);
    EXPECT_TRUE(back.UseHotKey);
}

TEST(Settings, TemporariesLeftByAKilledSaveGoAtTheNextSave) {
    test::TTestHome home;
    TKSSettings s;
    ASSERT_TRUE(SaveSettings(s, SettingsPath()));
    const QStringList stale = {".Config.ini.Ab3xYz", ".Config.ini.000000"};
    const QStringList foreign = {".Config.ini.tmp", "Config.ini.Ab3xYz", ".Other.ini.Ab3xYz", ".Config.ini.Ab3xYz7"};
    for (const QString& name : stale + foreign) WriteAll(home.File("Config/" + name), "[KESTRUM]\nAutoStart=0\n");
    // One that a live writer holds (locked) stays too.
    const QString held = home.File("Config/.Config.ini.Hld123");
    WriteAll(held, "being written");
    QFile holder(held);
    ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
    ASSERT_EQ(flock(holder.handle(), LOCK_EX), 0);

    ASSERT_TRUE(SaveSettings(s, SettingsPath()));
    QStringList left = QDir(home.File("Config")).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    QStringList expected = foreign + QStringList{"Config.ini", ".Config.ini.Hld123"};
    expected.sort();
    EXPECT_EQ(left, expected);

    holder.close(); // the writer died: its temporary goes at the next save
    ASSERT_TRUE(SaveSettings(s, SettingsPath()));
    EXPECT_FALSE(QFile::exists(held));
}

TEST(Settings, AFileThatCannotBeUsedIsReportedOnceAndNeverOverwritten) {
    test::TTestHome home;
    // Config.ini as a folder, with something inside it.
    ASSERT_TRUE(QDir().mkpath(SettingsPath()));
    WriteAll(SettingsPath() + "/inside", "x");
    TKSSettings s;
    s.SleepValue = 99;
    TSettingsResult r = LoadSettings(s, SettingsPath());
    EXPECT_EQ(r.State, TSettingsResult::Failed);
    EXPECT_TRUE(r.Message.contains("Config.ini")) << r.Message.toStdString();
    EXPECT_EQ(s.SleepValue, 30); // the defaults
    r = SaveSettings(s, SettingsPath());
    EXPECT_EQ(r.State, TSettingsResult::Failed);
    EXPECT_FALSE(r.Message.isEmpty());
    EXPECT_TRUE(QFileInfo(SettingsPath()).isDir());
    EXPECT_EQ(ReadAll(SettingsPath() + "/inside"), "x");
    EXPECT_EQ(QDir(home.File("Config")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Config.ini"}); // no temporary left behind

    // A file without the right to read it (root reads anything, so only for other users).
    if (geteuid() == 0) return;
    QDir(SettingsPath()).removeRecursively();
    const QByteArray mine = "[LANGUAGE]\nLanguage=1031\n[KESTRUM]\nSleepValue=5\n";
    WriteAll(SettingsPath(), mine);
    QFile::setPermissions(SettingsPath(), QFile::WriteOwner);
    EXPECT_EQ(LoadSettings(s, SettingsPath()).State, TSettingsResult::Failed);
    EXPECT_EQ(SaveSettings(s, SettingsPath()).State, TSettingsResult::Failed);
    QFile::setPermissions(SettingsPath(), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(ReadAll(SettingsPath()), mine);
}
