// `cmake --install` of the build into a temporary prefix: the tree a package is built from.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {
QString ReadLink(const QString& path) {
    char buf[4096];
    ssize_t n = readlink(QFile::encodeName(path).constData(), buf, sizeof buf);
    return n > 0 ? QString::fromLocal8Bit(buf, n) : QString();
}
} // namespace

TEST(InstallTree, ProgramLauncherPacksDesktopEntryAndIcons) {
    const QString cmake = QStandardPaths::findExecutable("cmake");
    if (cmake.isEmpty()) GTEST_SKIP() << "no cmake on the search path";
    QTemporaryDir dest;
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", dest.path());
    install.setProcessEnvironment(env);
    install.start(cmake, {"--install", KESTRUM_BINARY_DIR, "--prefix", "/usr"});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAll().constData();
    const QString root = dest.path() + "/usr/";

    // The program and its launcher side by side; the name on the search path leads there.
    for (const char* exe : {"lib/kestrum/Kestrum", "lib/kestrum/BramblinASL", "bin/kestrum-cli"})
        EXPECT_TRUE(QFileInfo(root + exe).isExecutable()) << exe;
    const QFileInfo link(root + "bin/kestrum");
    ASSERT_TRUE(link.isSymLink());
    EXPECT_EQ(QFileInfo(link.canonicalFilePath()).absolutePath(),
              QFileInfo(root + "lib/kestrum").canonicalFilePath());
    EXPECT_TRUE(QFileInfo::exists(QFileInfo(link.canonicalFilePath()).absolutePath() + "/BramblinASL"));
    // Links are relative, so the tree still works once moved to its real place.
    EXPECT_EQ(ReadLink(root + "bin/kestrum"), "../lib/kestrum/Kestrum");

    // Language packs and help pages beside the program.
    EXPECT_TRUE(QFileInfo(root + "lib/kestrum/Langs/1031/Kestrum.ini").isFile());
    EXPECT_TRUE(QFileInfo(root + "lib/kestrum/Langs/0/Help.html").isFile());

    const QString entry = root + "share/applications/kestrum.desktop";
    ASSERT_TRUE(QFileInfo(entry).isFile());
    if (!QStandardPaths::findExecutable("desktop-file-validate").isEmpty()) {
        QProcess v;
        v.start("desktop-file-validate", {entry});
        v.waitForFinished();
        EXPECT_EQ(v.exitCode(), 0) << v.readAllStandardOutput().constData();
    }
    for (const char* size : {"16x16", "32x32", "48x48", "128x128", "256x256"})
        EXPECT_TRUE(QFileInfo(root + "share/icons/hicolor/" + size + "/apps/kestrum.png").isFile()) << size;
    // Developer tools are not shipped.
    EXPECT_FALSE(QFileInfo::exists(root + "bin/kestrum-gallery"));
    EXPECT_FALSE(QFileInfo::exists(root + "bin/kestrum-mkart"));
}
