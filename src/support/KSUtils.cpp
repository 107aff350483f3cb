#include "support/KSUtils.h"

#include <stdlib.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cmath>
#include <stdexcept>

#include "platform/IFileVersion.h"
#include "platform/IShell.h"
#include "support/DataFolder.h"

namespace kestrum {

namespace {

QString WithSlash(QString dir) {
    if (!dir.endsWith(u'/')) dir += u'/';
    return dir;
}

bool IsFile(const QString& path) {
    QFileInfo fi(path);
    return fi.exists() && !fi.isDir();
}

bool SameAsciiNoCase(const QString& a, const QString& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char16_t x = a[i].unicode(), y = b[i].unicode();
        if (x >= u'A' && x <= u'Z') x += 32;
        if (y >= u'A' && y <= u'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

TMessageBoxFunc& HookSlot() {
    static TMessageBoxFunc hook;
    return hook;
}
TMessageBoxFunc& PlatformBoxSlot() {
    static TMessageBoxFunc box;
    return box;
}

} // namespace

QString GetProgramDir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return WithSlash(QDir::currentPath());
    return WithSlash(QFileInfo(QString::fromLocal8Bit(buf, n)).absolutePath());
}

QString GetAppDir() {
    QString home = qEnvironmentVariable("KESTRUM_HOME");
    if (!home.isEmpty()) return WithSlash(QDir(home).absolutePath());
    // The portable layout only for a copy of the user's own: a package's folder, or a copy in another
    // user's folder, would let that user (or the package) steer what we write.
    QString prog = GetProgramDir();
    if (ProgramFolderIsOwn(prog)) return prog;
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) data = QDir::homePath() + u"/.local/share"_qs;
    return WithSlash(data + u"/kestrum"_qs);
}

bool HasSwitch(const QStringList& arguments, const QString& name) {
    QString n = name.trimmed();
    if (n.isEmpty()) return false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].isEmpty()) break;
        if (SameAsciiNoCase(arguments[i], n)) return true;
    }
    return false;
}

TNumberFormat UserNumberFormat() {
    QLocale loc;
    TNumberFormat f;
    QString group = loc.groupSeparator(), dec = loc.decimalPoint();
    if (group.size() == 1) f.ThousandSeparator = group[0];
    if (dec.size() == 1) f.DecimalSeparator = dec[0];
    return f;
}

QString FormatNumber(double value, int decimals, int width, const TNumberFormat& format) {
    QString digits = QString::number(std::fabs(value), 'f', decimals);
    qsizetype dot = digits.indexOf(u'.');
    QString whole = dot < 0 ? digits : digits.left(dot);
    QString frac = dot < 0 ? QString() : digits.mid(dot + 1);
    QString grouped;
    for (qsizetype i = 0; i < whole.size(); ++i) {
        if (i > 0 && (whole.size() - i) % 3 == 0) grouped += format.ThousandSeparator;
        grouped += whole[i];
    }
    bool negative = value < 0 && digits.contains(QRegularExpression(u"[1-9]"_qs));
    QString out = (negative ? u"-"_qs : QString()) + grouped;
    if (!frac.isEmpty()) out += format.DecimalSeparator + frac;
    return out.rightJustified(width, u' ');
}

QString FormatSize(uint64_t bytes, int decimals) {
    return FormatSize(bytes, decimals, UserNumberFormat());
}

QString FormatSize(uint64_t bytes, int decimals, const TNumberFormat& format) {
    if (bytes < 1024) return FormatNumber(double(bytes), 0, 3, format) + u" B"_qs;
    if (bytes < 1048576) return FormatNumber(double(bytes) / 1024.0, decimals, 3, format) + u" KB"_qs;
    return FormatNumber(double(bytes) / 1024.0 / 1024.0, decimals, 3, format) + u" MB"_qs;
}

QString GetFileVersionString(platform::IFileVersion& versions, const QString& path) {
    return QString::fromStdString(versions.FileVersion(path.trimmed().toStdString()));
}

void LaunchProcess(platform::IShell& shell, const QString& commandLine, int /*showCommand*/) {
    shell.LaunchProcess(commandLine.toStdString());
}

bool ShellOpen(platform::IShell& shell, const QString& target) {
    if (target.trimmed().isEmpty()) return false;
    return shell.OpenDocument(target.toStdString());
}

bool OpenHelpFile(platform::IShell& shell, const QString& path) {
    if (path.trimmed().isEmpty()) return false;
    return shell.OpenDocument(path.toStdString());
}

QString ExpandEnvironmentStrings(const QString& text) {
    static const QRegularExpression re(
        uR"(%([A-Za-z_][A-Za-z0-9_]*)%|\$\{([A-Za-z_][A-Za-z0-9_]*)\}|\$([A-Za-z_][A-Za-z0-9_]*))"_qs);
    QString out;
    qsizetype last = 0;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        auto m = it.next();
        QString name = m.captured(1) + m.captured(2) + m.captured(3);
        out += QStringView(text).mid(last, m.capturedStart() - last);
        if (qEnvironmentVariableIsSet(name.toLocal8Bit().constData()))
            out += qEnvironmentVariable(name.toLocal8Bit().constData());
        else
            out += m.captured(0);
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

bool LocateFile(const QString& path) {
    if (path.isEmpty()) return false;
    if (IsFile(path)) return true;
    QString p = ExpandEnvironmentStrings(path);
    if (IsFile(p)) return true;
    QString env = qEnvironmentVariable("PATH");
    if (env.isEmpty()) return false;
    QStringList entries = env.split(u':');
    for (QString e : entries) {
        if (e.size() >= 2 && e.startsWith(u'"') && e.endsWith(u'"')) e = e.mid(1, e.size() - 2);
        if (e.isEmpty()) continue;
        if (IsFile(WithSlash(e) + p)) return true;
    }
    // A command line with arguments: cut at the last spaces until a file is there.
    QString cut = p;
    for (;;) {
        qsizetype sp = cut.lastIndexOf(u' ');
        if (sp < 0) return false;
        cut = cut.left(sp);
        if (IsFile(cut)) return true;
    }
}

int ListFiles(QStringList& list, const QString& folder, const QString& mask, const QStringList& exclusions) {
    QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) return 0;
    QDir::Filters filters = QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    const QStringList names = dir.entryList(QStringList{mask.isEmpty() ? u"*"_qs : mask}, filters, QDir::Unsorted);
    for (const QString& name : names) {
        bool excluded = false;
        for (const QString& x : exclusions)
            if (!x.isEmpty() && x.compare(name, Qt::CaseInsensitive) == 0) excluded = true;
        if (excluded) continue;
        list << (folder.endsWith(u'/') ? folder + name : folder + u'/' + name);
    }
    return int(list.size());
}

QString FileBaseName(const QString& path) {
    QString name = path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1);
    qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

bool DeleteFolder(const QString& path) {
    QString p = path;
    if (p.endsWith(u'/') || p.endsWith(u'\\')) p.chop(1);
    if (p.trimmed().isEmpty()) return false;
    QFileInfo fi(p);
    if (fi.isSymLink() || (fi.exists() && !fi.isDir())) return QFile::remove(p);
    if (!fi.exists()) return false;
    return QDir(p).removeRecursively();
}

QString GetTempDir() {
    return WithSlash(QDir::tempPath());
}

QString MakeTempFileName(const QString& folder, const QString& extension) {
    QString dir = folder.trimmed().isEmpty() ? GetTempDir() : WithSlash(folder);
    QDir().mkpath(dir);
    QByteArray templ = (dir + u"_TMPXXXXXX.tmp"_qs).toLocal8Bit();
    int fd = mkstemps(templ.data(), 4);
    QString path;
    if (fd >= 0) {
        close(fd);
        unlink(templ.constData());
        path = QString::fromLocal8Bit(templ);
    } else {
        path = dir + u"_TMP0000.tmp"_qs;
    }
    if (!extension.trimmed().isEmpty()) path = path.left(path.size() - 4) + extension;
    return path;
}

int SplitText(const QString& text, QChar delimiter, QStringList& list) {
    list.clear();
    if (text.trimmed().isEmpty()) return 0;
    list = text.split(delimiter, Qt::KeepEmptyParts);
    return int(list.size());
}

int LastPos(const QString& part, const QString& text) {
    if (part.isEmpty()) return 0;
    qsizetype i = text.lastIndexOf(part);
    return i < 0 ? 0 : int(i + 1);
}

QString StreamToHex(QIODevice& stream) {
    stream.seek(0);
    QByteArray bytes = stream.readAll();
    stream.seek(0);
    return QString::fromLatin1(bytes.toHex().toUpper());
}

qint64 HexToStream(const QString& text, QIODevice* stream) {
    if (!stream || text.isEmpty()) return 0;
    auto nibble = [](QChar c) -> int {
        char16_t u = c.unicode();
        if (u >= u'0' && u <= u'9') return u - u'0';
        if (u >= u'a' && u <= u'f') return u - u'a' + 10;
        if (u >= u'A' && u <= u'F') return u - u'A' + 10;
        return -1;
    };
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2) {
        int hi = nibble(text[i]), lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0)
            throw EConvertError("'" + text.mid(i, 2).toStdString() + "' is not a valid hexadecimal value");
        bytes.append(char(hi * 16 + lo));
    }
    stream->write(bytes);
    stream->seek(0);
    return stream->size();
}

int DetectPictureFormat(const QByteArray& head) {
    auto b = [&](int i) -> unsigned { return i < head.size() ? uint8_t(head[i]) : 0u; };
    auto u16 = [&](int i) { return b(i) | (b(i + 1) << 8); };
    if (b(0) == 'B' && b(1) == 'M') return 1;
    if (b(0) == 0xFF && b(1) == 0xD8) return 2;
    if (b(0) == 'G' && b(1) == 'I' && b(2) == 'F' && b(3) == '8' && (b(4) == '7' || b(4) == '9') && b(5) == 'a')
        return 3;
    static const unsigned png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    bool isPng = true;
    for (int i = 0; i < 8; ++i) isPng = isPng && b(i) == png[i];
    if (isPng) return 4;
    if (b(0) == 0 && b(1) == 0 && b(2) == 1 && b(3) == 0) return 5;
    if (b(0) == 0 && b(1) == 0 && b(2) == 2 && b(3) == 0) return 6;
    if ((u16(0) == 1 || u16(0) == 2) && (u16(4) == 0x0100 || u16(4) == 0x0300)) return 7;
    if (b(40) == 0x20 && b(41) == 0x45 && b(42) == 0x4D && b(43) == 0x46) return 8;
    return 0;
}

int DetectPictureFormat(QIODevice& stream) {
    stream.seek(0);
    QByteArray head = stream.read(64);
    stream.seek(0);
    return DetectPictureFormat(head);
}

void SetMessageBoxHook(TMessageBoxFunc hook) {
    HookSlot() = std::move(hook);
}
void SetPlatformMessageBox(TMessageBoxFunc box) {
    PlatformBoxSlot() = std::move(box);
}

int ShowMessageBox(void* owner, const QString& text, const QString& caption, unsigned flags, unsigned languageId) {
    if (HookSlot()) return HookSlot()(owner, text, caption, flags, languageId);
    if (PlatformBoxSlot()) return PlatformBoxSlot()(owner, text, caption, flags, languageId);
    return 0;
}

} // namespace kestrum
