#pragma once
#include <QByteArray>
#include <QString>

namespace kestrum {

// Replaces the file at `path` with `bytes` so that a crash or a full disk never leaves it half written:
// the bytes go to a temporary file beside it (".<name>.XXXXXX", locked while it is written), are flushed to
// disk, and only then renamed over the old file (whose permissions the new one keeps). False, with the old
// file untouched, on any failure. Temporaries of the same file that a killed writer left are removed first.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

// Whether `candidate` is a temporary name WriteFileAtomically uses for a file named `fileName`.
bool IsAtomicTempName(const QString& candidate, const QString& fileName);
// Removes the temporaries of `path` that no writer holds; answers how many went.
int RemoveStaleTempFiles(const QString& path);

} // namespace kestrum
