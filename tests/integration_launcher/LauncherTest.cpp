// The real launcher on a temporary configuration folder: what it writes, what it leaves alone, and that
// the entry it writes starts the program when the desktop's own launcher reads it.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "platform/IShell.h"
#include "store/KSAutoStart.h"

using namespace kestrum;

namespace {

const QString Launcher = QStringLiteral(KESTRUM_BINARY_DIR "/bin/BramblinASL");

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WaitForFile(const QString& path, bool present, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (QFileInfo::exists(path) != present) {
        if (t.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}

// Sets XDG_CONFIG_HOME and HOME to a temporary folder for the test and everything it starts, so no real
// autostart entry is ever touched.
class Launcher : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFileInfo(::Launcher).isExecutable()) << "build the BramblinASL target first";
        for (const char* v : {"XDG_CONFIG_HOME", "HOME"}) Saved.emplace_back(v, qgetenv(v));
        qputenv("XDG_CONFIG_HOME", Config().toUtf8());
        qputenv("HOME", Dir.filePath("home").toUtf8());
    }
    void TearDown() override {
        for (auto& [name, value] : Saved) qputenv(name, value);
    }

    QString Config() const { return Dir.filePath("config"); }
    QString Entry(const QString& name = "Kestrum") const { return Config() + "/autostart/" + name + ".desktop"; }

    struct TRun {
        int Code;
        QString Err;
    };
    TRun Run(const QStringList& args) {
        QProcess p;
        p.start(::Launcher, args);
        p.waitForFinished(10000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardError())};
    }

    // A program that writes its arguments, one a line, into `args` beside itself.
    QString MakeRecorder(const QString& name) {
        QString path = Dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname \"$0\")/args\"\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return path;
    }

    QTemporaryDir Dir;
    std::vector<std::pair<const char*, QByteArray>> Saved;
};

} // namespace

TEST_F(Launcher, AddWritesAnEntryThatStartsTheProgramAndRepeatsHarmlessly) {
    // Spaces and the characters the Exec rules escape inside quotes.
    const QString program = MakeRecorder("My Apps/Kes \"trum\" $HOME `x` back\\slash");
    ASSERT_EQ(Run({"/add", "Kestrum", program, "-autostart"}).Code, 0);
    const QByteArray text = ReadAll(Entry());
    ASSERT_FALSE(text.isEmpty());
    EXPECT_TRUE(text.contains("\nExec=\"")) << text.constData();
    EXPECT_TRUE(text.contains("\" -autostart\n")) << text.constData();

    if (!QStandardPaths::findExecutable("desktop-file-validate").isEmpty()) {
        QProcess v;
        v.start("desktop-file-validate", {Entry()});
        v.waitForFinished();
        EXPECT_EQ(v.exitCode(), 0) << v.readAllStandardOutput().constData();
    }
    // The desktop's launcher (GLib, as GNOME's session uses it) reads the entry back into the arguments.
    if (!QStandardPaths::findExecutable("gio").isEmpty()) {
        const QString args = QFileInfo(program).absolutePath() + "/args";
        QProcess::execute("gio", {"launch", Entry()});
        ASSERT_TRUE(WaitForFile(args, true));
        QThread::msleep(100);
        EXPECT_EQ(QString::fromUtf8(ReadAll(args)), program + "\n-autostart\n");
    }

    // Again: the same entry, not even rewritten.
    const QDateTime written = QFileInfo(Entry()).lastModified();
    QThread::msleep(20);
    ASSERT_EQ(Run({"/ADD", "Kestrum", program, "-autostart"}).Code, 0);
    EXPECT_EQ(ReadAll(Entry()), text);
    EXPECT_EQ(QFileInfo(Entry()).lastModified(), written);
    // Another program under the same name replaces our entry.
    ASSERT_EQ(Run({"/add", "Kestrum", "/opt/kestrum/Kestrum", "-autostart"}).Code, 0);
    EXPECT_TRUE(ReadAll(Entry()).contains("Exec=\"/opt/kestrum/Kestrum\" -autostart\n"));
}

TEST_F(Launcher, APercentSignInThePathStillStartsUnderGLib) {
    if (QStandardPaths::findExecutable("gio").isEmpty()) GTEST_SKIP() << "no gio";
    const QString program = MakeRecorder("100% sure/Kes%trum %u");
    ASSERT_EQ(Run({"/add", "Kestrum", program, "-autostart", "50%"}).Code, 0);
    const QString args = QFileInfo(program).absolutePath() + "/args";
    QProcess gio;
    gio.start("gio", {"launch", Entry()});
    gio.waitForFinished(10000);
    EXPECT_EQ(gio.exitCode(), 0) << gio.readAllStandardError().constData() << ReadAll(Entry()).constData();
    ASSERT_TRUE(WaitForFile(args, true)) << ReadAll(Entry()).constData();
    QThread::msleep(100);
    EXPECT_EQ(QString::fromUtf8(ReadAll(args)), program + "\n-autostart\n50%\n");
}

TEST_F(Launcher, DeleteRemovesOurEntryAndRepeatsHarmlessly) {
    ASSERT_EQ(Run({"/add", "Kestrum", "/opt/kestrum/Kestrum", "-autostart"}).Code, 0);
    ASSERT_EQ(Run({"/add", "Other", "/opt/other/Other", "-autostart"}).Code, 0);
    // The program passes the same arguments with /del as with /add.
    EXPECT_EQ(Run({"/del", "Kestrum", "/opt/kestrum/Kestrum", "-autostart"}).Code, 0);
    EXPECT_FALSE(QFileInfo::exists(Entry()));
    EXPECT_TRUE(QFileInfo::exists(Entry("Other")));
    EXPECT_EQ(Run({"/del", "Kestrum"}).Code, 0);
    EXPECT_FALSE(QFileInfo::exists(Entry()));
}

TEST_F(Launcher, EntriesItDidNotWriteAreLeftAlone) {
    QDir().mkpath(Config() + "/autostart");
    const QByteArray byHand = "[Desktop Entry]\nType=Application\nName=Kestrum\nExec=kestrum --my-own-flags\n";
    {
        QFile f(Entry());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(byHand);
    }
    TRun add = Run({"/add", "Kestrum", "/opt/kestrum/Kestrum", "-autostart"});
    EXPECT_EQ(add.Code, 3);
    EXPECT_TRUE(add.Err.contains("left as it is")) << add.Err.toStdString();
    EXPECT_EQ(Run({"/del", "Kestrum"}).Code, 3);
    EXPECT_EQ(ReadAll(Entry()), byHand);

    // A link the user placed is theirs too, whatever it points at.
    ASSERT_EQ(Run({"/add", "Real", "/opt/kestrum/Kestrum", "-autostart"}).Code, 0);
    ASSERT_TRUE(QFile::link(Entry("Real"), Entry("Linked")));
    EXPECT_EQ(Run({"/del", "Linked"}).Code, 3);
    EXPECT_TRUE(QFileInfo(Entry("Linked")).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(Entry("Real")));
}

TEST_F(Launcher, SessionSettingsChoicesSurviveARepeatedAdd) {
    ASSERT_EQ(Run({"/add", "Kestrum", "/opt/kestrum/Kestrum", "-autostart"}).Code, 0);
    // The desktop's startup-applications tool switched it off in our entry.
    QByteArray text = ReadAll(Entry());
    text.replace("X-GNOME-Autostart-enabled=true", "X-GNOME-Autostart-enabled=false");
    text.append("Hidden=true\n");
    {
        QFile f(Entry());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    ASSERT_EQ(Run({"/add", "Kestrum", "/opt/kestrum/Kestrum", "-autostart"}).Code, 0);
    const QByteArray again = ReadAll(Entry());
    EXPECT_TRUE(again.contains("X-GNOME-Autostart-enabled=false\n"));
    EXPECT_TRUE(again.contains("Hidden=true\n"));
}

TEST_F(Launcher, ConfigFolderDefaultsToHomeWhenTheVariableIsNotAbsolute) {
    qputenv("XDG_CONFIG_HOME", "relative/config");
    ASSERT_EQ(Run({"/add", "Kestrum", "/opt/kestrum/Kestrum", "-autostart"}).Code, 0);
    EXPECT_TRUE(QFileInfo::exists(Dir.filePath("home/.config/autostart/Kestrum.desktop")));
}

TEST_F(Launcher, BadCommandLinesGetTheUsageAndAnErrorCode) {
    const QStringList cases[] = {
        {},
        {"/frobnicate", "Kestrum"},
        {"add", "Kestrum", "/opt/kestrum/Kestrum"},
        {"/add"},
        {"/add", "Kestrum"},
        {"/add", "Kestrum", ""},
        {"/add", "", "/opt/kestrum/Kestrum"},
        {"/add", "../escape", "/opt/kestrum/Kestrum"},
        {"/add", ".hidden", "/opt/kestrum/Kestrum"},
        {"/del"},
        {"/del", "a/b"},
    };
    for (const QStringList& args : cases) {
        TRun r = Run(args);
        EXPECT_EQ(r.Code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(r.Err.contains("Usage: BramblinASL")) << args.join(' ').toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(Config() + "/autostart"));
    EXPECT_FALSE(QFileInfo::exists(Dir.filePath("escape.desktop")));
    EXPECT_EQ(Run({"--help"}).Code, 0);
}

// The program's own call, through the real shell: the launcher in a folder with a space in its name,
// started with the command line the program builds; then the removal.
TEST_F(Launcher, TheProgramsCommandLineReachesTheLauncher) {
    const QString folder = Dir.filePath("Program Files/");
    QDir().mkpath(folder);
    ASSERT_TRUE(QFile::copy(::Launcher, folder + "BramblinASL"));
    const QString program = folder + "Kestrum \"beta\"";
    std::unique_ptr<platform::IShell> shell = platform::MakeLinuxShell();
    ASSERT_TRUE(shell->LaunchProcess(AutoStartCommandLine(true, folder, program).toStdString()));
    ASSERT_TRUE(WaitForFile(Entry(), true));
    QThread::msleep(100);
    const QByteArray text = ReadAll(Entry());
    EXPECT_TRUE(text.contains("TryExec=" + program.toUtf8() + "\n")) << text.constData();
    ASSERT_TRUE(shell->LaunchProcess(AutoStartCommandLine(false, folder, program).toStdString()));
    EXPECT_TRUE(WaitForFile(Entry(), false));
}
