#include "support/IniFile.h"

#include "support/AtomicFile.h"
#include "support/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

namespace kestrum {

namespace {

// How a file's bytes were turned into text, so a rewrite keeps the encoding and the byte-order mark.
enum class TEncoding { Utf8, Utf8Bom, Utf16LE, Utf16BE, Latin1 };

struct TIniText {
    QString Text;
    TEncoding Encoding = TEncoding::Utf8;
    bool Exists = false;
    // Something is at the path but cannot be read (a folder, no right to read, a read error): it must not be
    // replaced by a file holding only what a write adds.
    QString Problem;
};

TIniText Load(const QString& path) {
    TIniText r;
    QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return r;
    if (info.isDir()) {
        r.Problem = QStringLiteral("%1 is a folder").arg(path);
        return r;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        r.Problem = QStringLiteral("%1 cannot be opened: %2").arg(path, f.errorString());
        return r;
    }
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        r.Problem = QStringLiteral("%1 cannot be read: %2").arg(path, f.errorString());
        return r;
    }
    r.Exists = true;
    if (bytes.startsWith("\xFF\xFE")) {
        r.Encoding = TEncoding::Utf16LE;
        r.Text = QStringDecoder(QStringDecoder::Utf16LE)(bytes.mid(2));
    } else if (bytes.startsWith("\xFE\xFF")) {
        r.Encoding = TEncoding::Utf16BE;
        r.Text = QStringDecoder(QStringDecoder::Utf16BE)(bytes.mid(2));
    } else if (bytes.startsWith("\xEF\xBB\xBF")) {
        r.Encoding = TEncoding::Utf8Bom;
        r.Text = QString::fromUtf8(bytes.mid(3));
    } else {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8(bytes);
        if (utf8.hasError()) {
            // Not UTF-8: an 8-bit file from another program. Latin-1 keeps every byte through a rewrite.
            r.Encoding = TEncoding::Latin1;
            r.Text = QString::fromLatin1(bytes);
        } else {
            r.Text = text;
        }
    }
    return r;
}

bool Store(const QString& path, const QString& text, TEncoding enc) {
    QFileInfo info(path);
    if (!DataPathProblem(path).isEmpty() || !QDir().mkpath(info.absolutePath())) return false;
    QByteArray bytes;
    switch (enc) {
        case TEncoding::Utf16LE:
            bytes = "\xFF\xFE" + QStringEncoder(QStringEncoder::Utf16LE)(text);
            break;
        case TEncoding::Utf16BE:
            bytes = "\xFE\xFF" + QStringEncoder(QStringEncoder::Utf16BE)(text);
            break;
        case TEncoding::Utf8Bom:
            bytes = "\xEF\xBB\xBF" + text.toUtf8();
            break;
        case TEncoding::Latin1:
            bytes = text.toLatin1();
            break;
        case TEncoding::Utf8:
            bytes = text.toUtf8();
            break;
    }
    return WriteFileAtomically(path, bytes);
}

// One line of the file, without its '\n'; a trailing '\r' stays in Raw so the line ending survives.
struct TLine {
    QStringView Raw;
    QStringView Body() const { return Raw.endsWith(u'\r') ? Raw.chopped(1) : Raw; }
};

bool IsComment(QStringView t) {
    return t.startsWith(u';');
}

// Section name of a header line, or a null view.
bool SectionName(QStringView body, QStringView& name) {
    QStringView t = body.trimmed();
    if (!t.startsWith(u'[')) return false;
    qsizetype close = t.indexOf(u']');
    name = (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
    return true;
}

bool KeyValue(QStringView body, QStringView& key, QStringView& value) {
    QStringView t = body.trimmed();
    if (t.isEmpty() || IsComment(t) || t.startsWith(u'[')) return false;
    qsizetype eq = t.indexOf(u'=');
    if (eq < 0) return false;
    key = t.left(eq).trimmed();
    value = t.mid(eq + 1).trimmed();
    return !key.isEmpty();
}

bool SameName(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The lines are views into `text`; a temporary would leave them dangling.
QList<TLine> SplitLines(QString&& text) = delete;
QList<TLine> SplitLines(const QString& text) {
    QList<TLine> lines;
    QStringView v(text);
    qsizetype start = 0;
    for (;;) {
        qsizetype nl = v.indexOf(u'\n', start);
        if (nl < 0) {
            lines.append({v.mid(start)});
            break;
        }
        lines.append({v.mid(start, nl - start)});
        start = nl + 1;
    }
    return lines;
}

// Index range [first, last] of a section's body lines (first = header + 1); header = -1 when missing.
struct TSectionRange {
    int Header = -1;
    int End = -1; // one past the last line that belongs to the section
};

TSectionRange FindSection(const QList<TLine>& lines, QStringView section) {
    TSectionRange r;
    for (int i = 0; i < lines.size(); ++i) {
        QStringView name;
        if (!SectionName(lines[i].Body(), name)) continue;
        if (r.Header >= 0) {
            r.End = i;
            return r;
        }
        if (SameName(name, section)) r.Header = i;
    }
    if (r.Header >= 0) r.End = int(lines.size());
    return r;
}

QString Unquote(QStringView v) {
    if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front()) v = v.mid(1, v.size() - 2);
    return v.left(TIniFile::MaxValueLength).toString();
}

QString Join(const QList<TLine>& lines, int replaceAt, const QString& replacement, int insertAt,
             const QStringList& inserted, int removeFrom = -1, int removeTo = -1) {
    // Rebuilds the text: every line not touched is copied as it was.
    QString eol = u"\n"_qs;
    for (const TLine& l : lines)
        if (l.Raw.endsWith(u'\r')) {
            eol = u"\r\n"_qs;
            break;
        }
    QString out;
    auto emitLine = [&](QStringView raw, bool last) {
        out += raw;
        if (!last) out += u'\n';
    };
    int n = int(lines.size());
    for (int i = 0; i <= n; ++i) {
        if (i == insertAt)
            for (const QString& s : inserted) out += s + eol;
        if (i == n) break;
        if (i >= removeFrom && i < removeTo) continue;
        if (i == replaceAt) {
            QString r = replacement;
            if (lines[i].Raw.endsWith(u'\r')) r += u'\r';
            emitLine(r, i == n - 1);
        } else {
            emitLine(lines[i].Raw, i == n - 1);
        }
    }
    return out;
}

} // namespace

namespace ini {

QString ReadValue(const QString& text, const QString& section, const QString& key, bool* found) {
    auto lines = SplitLines(text);
    auto r = FindSection(lines, section);
    if (found) *found = false;
    if (r.Header < 0) return {};
    for (int i = r.Header + 1; i < r.End; ++i) {
        QStringView k, v;
        if (KeyValue(lines[i].Body(), k, v) && SameName(k, key)) {
            if (found) *found = true;
            return Unquote(v);
        }
    }
    return {};
}

std::vector<std::pair<QString, QString>> Values(const QString& text, const QString& section) {
    std::vector<std::pair<QString, QString>> out;
    auto lines = SplitLines(text);
    auto r = FindSection(lines, section);
    if (r.Header < 0) return out;
    for (int i = r.Header + 1; i < r.End; ++i) {
        QStringView k, v;
        if (KeyValue(lines[i].Body(), k, v)) out.emplace_back(k.toString(), Unquote(v));
    }
    return out;
}

QStringList Keys(const QString& text, const QString& section) {
    QStringList out;
    for (auto& kv : Values(text, section)) out << kv.first;
    return out;
}

QStringList Sections(const QString& text) {
    QStringList out;
    for (const TLine& l : SplitLines(text)) {
        QStringView name;
        if (SectionName(l.Body(), name)) out << name.toString();
    }
    return out;
}

QString SetValue(const QString& text, const QString& section, const QString& key, const QString& value) {
    auto lines = SplitLines(text);
    auto r = FindSection(lines, section);
    QString line = key + u'=' + value;
    if (r.Header < 0) {
        // New section at the end; make sure it starts on a line of its own.
        bool endsOpen = !text.isEmpty() && !text.endsWith(u'\n');
        QString eol = text.contains(u"\r\n"_qs) ? u"\r\n"_qs : u"\n"_qs;
        QString out = text;
        if (endsOpen) out += eol;
        return out + u'[' + section + u']' + eol + line + eol;
    }
    int lastContent = r.Header;
    for (int i = r.Header + 1; i < r.End; ++i) {
        QStringView k, v;
        if (KeyValue(lines[i].Body(), k, v) && SameName(k, key)) {
            return Join(lines, i, k.toString() + u'=' + value, -1, {});
        }
        if (!lines[i].Body().trimmed().isEmpty()) lastContent = i;
    }
    // Appended after the section's last non-blank line. A last line without its '\n' gets one first.
    int at = lastContent + 1;
    if (at == lines.size()) {
        QString eol = text.contains(u"\r\n"_qs) ? u"\r\n"_qs : u"\n"_qs;
        QString out = text;
        if (!out.endsWith(u'\n')) out += eol;
        return out + line + eol;
    }
    return Join(lines, -1, {}, at, {line});
}

QString RemoveKey(const QString& text, const QString& section, const QString& key) {
    auto lines = SplitLines(text);
    auto r = FindSection(lines, section);
    if (r.Header < 0) return text;
    for (int i = r.Header + 1; i < r.End; ++i) {
        QStringView k, v;
        if (KeyValue(lines[i].Body(), k, v) && SameName(k, key)) return Join(lines, -1, {}, -1, {}, i, i + 1);
    }
    return text;
}

QString RemoveSection(const QString& text, const QString& section) {
    auto lines = SplitLines(text);
    auto r = FindSection(lines, section);
    if (r.Header < 0) return text;
    int end = r.End;
    // The last section of a file ends with the empty piece after the final '\n': keep that newline.
    if (end == lines.size() && end > r.Header + 1 && lines[end - 1].Raw.isEmpty()) --end;
    return Join(lines, -1, {}, -1, {}, r.Header, end);
}

int ParseInteger(const QString& raw, int def) {
    QString t = raw.trimmed();
    if (t.isEmpty()) return def;
    bool ok = false;
    if (t.size() > 2 && (t.startsWith(u"0x"_qs) || t.startsWith(u"0X"_qs))) {
        uint v = t.mid(2).toUInt(&ok, 16);
        return ok ? int(v) : def;
    }
    if (t.size() > 1 && t.startsWith(u'$')) {
        uint v = t.mid(1).toUInt(&ok, 16);
        return ok ? int(v) : def;
    }
    int v = t.toInt(&ok, 10);
    return ok ? v : def;
}

} // namespace ini

bool TIniFile::Exists() const {
    return QFileInfo(FPath).isFile();
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    auto t = Load(FPath);
    if (!t.Exists) return def;
    bool found = false;
    QString v = ini::ReadValue(t.Text, section, key, &found);
    return found ? v : def;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const {
    return ini::ParseInteger(ReadString(section, key, QString()), def);
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

QStringList TIniFile::ReadSection(const QString& section) const {
    return ini::Keys(Load(FPath).Text, section);
}

std::vector<std::pair<QString, QString>> TIniFile::ReadSectionValues(const QString& section) const {
    return ini::Values(Load(FPath).Text, section);
}

QStringList TIniFile::ReadSections() const {
    return ini::Sections(Load(FPath).Text);
}

bool TIniFile::SectionExists(const QString& section) const {
    // The lines are views into the text: it must outlive them.
    const QString text = Load(FPath).Text;
    const auto lines = SplitLines(text);
    return FindSection(lines, section).Header >= 0;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
    bool found = false;
    ini::ReadValue(Load(FPath).Text, section, key, &found);
    return found;
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    return WriteStrings(section, {{key, value}}).isEmpty();
}

QString TIniFile::WriteStrings(const QString& section, const std::vector<std::pair<QString, QString>>& values) {
    if (section.trimmed().isEmpty()) return QStringLiteral("no section name");
    for (const auto& kv : values)
        if (kv.first.trimmed().isEmpty()) return QStringLiteral("no key name");
    auto t = Load(FPath);
    if (!t.Problem.isEmpty()) return t.Problem;
    QString text = t.Text;
    for (const auto& [key, value] : values) text = ini::SetValue(text, section, key.trimmed(), value);
    if (!Store(FPath, text, t.Encoding)) return QStringLiteral("%1 cannot be written").arg(FPath);
    return {};
}

QString TIniFile::Problem() const {
    return Load(FPath).Problem;
}

bool TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    return WriteString(section, key, QString::number(value));
}

bool TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    return WriteString(section, key, value ? u"1"_qs : u"0"_qs);
}

bool TIniFile::DeleteKey(const QString& section, const QString& key) {
    auto t = Load(FPath);
    if (!t.Exists || !t.Problem.isEmpty()) return false;
    QString out = ini::RemoveKey(t.Text, section, key);
    return out == t.Text || Store(FPath, out, t.Encoding);
}

bool TIniFile::EraseSection(const QString& section) {
    auto t = Load(FPath);
    if (!t.Exists || !t.Problem.isEmpty()) return false;
    QString out = ini::RemoveSection(t.Text, section);
    return out == t.Text || Store(FPath, out, t.Encoding);
}

} // namespace kestrum
