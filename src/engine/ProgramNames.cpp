#include "engine/ProgramNames.h"

#include <QRegularExpression>

namespace kestrum {

namespace {

// What may follow an entry in a name that still names the same program: a version ("3.11", "-2.10",
// "12") or a release channel. Kept narrow on purpose: "gnome" must not name "gnome-shell".
const QRegularExpression& VariantSuffix() {
    static const QRegularExpression re(
        QStringLiteral("^[-._]?(?:[0-9][0-9a-z.]*|esr|bin|beta|nightly|stable|unstable|dev|devel|wrapped|real)$"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

// Launchers that put their own name before the application id in a unit's name.
bool IsLauncher(const QString& s) {
    static const QStringList known{QStringLiteral("gnome"),  QStringLiteral("kde"),   QStringLiteral("flatpak"),
                                   QStringLiteral("snap"),   QStringLiteral("xfce"),  QStringLiteral("lxqt"),
                                   QStringLiteral("cosmic"), QStringLiteral("sway"),  QStringLiteral("hyprland"),
                                   QStringLiteral("niri"),   QStringLiteral("kitty"), QStringLiteral("dbus")};
    return known.contains(s, Qt::CaseInsensitive);
}

// systemd's unit name escaping: "\x2d" for "-" and other bytes.
QString Unescape(const QString& s) {
    QByteArray out;
    const QByteArray in = s.toUtf8();
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && in[i + 1] == 'x') {
            bool ok = false;
            const int byte = in.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                out.append(static_cast<char>(byte));
                i += 3;
                continue;
            }
        }
        out.append(in[i]);
    }
    return QString::fromUtf8(out);
}

QString AppIdFromUnit(const QString& unit) {
    QString body;
    bool scope = false;
    if (!unit.startsWith(QStringLiteral("app-"))) return {};
    if (unit.endsWith(QStringLiteral(".scope"))) {
        scope = true;
        body = unit.mid(4, unit.size() - 4 - 6);
    } else if (unit.endsWith(QStringLiteral(".service"))) {
        body = unit.mid(4, unit.size() - 4 - 8);
        const qsizetype at = body.indexOf(u'@');
        if (at >= 0) body.truncate(at);
    } else {
        return {};
    }
    // Escaped ids hold no plain "-": the plain ones part launcher, id and (for scopes) a random suffix.
    QStringList parts = body.split(u'-');
    if (scope) {
        if (parts.size() < 2) return {};
        parts.removeLast();
    }
    if (parts.size() >= 2 && IsLauncher(parts.first())) parts.removeFirst();
    QString id = Unescape(parts.join(u'-'));
    if (id.endsWith(QStringLiteral(".desktop"))) id.chop(8);
    return id;
}

} // namespace

bool TProgramNames::EntryNames(const QString& entry, const QString& name) {
    if (entry.isEmpty() || name.isEmpty()) return false;
    if (entry.compare(name, Qt::CaseInsensitive) == 0) return true;
    if (entry.size() < 2 || name.size() <= entry.size() || !name.startsWith(entry, Qt::CaseInsensitive)) return false;
    const QString rest = name.mid(entry.size());
    // "python3" names "python3.11" but not "python35": a digit right after a digit is another number.
    if (entry.back().isDigit() && rest.front().isDigit()) return false;
    return VariantSuffix().match(rest).hasMatch();
}

bool TProgramNames::ExeMatchedBy(const QStringList& list, const QString& exeName) {
    if (exeName.trimmed().isEmpty()) return false;
    const QString cut = exeName.size() > 4 ? exeName.left(exeName.size() - 4) : QString();
    for (const QString& entry : list) {
        if (EntryNames(entry, exeName)) return true;
        // The file-name rule of the list files: an entry also names a file with four more characters.
        if (!cut.isEmpty() && entry.compare(cut, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

bool TProgramNames::MatchedBy(const QStringList& list) const {
    if (ExeMatchedBy(list, ExeName)) return true;
    // Reverse-DNS ids are also known by their last part ("org.gimp.GIMP" as "GIMP").
    const qsizetype dot = AppId.lastIndexOf(u'.');
    const QString appTail = dot > 0 ? AppId.mid(dot + 1) : QString();
    for (const QString& entry : list) {
        if (EntryNames(entry, Comm) || EntryNames(entry, Argv0) || EntryNames(entry, AppId)) return true;
        if (!appTail.isEmpty() && EntryNames(entry, appTail)) return true;
    }
    return false;
}

QString TProgramNames::AppIdFromControlGroups(const std::vector<std::string>& paths) {
    for (const std::string& p : paths) {
        // The unit is usually the last part of the path, but a program may make groups below it.
        const QStringList parts = QString::fromStdString(p).split(u'/', Qt::SkipEmptyParts);
        for (qsizetype i = parts.size() - 1; i >= 0; --i) {
            const QString id = AppIdFromUnit(parts[i]);
            if (!id.isEmpty()) return id;
        }
    }
    return {};
}

TProgramNames TProgramNames::Read(platform::IProcesses& processes, const platform::TProcessEntry& entry) {
    TProgramNames n;
    n.ExeName = QString::fromStdString(entry.ExeName);
    if (entry.KernelThread || entry.ProcessId == 0) return n;
    n.Comm = QString::fromStdString(processes.ProcessName(entry.ProcessId));
    const std::vector<std::string> args = processes.CommandLine(entry.ProcessId);
    if (!args.empty()) {
        const QString arg0 = QString::fromStdString(args.front());
        n.Argv0 = arg0.mid(arg0.lastIndexOf(u'/') + 1);
    }
    n.AppId = AppIdFromControlGroups(processes.ControlGroups(entry.ProcessId));
    return n;
}

} // namespace kestrum
