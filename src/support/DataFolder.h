#pragma once
#include <QString>

namespace kestrum {

// Whether the program folder may serve as the data folder of the user running us: it belongs to that user,
// no one else can write to it, and it is not a system location (a package's own folder, even for root).
bool ProgramFolderIsOwn(const QString& folder);

// Why `folder` must not be used for our files (empty when it may): it is a link, is no folder, belongs to
// another user (root's folders are trusted: root can change anything anyway), or another user can write to
// it. A folder that does not exist yet is no problem; we make it ourselves.
QString FolderProblem(const QString& folder);

// Why the file at `path` must not be written or trusted: a problem of any folder from the data folder down
// to the file's folder, or of the file's own folder when the file lies elsewhere.
QString DataPathProblem(const QString& path);

// Opens `path` for writing without following a link in its last component (O_NOFOLLOW is added to
// `flags`); -1 with errno set on failure. The file's folder is checked first (DataPathProblem), errno EPERM.
int OpenNoFollow(const QString& path, int flags, int mode = 0644, QString* problem = nullptr);

} // namespace kestrum
