#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/TestHome.h"
#include "platform/fake/FakeFileVersion.h"
#include "platform/fake/FakeShell.h"
#include "support/KSUtils.h"

using namespace kestrum;

namespace {
const TNumberFormat kUs{u',', u'.'};
const TNumberFormat kDe{u'.', u','};

void Touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}
} // namespace

TEST(FormatSize, UnitsSeparatorsAndPadding) {
    struct {
        uint64_t bytes;
        TNumberFormat fmt;
        const char* want;
    } cases[] = {
        {0, kUs, "  0 B"},
        {5, kUs, "  5 B"},
        {1023, kUs, "1,023 B"},
        {1024, kUs, "1.00 KB"},
        {1536, kUs, "1.50 KB"},
        {1048575, kUs, "1,024.00 KB"},  // just below a megabyte rounds up in KB, still KB
        {1048576, kUs, "1.00 MB"},
        {3221225472ull, kUs, "3,072.00 MB"},
        {8589934592ull, kUs, "8,192.00 MB"},
        {8589934592ull, kDe, "8.192,00 MB"},
        {1099511627776ull * 3, kUs, "3,145,728.00 MB"},
    };
    for (auto& c : cases) EXPECT_EQ(FormatSize(c.bytes, 2, c.fmt).toStdString(), c.want) << c.bytes;
}

TEST(HasSwitch, CaseBlankAndEmptyArgumentStop) {
    QStringList args{"kestrum", "-POPUP", "73826", "-AutoStart", "", "-regrun"};
    EXPECT_TRUE(HasSwitch(args, "-autostart"));
    EXPECT_TRUE(HasSwitch(args, "  -autostart "));
    EXPECT_FALSE(HasSwitch(args, "-regrun"));  // after the empty argument
    EXPECT_FALSE(HasSwitch(args, ""));
    EXPECT_FALSE(HasSwitch(args, "   "));
    EXPECT_FALSE(HasSwitch(args, "kestrum"));  // argument 0 is the program
    EXPECT_FALSE(HasSwitch(args, "-auto"));    // whole arguments only
}

TEST(TextHelpers, SplitTextLastPosFileBaseName) {
    QStringList l{"stale"};
    EXPECT_EQ(SplitText("   ", u';', l), 0);
    EXPECT_TRUE(l.isEmpty());
    EXPECT_EQ(SplitText(";", u';', l), 2);
    EXPECT_EQ(l, (QStringList{"", ""}));
    EXPECT_EQ(SplitText("a;;b", u';', l), 3);
    EXPECT_EQ(l, (QStringList{"a", "", "b"}));
    EXPECT_EQ(LastPos("ab", "xabyab"), 5);
    EXPECT_EQ(LastPos("q", "xab"), 0);
    EXPECT_EQ(FileBaseName("/opt/k/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(FileBaseName("C:\\Prog\\Kestrum.exe"), "Kestrum");
    EXPECT_EQ(FileBaseName("/opt/k/README"), "README");
}

TEST(HexStreams, RoundTripOddLengthAndBadPair) {
    QBuffer buf;
    buf.open(QIODevice::ReadWrite);
    buf.write(QByteArray("\x00\x1f\xab\xff", 4));
    EXPECT_EQ(StreamToHex(buf), "001FABFF");
    EXPECT_EQ(buf.pos(), 0);

    QBuffer out;
    out.open(QIODevice::ReadWrite);
    EXPECT_EQ(HexToStream("0aFf1", &out), 2);  // a final single character is ignored
    EXPECT_EQ(out.data(), QByteArray("\x0a\xff", 2));
    EXPECT_EQ(out.pos(), 0);
    EXPECT_EQ(HexToStream("", &out), 0);
    EXPECT_EQ(HexToStream("00", nullptr), 0);
    QBuffer bad;
    bad.open(QIODevice::ReadWrite);
    EXPECT_THROW(HexToStream("00zz", &bad), EConvertError);
    QBuffer empty;
    empty.open(QIODevice::ReadWrite);
    EXPECT_EQ(StreamToHex(empty), "");
}

TEST(DetectPictureFormat, Signatures) {
    QByteArray emf(64, '\0');
    emf.replace(40, 4, " EMF");
    struct {
        QByteArray head;
        int want;
    } cases[] = {
        {"BM", 1},  // shorter than 8 bytes
        {QByteArray("\xFF\xD8\xFF", 3), 2},
        {"GIF89a", 3},
        {"GIF87a", 3},
        {"GIF88a", 0},
        {QByteArray("\x89PNG\r\n\x1a\n", 8), 4},
        {QByteArray("\x89PNG\r\n\x1a", 7), 0},
        {QByteArray("\0\0\1\0", 4), 5},
        {QByteArray("\0\0\2\0", 4), 6},
        {QByteArray("\1\0\x09\0\0\3", 6), 7},
        {emf, 8},
        {QByteArray(), 0},
    };
    for (auto& c : cases) {
        QBuffer b(&c.head);
        b.open(QIODevice::ReadOnly);
        b.seek(b.size());
        EXPECT_EQ(DetectPictureFormat(b), c.want) << c.head.toHex().toStdString();
        EXPECT_EQ(b.pos(), 0);
    }
}

TEST(Files, ListFilesDeleteFolderTempNames) {
    test::TTestHome home;
    QString dir = home.File("list");
    QDir().mkpath(dir + "/sub");
    Touch(dir + "/a.log");
    Touch(dir + "/B.LOG");
    Touch(dir + "/.hidden.log");
    Touch(dir + "/c.txt");

    QStringList list{"keep"};
    EXPECT_EQ(ListFiles(list, dir, "*.log", {"b.log"}), 3);  // appended, exclusion ignores case
    list.sort();
    EXPECT_EQ(list, (QStringList{dir + "/.hidden.log", dir + "/a.log", "keep"}));
    QStringList none;
    EXPECT_EQ(ListFiles(none, home.File("missing"), "*", {}), 0);

    QString t = MakeTempFileName(home.File("tmp/deep"), ".png");
    EXPECT_TRUE(QFileInfo(t).fileName().startsWith("_TMP"));
    EXPECT_TRUE(t.endsWith(".png"));
    EXPECT_FALSE(QFile::exists(t));
    EXPECT_TRUE(QDir(home.File("tmp/deep")).exists());
    EXPECT_TRUE(MakeTempFileName(home.File("tmp"), "").endsWith(".tmp"));

    EXPECT_TRUE(DeleteFolder(dir + "/"));  // trailing separator: the same folder
    EXPECT_FALSE(QDir(dir).exists());
    EXPECT_FALSE(DeleteFolder(dir));
    QDir().mkpath(dir);
    EXPECT_TRUE(DeleteFolder(dir));
}

TEST(LocateFile, PathEnvironmentAndArguments) {
    test::TTestHome home;
    QDir().mkpath(home.File("bin"));
    Touch(home.File("bin/tool"));
    QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", ("/nonexistent:\"" + home.File("bin") + "\"").toUtf8());
    qputenv("KS_TEST_DIR", home.File("bin").toUtf8());
    EXPECT_TRUE(LocateFile("tool"));
    EXPECT_TRUE(LocateFile("$KS_TEST_DIR/tool"));
    EXPECT_TRUE(LocateFile("%KS_TEST_DIR%/tool"));
    EXPECT_TRUE(LocateFile(home.File("bin/tool") + " --flag value"));
    EXPECT_FALSE(LocateFile("bin"));  // a folder is not a file
    EXPECT_FALSE(LocateFile("nothing here"));
    qputenv("PATH", "");
    EXPECT_FALSE(LocateFile("tool"));
    qputenv("PATH", oldPath);
}

TEST(Shell, BlankTargetsMakeNoCallAndVersionsComeFromThePlatform) {
    platform::TFakeShell shell;
    EXPECT_FALSE(ShellOpen(shell, "  "));
    EXPECT_FALSE(OpenHelpFile(shell, ""));
    EXPECT_TRUE(shell.Opened.empty());
    EXPECT_TRUE(ShellOpen(shell, "https://example.invalid/"));
    LaunchProcess(shell, "/opt/Fetchup");
    EXPECT_EQ(shell.Launched, std::vector<std::string>{"/opt/Fetchup"});

    platform::TFakeFileVersion v;
    EXPECT_EQ(GetFileVersionString(v, ""), "1.2.3.4");
    EXPECT_EQ(GetFileVersionString(v, "/usr/bin/true"), "");
}

TEST(MessageBox, HookAnswersThenPlatformBox) {
    int platformCalls = 0;
    SetPlatformMessageBox([&](void*, const QString&, const QString&, unsigned, unsigned) { return ++platformCalls, 1; });
    SetMessageBoxHook([](void*, const QString& text, const QString&, unsigned flags, unsigned lang) {
        return text == "q" && flags == 0x44 && lang == 1031 ? 6 : 7;
    });
    EXPECT_EQ(ShowMessageBox(nullptr, "q", "c", 0x44, 1031), 6);
    SetMessageBoxHook({});
    EXPECT_EQ(ShowMessageBox(nullptr, "q", "c", 0x30, 0), 1);
    EXPECT_EQ(platformCalls, 1);
    SetPlatformMessageBox({});
    EXPECT_EQ(ShowMessageBox(nullptr, "q", "c", 0x30, 0), 0);
}

TEST(AppDir, HonoursKestrumHome) {
    test::TTestHome home;
    EXPECT_EQ(GetAppDir(), home.Path());
    EXPECT_TRUE(GetProgramDir().endsWith('/'));
}
