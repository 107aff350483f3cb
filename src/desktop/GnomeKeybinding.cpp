#include "desktop/GnomeKeybinding.h"

#include <QProcess>

#include "desktop/PortalHotKey.h"

namespace kestrum {

QString TGnomeKeybinding::ToBinding(uint32_t value) {
    // The portal's trigger already carries the xkb key name GNOME uses; only the modifiers are spelt apart.
    const QStringList parts = HotKeyToPortalTrigger(value).split(u'+');
    if (parts.size() < 1 || parts.last().isEmpty()) return {};
    QString out;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i] == u"CTRL"_qs)
            out += u"<Control>"_qs;
        else if (parts[i] == u"ALT"_qs)
            out += u"<Alt>"_qs;
        else if (parts[i] == u"SHIFT"_qs)
            out += u"<Shift>"_qs;
        else if (parts[i] == u"LOGO"_qs)
            out += u"<Super>"_qs;
        else
            return {};
    }
    return out + parts.last();
}

bool TGnomeKeybinding::Run(const QStringList& args, QString* out, QString* error) const {
    QProcess p;
    p.start(FProgram, args);
    if (!p.waitForStarted(5000)) {
        if (error) *error = FProgram + u": "_qs + p.errorString();
        return false;
    }
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error) *error = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        if (error && error->isEmpty()) *error = FProgram + u" failed"_qs;
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    if (out) *out = QString::fromUtf8(p.readAllStandardOutput());
    return true;
}

bool TGnomeKeybinding::Apply(const QString& name, const QString& command, const QString& binding,
                             QString* error) const {
    const QString listSchema = QString::fromLatin1(ListSchema);
    const QString own = QString::fromLatin1(OwnPath);
    QString printed;
    if (!Run({u"get"_qs, listSchema, u"custom-keybindings"_qs}, &printed, error)) return false;
    const std::optional<QStringList> list = ParseStringList(printed);
    if (!list) {
        // Never written back from a list that could not be read: the user's other shortcuts would go.
        if (error) *error = u"unexpected custom-keybindings value: "_qs + printed.trimmed();
        return false;
    }
    if (!list->contains(own) &&
        !Run({u"set"_qs, listSchema, u"custom-keybindings"_qs, FormatStringList(*list + QStringList{own})}, nullptr,
             error))
        return false;
    const QString entry = QString::fromLatin1(EntrySchema) + u':' + own;
    for (const auto& [key, value] : {std::pair{u"name"_qs, name}, {u"command"_qs, command}, {u"binding"_qs, binding}})
        if (!Run({u"set"_qs, entry, key, TGnomeStringList::Quoted(value)}, nullptr, error)) return false;
    return true;
}

} // namespace kestrum
