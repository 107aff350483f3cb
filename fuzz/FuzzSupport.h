#pragma once
// Helpers the fuzz targets share: a failed check is a finding (abort), and a private folder for targets that
// must go through real files.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace kestrum::fuzz {

inline void CheckAt(bool condition, const char* what, int line) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed (line %d): %s\n", line, what);
    std::abort();
}
#define Check(condition) CheckAt((condition), #condition, __LINE__)

// One folder per fuzzing process, removed when it ends.
inline QString Folder() {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/kestrum-fuzz-XXXXXX"));
    return dir.path() + u'/';
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    Check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    Check(f.write(bytes) == bytes.size());
}

inline QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Splits the input into pieces at a byte that seeds rarely hold, so one input can carry several texts.
inline QList<QByteArray> Pieces(const uint8_t* data, size_t size, char separator = '\x1e') {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split(separator);
}

} // namespace kestrum::fuzz
