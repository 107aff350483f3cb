// libFuzzer target for the profile (INI) files: any file reads without a crash through every reading call,
// and a key written into it reads back with the value written while every other section stays.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "support/IniFile.h"

using namespace kestrum;

namespace {

// A name a profile file can hold: no line breaks, brackets or '=', not blank, no surrounding blanks.
QString Name(QString text, const QString& fallback) {
    for (QChar& c : text)
        if (c == u'\n' || c == u'\r' || c == u'[' || c == u']' || c == u'=' || c == u';') c = u'_';
    text = text.trimmed();
    return text.isEmpty() ? fallback : text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    // The file, then optionally a section, a key and a value to write.
    const QList<QByteArray> pieces = fuzz::Pieces(data, size);
    const QString path = fuzz::Folder() + QStringLiteral("profile.ini");
    fuzz::WriteFile(path, pieces.front());

    TIniFile ini(path);
    const QStringList sections = ini.ReadSections();
    for (const QString& section : sections) {
        fuzz::Check(ini.SectionExists(section));
        for (const auto& [key, value] : ini.ReadSectionValues(section)) {
            fuzz::Check(value.size() <= TIniFile::MaxValueLength);
            (void)ini.ReadString(section, key, QString());
            (void)ini.ReadInteger(section, key, 0);
        }
        (void)ini.ReadSection(section);
    }

    const QString section = Name(QString::fromUtf8(pieces.value(1)), QStringLiteral("S"));
    const QString key = Name(QString::fromUtf8(pieces.value(2)), QStringLiteral("K"));
    QString value = QString::fromUtf8(pieces.value(3)).left(TIniFile::MaxValueLength);
    value.replace(u'\n', u' ').replace(u'\r', u' ');
    value = value.trimmed();
    // A value in quotes reads back without them: the profile rule.
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    const QString before = fuzz::ReadFile(path).isEmpty() ? QString() : ini.ReadString(u"other"_qs, u"k"_qs, u"-"_qs);
    if (!ini.WriteString(section, key, value)) return 0;
    // An 8-bit file keeps its encoding, which holds Latin-1 only: compare what any file can hold.
    auto ascii = [](const QString& t) {
        for (QChar c : t)
            if (c.unicode() > 126) return false;
        return true;
    };
    if (ascii(section) && ascii(key) && ascii(value)) {
        fuzz::Check(ini.SectionExists(section));
        fuzz::Check(ini.ReadString(section, key, u"\x01missing"_qs) == value);
    }
    // Another section's value is untouched by the write (unless the write went to that section).
    if (section.compare(u"other"_qs, Qt::CaseInsensitive) != 0 && !before.isNull())
        fuzz::Check(ini.ReadString(u"other"_qs, u"k"_qs, u"-"_qs) == before);
    return 0;
}
