#pragma once
// Writes a language pack below the test's data folder.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace kestrum::test {

inline QString WritePack(const QString& path, const QString& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(text.toUtf8());
    return path;
}

inline QByteArray FileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace kestrum::test
