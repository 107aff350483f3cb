#pragma once
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace kestrum {

// A profile (INI) file with the Windows profile rules: section and key names compare without regard to
// case, every line this class does not change is kept byte for byte, a new key is appended to its section
// (a new section to the end of the file), values are read up to 2047 characters. A file that starts with
// a UTF-16 byte-order mark is read and written as UTF-16; otherwise UTF-8.
// Every operation opens the file for that operation only; every write goes to disk at once and replaces
// the file atomically (temporary file beside it, then rename), so a crash or a full disk never loses it.
// A file that is there but cannot be read is never replaced.
class TIniFile {
public:
    explicit TIniFile(QString path) : FPath(std::move(path)) {}
    const QString& FileName() const { return FPath; }

    bool Exists() const;
    // Empty when the file can be read or is missing; otherwise why it cannot be read.
    QString Problem() const;

    // Reading: a missing file, section or key gives the default.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Decimal; a text of more than two characters starting with "0x"/"0X" (or "$") is hexadecimal;
    // empty or unparsable gives the default.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // Read as integer with default 1/0; any non-zero integer is true.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    // Key names of a section in file order (empty when missing).
    QStringList ReadSection(const QString& section) const;
    // Key/value pairs of a section in file order, read in one pass.
    std::vector<std::pair<QString, QString>> ReadSectionValues(const QString& section) const;
    QStringList ReadSections() const;
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;

    // Writing: false when the file or its folder cannot be written, or when a file is there that cannot be
    // read (the old file stays whole).
    bool WriteString(const QString& section, const QString& key, const QString& value);
    // Writes several keys of one section in one replacement of the file, in order: either all of them or,
    // on failure, none. Empty on success, otherwise why nothing was written.
    QString WriteStrings(const QString& section, const std::vector<std::pair<QString, QString>>& values);
    bool WriteInteger(const QString& section, const QString& key, int value);
    bool WriteBool(const QString& section, const QString& key, bool value);
    bool DeleteKey(const QString& section, const QString& key);
    bool EraseSection(const QString& section);

    // Longest value text that is read back.
    static constexpr int MaxValueLength = 2047;

private:
    QString FPath;
};

// Text-level operations behind TIniFile, pure functions on the file's text, so they can be tested alone.
namespace ini {
QString ReadValue(const QString& text, const QString& section, const QString& key, bool* found);
QStringList Keys(const QString& text, const QString& section);
std::vector<std::pair<QString, QString>> Values(const QString& text, const QString& section);
QStringList Sections(const QString& text);
QString SetValue(const QString& text, const QString& section, const QString& key, const QString& value);
QString RemoveKey(const QString& text, const QString& section, const QString& key);
QString RemoveSection(const QString& text, const QString& section);
// Parses an integer the profile way (see ReadInteger); nullopt-like via ok flag.
int ParseInteger(const QString& text, int def);
} // namespace ini

} // namespace kestrum
