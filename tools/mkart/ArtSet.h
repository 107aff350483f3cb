#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <vector>

namespace kestrum::mkart {

// The pictures one run writes, in order, with what MANIFEST.md says about each.
struct TArtEntry {
    QString Path; // relative to the output folder
    int Width = 0;
    int Height = 0;
    QString Purpose;
    QImage Preview; // what the contact sheet shows (first frame for the GIF)
};

class TArtSet {
public:
    explicit TArtSet(QString outDir);

    // Writes a PNG; opaque pictures are stored without an alpha channel.
    void Png(const QString& path, const QImage& image, const QString& purpose, bool opaque = false);
    // Writes an already encoded file (GIF, ICO).
    void File(const QString& path, const QByteArray& data, const QImage& preview, const QString& purpose);

    void Fail(const QString& why) { Failures_ << why; }
    bool WriteManifest() const;
    const std::vector<TArtEntry>& Entries() const { return Entries_; }
    const QImage& Get(const QString& path) const;
    bool Ok() const { return Failures_.isEmpty(); }
    const QStringList& Failures() const { return Failures_; }

private:
    bool EnsureFolder(const QString& path);

    QString OutDir_;
    std::vector<TArtEntry> Entries_;
    QStringList Failures_;
};

} // namespace kestrum::mkart
