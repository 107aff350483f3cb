#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "common/FileSizeLimit.h"
#include "common/TestHome.h"
#include "support/IniFile.h"

using namespace kestrum;

namespace {
QByteArray ReadAll(const QString& p) {
    QFile f(p);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}
void WriteAll(const QString& p, const QByteArray& b) {
    QFile f(p);
    f.open(QIODevice::WriteOnly);
    f.write(b);
}
} // namespace

TEST(IniFile, OtherContentSurvivesByteForByte) {
    test::TTestHome home;
    QString p = home.File("Config.ini");
    const QByteArray before =
        "; hand-written\r\n[LANGUAGE]\r\nLanguage=2052\r\n\r\n[kestrum]\r\nautostart = 0\r\n  Odd line without equals\r\n"
        "\r\n[Other]\r\nx=\"quoted value\"\r\n";
    WriteAll(p, before);
    TIniFile ini(p);
    ASSERT_TRUE(ini.WriteString("KESTRUM", "AutoStart", "1"));  // case-insensitive: replaces in place
    ASSERT_TRUE(ini.WriteString("KESTRUM", "SleepValue", "30"));  // appended after the section's last line
    ASSERT_TRUE(ini.WriteString("New", "k", "v"));                  // new section at the end
    EXPECT_EQ(ReadAll(p),
              "; hand-written\r\n[LANGUAGE]\r\nLanguage=2052\r\n\r\n[kestrum]\r\nautostart=1\r\n  Odd line without equals\r\n"
              "SleepValue=30\r\n\r\n[Other]\r\nx=\"quoted value\"\r\n[New]\r\nk=v\r\n");
    EXPECT_EQ(ini.ReadString("other", "X", "d"), "quoted value");
    EXPECT_EQ(ini.ReadInteger("Language", "LANGUAGE", 0), 2052);
    EXPECT_EQ(ini.ReadSections(), (QStringList{"LANGUAGE", "kestrum", "Other", "New"}));
}

TEST(IniFile, IntegersBooleansAndDefaults) {
    struct {
        const char* text;
        int want;
    } cases[] = {{"12", 12}, {"-1", -1}, {"0x804D", 32845}, {"0X10", 16}, {"$1F", 31}, {"0x", 7},
                 {"", 7},    {"yes", 7}, {" 42 ", 42},      {"99999999999", 7}};
    for (auto& c : cases) EXPECT_EQ(ini::ParseInteger(c.text, 7), c.want) << c.text;

    test::TTestHome home;
    TIniFile ini(home.File("a/b/c.ini"));
    EXPECT_FALSE(ini.Exists());
    EXPECT_EQ(ini.ReadString("s", "k", "def"), "def");
    EXPECT_TRUE(ini.ReadBool("s", "k", true));
    ASSERT_TRUE(ini.WriteBool("s", "k", false));  // creates the folders
    EXPECT_FALSE(ini.ReadBool("s", "k", true));
    ASSERT_TRUE(ini.WriteInteger("s", "k", 2));
    EXPECT_TRUE(ini.ReadBool("s", "k", false));
    ASSERT_TRUE(ini.WriteString("s", "long", QString(3000, 'x')));
    EXPECT_EQ(ini.ReadString("s", "long", "").size(), TIniFile::MaxValueLength);
}

TEST(IniFile, SectionsKeysDeletion) {
    test::TTestHome home;
    QString p = home.File("black.lst");
    WriteAll(p, "[ITEMS]\nfirefox=\n; comment\nnotepad.exe=\n[Other]\na=1\n");
    TIniFile ini(p);
    EXPECT_EQ(ini.ReadSection("items"), (QStringList{"firefox", "notepad.exe"}));
    EXPECT_TRUE(ini.ValueExists("ITEMS", "FIREFOX"));
    ASSERT_TRUE(ini.DeleteKey("ITEMS", "Firefox"));
    EXPECT_EQ(ReadAll(p), "[ITEMS]\n; comment\nnotepad.exe=\n[Other]\na=1\n");
    ASSERT_TRUE(ini.EraseSection("Other"));
    EXPECT_EQ(ReadAll(p), "[ITEMS]\n; comment\nnotepad.exe=\n");
    ASSERT_TRUE(ini.EraseSection("items"));
    EXPECT_FALSE(ini.SectionExists("ITEMS"));
    EXPECT_TRUE(ini.ReadSection("ITEMS").isEmpty());
}

TEST(IniFile, Utf16FileIsReadAndKeptUtf16) {
    test::TTestHome home;
    QString p = home.File("pack.ini");
    QString text = u"[LANG_ITEMS]\r\nGreeting=Grüße 你好\r\n"_qs;
    QByteArray bytes("\xFF\xFE", 2);
    bytes += QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    WriteAll(p, bytes);
    TIniFile ini(p);
    EXPECT_EQ(ini.ReadString("lang_items", "greeting", ""), u"Grüße 你好"_qs);
    ASSERT_TRUE(ini.WriteString("LANG_ITEMS", "Selected", "1"));
    QByteArray after = ReadAll(p);
    ASSERT_TRUE(after.startsWith("\xFF\xFE"));
    EXPECT_EQ(ini.ReadString("LANG_ITEMS", "Selected", ""), "1");
    EXPECT_EQ(ini.ReadString("LANG_ITEMS", "Greeting", ""), u"Grüße 你好"_qs);
}

TEST(IniFile, FailedWriteLeavesTheOldFileWhole) {
    // A full disk, simulated by a file-size limit below the new content (works for root too).
    test::TTestHome home;
    QString p = home.File("Config.ini");
    const QByteArray before = "[KESTRUM]\nAutoStart=1\n";
    WriteAll(p, before);
    TIniFile ini(p);
    bool wrote;
    {
        test::TFileSizeLimit limit(16);
        wrote = ini.WriteString("KESTRUM", "SleepValue", QString(200, '9'));
    }
    EXPECT_FALSE(wrote);
    EXPECT_EQ(ReadAll(p), before);
    EXPECT_EQ(QDir(home.Path()).entryList(QDir::Files), QStringList{"Config.ini"});  // no temporary left
}

TEST(IniFile, SectionLinesOfAFixtureAreFound) {
    TIniFile ini(QString(KESTRUM_FIXTURES) + "/support/sections.ini");
    struct Case {
        const char* Section;
        bool Exists;
    } cases[] = {{"LANGUAGE", true}, {"kestrum", true}, {"Unclosed", true}, {"missing", false}, {"", false}};
    for (const Case& c : cases) EXPECT_EQ(ini.SectionExists(c.Section), c.Exists) << c.Section;
    EXPECT_EQ(ini.ReadSections(), QStringList({"LANGUAGE", "KESTRUM", "Unclosed"}));
}

TEST(IniFile, WriteStringsReplacesTheFileOnceOrNotAtAll) {
    test::TTestHome home;
    QString p = home.File("Config.ini");
    WriteAll(p, "[Other]\nk=v\n");
    TIniFile ini(p);
    EXPECT_TRUE(ini.WriteStrings("S", {{"a", "1"}, {"b", "2"}, {"A", "3"}}).isEmpty());
    EXPECT_EQ(ReadAll(p), "[Other]\nk=v\n[S]\na=3\nb=2\n");
    EXPECT_FALSE(ini.WriteStrings("S", {{"c", "1"}, {" ", "2"}}).isEmpty()); // a blank key: nothing written
    EXPECT_EQ(ReadAll(p), "[Other]\nk=v\n[S]\na=3\nb=2\n");
    EXPECT_TRUE(ini.Problem().isEmpty());

    // A folder where the file should be is never replaced.
    QString folder = home.File("Folder.ini");
    ASSERT_TRUE(QDir().mkpath(folder));
    TIniFile blocked(folder);
    EXPECT_FALSE(blocked.Problem().isEmpty());
    EXPECT_FALSE(blocked.WriteString("S", "k", "v"));
    EXPECT_TRUE(QFileInfo(folder).isDir());
}
