#pragma once
#include <QByteArray>
#include <QString>

namespace kestrum {

// Replaces the file at `path` with `bytes` so that a crash or a full disk never leaves it half written:
// the bytes go to a temporary file beside it, are flushed to disk, and only then renamed over the old
// file (whose permissions the new one keeps). False, with the old file untouched, on any failure.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

} // namespace kestrum
