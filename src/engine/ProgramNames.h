#pragma once
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "platform/IProcesses.h"

namespace kestrum {

// The names a user may know a running program by. A list entry names the program when it matches any of
// them: the executable's file name (also with its last four characters dropped, so "notepad" still names
// "notepad.exe"), the kernel's process name, the base name of argv[0] and the application id a desktop
// launched it under ("org.mozilla.firefox" for a Flatpak that runs as bwrap). Case is ignored, and an entry
// also names versions and release channels of its program: "python3" names "python3.11", "firefox" names
// "firefox-esr".
struct TProgramNames {
    QString ExeName;
    QString Comm;
    QString Argv0;
    QString AppId;

    // The names of a process, read through `processes` (the executable's from the snapshot entry).
    static TProgramNames Read(platform::IProcesses& processes, const platform::TProcessEntry& entry);
    // The application id of the systemd unit a desktop started the program in ("app-gnome-firefox\x2desr-
    // 2154.scope", "app-flatpak-org.gimp.GIMP-5531.scope", "app-org.kde.konsole@7c1.service"); empty when
    // no group is such a unit.
    static QString AppIdFromControlGroups(const std::vector<std::string>& paths);

    // Whether an entry of `list` names this program.
    bool MatchedBy(const QStringList& list) const;
    // Whether `entry` names the program by its executable's file name alone (the part of the rule that
    // needs no look into the process).
    static bool ExeMatchedBy(const QStringList& list, const QString& exeName);
    // Whether `entry` names `name`: the same ignoring case, or `name` is `entry` followed by a version or a
    // release channel.
    static bool EntryNames(const QString& entry, const QString& name);
};

} // namespace kestrum
