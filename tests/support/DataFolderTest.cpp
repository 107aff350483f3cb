// The data folder is ours alone: links and folders of other users are refused, never written through.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "common/TestHome.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"
#include "support/AtomicFile.h"
#include "support/DataFolder.h"
#include "support/IniFile.h"

using namespace kestrum;
using kestrum::test::TTestHome;

namespace {

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// The uid of `nobody` (another user), when we are root and may hand folders to it.
std::optional<uid_t> OtherUser() {
    if (::geteuid() != 0) return std::nullopt;
    const passwd* pw = ::getpwnam("nobody");
    return pw ? std::optional<uid_t>(pw->pw_uid) : std::nullopt;
}

void GiveTo(const QString& path, uid_t uid) {
    ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), uid, uid), 0);
}

} // namespace

TEST(DataFolder, FolderProblems) {
    TTestHome home;
    const QString own = home.File("own");
    QDir().mkpath(own);
    Put(home.File("file"), "x");
    QDir().mkpath(home.File("open"));
    ::chmod(QFile::encodeName(home.File("open")).constData(), 0777);
    QFile::link(own, home.File("link"));
    struct TCase {
        QString Folder;
        QString Problem; // part of the reason; empty: usable
    } cases[] = {
        {own, ""},
        {home.File("missing"), ""},
        {home.File("link"), "is a link"},
        {home.File("file"), "is not a folder"},
        {home.File("open"), "other users can write"},
    };
    for (const TCase& c : cases) {
        const QString why = FolderProblem(c.Folder);
        if (c.Problem.isEmpty())
            EXPECT_TRUE(why.isEmpty()) << c.Folder.toStdString() << ": " << why.toStdString();
        else
            EXPECT_TRUE(why.contains(c.Problem)) << c.Folder.toStdString() << ": " << why.toStdString();
    }
    // A folder on the way from the data folder to the file counts as much as the file's own.
    ::chmod(QFile::encodeName(home.File("open")).constData(), 0755);
    QDir().mkpath(home.File("open/deeper"));
    EXPECT_TRUE(DataPathProblem(home.File("open/deeper/x.ini")).isEmpty());
    ::chmod(QFile::encodeName(home.File("open")).constData(), 0777);
    EXPECT_TRUE(DataPathProblem(home.File("open/deeper/x.ini")).contains("other users can write"));
}

TEST(DataFolder, ProgramFolderOnlyWhenOwnAndNoSystemPlace) {
    TTestHome home;
    EXPECT_TRUE(ProgramFolderIsOwn(home.Path()));
    for (const char* system : {"/usr/bin", "/usr/lib/kestrum", "/opt", "/", "/usr"})
        EXPECT_FALSE(ProgramFolderIsOwn(QString::fromLatin1(system))) << system;
    if (const auto other = OtherUser()) {
        const QString theirs = home.File("theirs");
        QDir().mkpath(theirs);
        GiveTo(theirs, *other);
        EXPECT_FALSE(ProgramFolderIsOwn(theirs)); // root too: another user's copy is not root's data folder
    }
}

TEST(DataFolder, HistoryNeverFollowsADayFileLink) {
    TTestHome home;
    const QString victim = home.File("victim.txt");
    Put(victim, "private\n");
    ::chmod(QFile::encodeName(victim).constData(), 0600);
    const QDate today(2026, 12, 10);
    TKSLogMgr history(home.Path(), [&] { return QDateTime(today, QTime(12, 0)); });
    QDir().mkpath(home.File("Logs/Kestrum"));
    const QString day = history.DayFile(today);
    ASSERT_TRUE(QFile::link(victim, day));
    EXPECT_FALSE(history.AddHistoryRecord("Free", "1 MB"));
    EXPECT_EQ(Bytes(victim), "private\n");
}

TEST(DataFolder, RootRefusesFoldersAnotherUserOwns) {
    const auto other = OtherUser();
    if (!other) GTEST_SKIP() << "needs root and the user nobody";
    TTestHome home;
    const QDate today(2026, 12, 10);
    // Config/ and Logs/Kestrum/ handed to another user, who put a link where the files go.
    const QString secret = home.File("secret");
    Put(secret, "root only\n");
    QDir().mkpath(home.File("Config"));
    QDir().mkpath(home.File("Logs/Kestrum"));
    QFile::link(secret, home.File("Config/Config.ini"));
    TKSLogMgr history(home.Path(), [&] { return QDateTime(today, QTime(12, 0)); });
    QFile::link(secret, history.DayFile(today));
    for (const char* f : {"Config", "Config/Config.ini", "Logs", "Logs/Kestrum"}) GiveTo(home.File(f), *other);
    GiveTo(history.DayFile(today), *other);

    TKSSettings s;
    const TSettingsResult loaded = LoadSettings(s, home.File("Config/Config.ini"));
    EXPECT_EQ(loaded.State, TSettingsResult::Failed);
    EXPECT_TRUE(loaded.Message.contains("belongs to another user")) << loaded.Message.toStdString();
    const TSettingsResult saved = SaveSettings(s, home.File("Config/Config.ini"));
    EXPECT_EQ(saved.State, TSettingsResult::Failed);
    EXPECT_TRUE(saved.Message.startsWith("Settings file unusable")) << saved.Message.toStdString();
    EXPECT_FALSE(history.AddHistoryRecord("Free", "1 MB"));
    EXPECT_FALSE(WriteFileAtomically(home.File("Logs/Kestrum/other.log"), "x"));
    EXPECT_FALSE(TIniFile(home.File("Logs/new.ini")).WriteString("S", "K", "V"));
    EXPECT_EQ(Bytes(secret), "root only\n");
    EXPECT_FALSE(QFile::exists(home.File("Logs/new.ini")));

    // The data folder itself in another user's hands: nothing at all below it.
    GiveTo(home.Path(), *other);
    EXPECT_FALSE(TIniFile(home.File("Lists/white.lst")).WriteString("ITEMS", "a", ""));
    EXPECT_FALSE(QFile::exists(home.File("Lists")));
    GiveTo(home.Path(), 0);
}
