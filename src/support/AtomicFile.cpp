#include "support/AtomicFile.h"
#include "support/DataFolder.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace kestrum {

namespace {

constexpr int TempSuffixLength = 6; // mkstemp's "XXXXXX"

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes one temporary file when no writer holds it: a writer keeps its temporary locked until the
// rename, and a killed writer's lock went with its process.
void RemoveIfAbandoned(int dirFd, const char* name) {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat opened {
    }, named{};
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(opened, named))
        ::unlinkat(dirFd, name, 0);
    ::close(fd);
}

} // namespace

bool IsAtomicTempName(const QString& candidate, const QString& fileName) {
    const QString prefix = u'.' + fileName + u'.';
    if (candidate.size() != prefix.size() + TempSuffixLength || !candidate.startsWith(prefix)) return false;
    for (qsizetype i = prefix.size(); i < candidate.size(); ++i) {
        const char16_t c = candidate[i].unicode();
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9'))) return false;
    }
    return true;
}

int RemoveStaleTempFiles(const QString& path) {
    QFileInfo info(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    const QString fileName = info.fileName();
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return 0;
    QList<QByteArray> stale;
    while (dirent* entry = ::readdir(dir)) {
        if (IsAtomicTempName(QFile::decodeName(entry->d_name), fileName)) stale.append(QByteArray(entry->d_name));
    }
    int removed = 0;
    for (const QByteArray& name : stale) {
        RemoveIfAbandoned(::dirfd(dir), name.constData());
        struct stat st {};
        if (::fstatat(::dirfd(dir), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    const QByteArray target = QFile::encodeName(path);
    QFileInfo info(path);
    // Never into a folder another user controls: the rename would put our bytes where that user chose.
    if (!DataPathProblem(path).isEmpty()) return false;
    // Temporaries a killed writer left beside the file go first, so they never pile up.
    RemoveStaleTempFiles(path);
    const QByteArray pattern = QFile::encodeName(info.absolutePath() + u"/."_qs + info.fileName() + u".XXXXXX"_qs);
    QByteArray temp;
    int fd = -1;
    // Locked at once, so another writer's clean-up leaves it alone; taken again in the rare case that a
    // clean-up removed it between its creation and the lock.
    for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
        temp = pattern;
        fd = mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0) return false;
        struct stat opened {
        }, named{};
        if (::flock(fd, LOCK_EX) != 0 || ::fstat(fd, &opened) != 0 || ::stat(temp.constData(), &named) != 0 ||
            !SameFile(opened, named)) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) return false;
    bool ok = true;
    struct stat old {};
    // The old file's own mode, not that of what a link there points to (the rename replaces the link).
    if (lstat(target.constData(), &old) == 0 && S_ISREG(old.st_mode))
        fchmod(fd, old.st_mode & 07777);
    else
        fchmod(fd, 0644);
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (ok && left > 0) {
        ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            p += n, left -= n;
    }
    if (ok && fsync(fd) != 0) ok = false;
    if (ok && rename(temp.constData(), target.constData()) != 0) ok = false;
    if (!ok) unlink(temp.constData());
    // Closing releases the lock, after the temporary has its final name (or is gone); the bytes were
    // flushed already, so its result changes nothing.
    close(fd);
    return ok;
}

} // namespace kestrum
