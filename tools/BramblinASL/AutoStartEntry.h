#pragma once
// XDG autostart entries as the launcher writes them: one file <config>/autostart/<name>.desktop per
// registration, marked as ours so that an entry the user wrote by hand is never replaced or removed.
#include <string>
#include <vector>

namespace bramblin {

// The key that marks an entry as written by the launcher.
inline constexpr const char* OwnMarkKey = "X-BramblinASL-Registered";

// A registration name fit for a file name: not empty, no "/", no leading ".", no control characters.
bool ValidName(const std::string& name);

// One argument of an Exec line by the Desktop Entry rules: quoted when it holds a reserved character
// (always when `alwaysQuote`), with ", `, $ and \ escaped inside the quotes and % doubled.
std::string QuoteExecArgument(const std::string& arg, bool alwaysQuote);
// A string value escaped for a desktop file (\\, \n, \t, \r; a leading space as \s).
std::string EscapeValue(const std::string& value);

// The autostart folder: $XDG_CONFIG_HOME/autostart when that is an absolute path, else ~/.config/autostart.
// Empty when neither can be found.
std::string AutostartDir();

enum class TResult { Done, Unchanged, Foreign, Failed };

// The entry's text: starts `program` with `switches` at logon (through env(1) when the path holds "%",
// which desktops that check the Exec program would otherwise never find). Keys the user's session settings set in
// an existing entry of ours (Hidden, X-GNOME-Autostart-enabled) are carried over from `previous`.
std::string EntryText(const std::string& name, const std::string& program, const std::vector<std::string>& switches,
                      const std::string& previous);

// Writes or replaces our entry (atomically; an identical entry is left untouched). Foreign when a file
// that is not ours (or not a regular file) holds the name.
TResult AddEntry(const std::string& dir, const std::string& name, const std::string& program,
                 const std::vector<std::string>& switches, std::string& error);
// Removes our entry; Unchanged when there is none, Foreign when the file is not ours.
TResult DeleteEntry(const std::string& dir, const std::string& name, std::string& error);

} // namespace bramblin
