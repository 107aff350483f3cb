#pragma once
#include <QString>

namespace kestrum {

namespace platform {
class IShell;
}

// Starting at logon is left to the product family's launcher, a separate program beside ours; we only
// ever run it with "/add" or "/del" and never record whether we are registered.
inline constexpr const char* AutoStartLauncherName = "BramblinASL";
inline constexpr const char* AutoStartRegistrationName = "Kestrum";

// One argument of a launched command line in double quotes: an inner quote is escaped with a backslash,
// trailing backslashes stay outside the closing quote (they would escape it otherwise).
QString QuoteCommandArgument(const QString& text);

// <programDir>BramblinASL /add "Kestrum" "<programPath>" -autostart (or /del), both paths quoted.
QString AutoStartCommandLine(bool autoStart, const QString& programDir, const QString& programPath);

// The running executable's full path (a binary replaced on disk while it runs keeps its path).
QString OwnExecutablePath();

// Runs the launcher beside the running program: "/add" when autoStart, else "/del". Never waits for it,
// never checks that it exists, ignores any failure.
void RegisterAutoStart(platform::IShell& shell, bool autoStart);

} // namespace kestrum
