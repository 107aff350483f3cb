#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "desktop/GnomeStringList.h"

namespace kestrum {

// Kestrum's own custom keybinding in GNOME's settings, written through the `gsettings` command: the list of
// custom keybindings keeps every entry it had, and an entry of Kestrum's that exists is updated instead of
// added twice.
class TGnomeKeybinding {
public:
    static inline const char* ListSchema = "org.gnome.settings-daemon.plugins.media-keys";
    static inline const char* EntrySchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
    static inline const char* OwnPath = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/kestrum/";

    // A stored hotkey value as GNOME writes accelerators ("<Control><Shift>F12", "<Alt>m"); empty where the
    // key has no name there.
    static QString ToBinding(uint32_t value);
    // gsettings' printed string list ("@as []", "['/a/', '/b/']"); nothing where the text is no such list.
    static std::optional<QStringList> ParseStringList(const QString& text) { return TGnomeStringList::Parse(text); }
    static QString FormatStringList(const QStringList& items) { return TGnomeStringList::Format(items); }

    explicit TGnomeKeybinding(QString program = QStringLiteral("gsettings")) : FProgram(std::move(program)) {}
    // Adds or updates the entry; on failure says why in `error`.
    bool Apply(const QString& name, const QString& command, const QString& binding, QString* error = nullptr) const;

private:
    bool Run(const QStringList& args, QString* out, QString* error) const;
    QString FProgram;
};

} // namespace kestrum
