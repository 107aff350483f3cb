#include "support/DataFolder.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/KSUtils.h"

namespace kestrum {

namespace {

QString Clean(const QString& path) {
    QString p = QDir::cleanPath(QDir(path).absolutePath());
    return p;
}

bool Below(const QString& path, const QString& folder) {
    return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}

} // namespace

bool ProgramFolderIsOwn(const QString& folder) {
    const QString dir = Clean(folder);
    // Where packages and the system keep their files: never written to, whoever runs us.
    static const char* const kSystem[] = {"/usr",    "/bin", "/sbin", "/lib",  "/lib32", "/lib64",
                                          "/libx32", "/opt", "/etc",  "/var",  "/boot",  "/snap",
                                          "/nix",    "/srv", "/run",  "/proc", "/sys",   "/dev"};
    if (dir == u"/"_qs) return false;
    for (const char* s : kSystem)
        if (Below(dir, QString::fromLatin1(s))) return false;
    struct stat st {};
    if (::stat(QFile::encodeName(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if (st.st_uid != ::geteuid()) return false;
    if (!FolderProblem(dir).isEmpty()) return false;
    return ::access(QFile::encodeName(dir).constData(), W_OK) == 0;
}

QString FolderProblem(const QString& folder) {
    const QString dir = Clean(folder);
    struct stat st {};
    if (::lstat(QFile::encodeName(dir).constData(), &st) != 0)
        return errno == ENOENT ? QString() : QStringLiteral("the folder %1 cannot be examined").arg(dir);
    if (S_ISLNK(st.st_mode)) return QStringLiteral("the folder %1 is a link").arg(dir);
    if (!S_ISDIR(st.st_mode)) return QStringLiteral("%1 is not a folder").arg(dir);
    const uid_t me = ::geteuid();
    if (st.st_uid != me && st.st_uid != 0) return QStringLiteral("the folder %1 belongs to another user").arg(dir);
    // Group write is fine only for our own primary group (the usual one-user group with umask 002).
    if ((st.st_mode & S_IWOTH) || ((st.st_mode & S_IWGRP) && st.st_gid != ::getegid()))
        return QStringLiteral("other users can write to the folder %1").arg(dir);
    return {};
}

QString DataPathProblem(const QString& path) {
    const QString file = Clean(path);
    const QString folder = QFileInfo(file).absolutePath();
    const QString data = Clean(GetAppDir());
    if (!Below(folder, data)) return FolderProblem(folder);
    // Every step from the data folder down, so no folder on the way can be swapped for a link.
    QString at = data;
    if (QString p = FolderProblem(at); !p.isEmpty()) return p;
    const QStringList steps = folder.mid(data.size()).split(u'/', Qt::SkipEmptyParts);
    for (const QString& step : steps) {
        at += u'/' + step;
        if (QString p = FolderProblem(at); !p.isEmpty()) return p;
    }
    return {};
}

int OpenNoFollow(const QString& path, int flags, int mode, QString* problem) {
    const QString why = DataPathProblem(path);
    if (!why.isEmpty()) {
        if (problem) *problem = why;
        errno = EPERM;
        return -1;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0 && problem) *problem = errno == ELOOP ? QStringLiteral("%1 is a link").arg(path) : QString();
    return fd;
}

} // namespace kestrum
