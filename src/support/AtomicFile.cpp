#include "support/AtomicFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

namespace kestrum {

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    const QByteArray target = QFile::encodeName(path);
    QFileInfo info(path);
    QByteArray temp = QFile::encodeName(info.absolutePath() + u"/."_qs + info.fileName() + u".XXXXXX"_qs);
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = true;
    struct stat old {};
    if (stat(target.constData(), &old) == 0)
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
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp.constData(), target.constData()) != 0) ok = false;
    if (!ok) unlink(temp.constData());
    return ok;
}

} // namespace kestrum
