#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <stdexcept>

class QIODevice;

namespace kestrum {

namespace platform {
class IShell;
class IFileVersion;
} // namespace platform

// Program and data folders -------------------------------------------------------------------------------

// The data folder, ending with "/": $KESTRUM_HOME when set; else the program folder when it belongs to the
// user running us and is no system location (portable layout: Config/, Lists/, Langs/, Logs/ beside the
// executable); else $XDG_DATA_HOME/kestrum/.
QString GetAppDir();
// The folder of the program's own executable, ending with "/" (read-only resources such as Langs/).
QString GetProgramDir();

// Command line --------------------------------------------------------------------------------------------

// True when one of arguments[1..] equals name ignoring ASCII case; the scan ends at the first empty
// argument; a blank name gives false.
bool HasSwitch(const QStringList& arguments, const QString& name);

// Numbers as text -----------------------------------------------------------------------------------------

// The user's number separators (from the locale; tests pass their own).
struct TNumberFormat {
    QChar ThousandSeparator = u',';
    QChar DecimalSeparator = u'.';
};
TNumberFormat UserNumberFormat();
// "%3.<decimals>n" then " B" / " KB" / " MB".
QString FormatSize(uint64_t bytes, int decimals = 2);
QString FormatSize(uint64_t bytes, int decimals, const TNumberFormat& format);
// The "n" conversion: thousands separators, the given decimals, padded left with spaces to `width`.
QString FormatNumber(double value, int decimals, int width, const TNumberFormat& format);

// Versions ------------------------------------------------------------------------------------------------

// "%d.%d.%d.%d" of the file's version; blank path = our own executable; empty on any failure.
QString GetFileVersionString(platform::IFileVersion& versions, const QString& path = {});

// Other programs ------------------------------------------------------------------------------------------

// Starts the command line without waiting; failures are silent.
void LaunchProcess(platform::IShell& shell, const QString& commandLine, int showCommand = 1);
// Opens a document, folder or web address; a blank target gives false without any call.
bool ShellOpen(platform::IShell& shell, const QString& target);
// Opens a help file; a blank path gives false.
bool OpenHelpFile(platform::IShell& shell, const QString& path);
// Whether the file exists at path, after environment expansion, on the search path ($PATH split at ":"),
// or at path cut at its last spaces.
bool LocateFile(const QString& path);
// Expands $NAME, ${NAME} and %NAME% references from the environment; unknown names stay as written.
QString ExpandEnvironmentStrings(const QString& text);

// Files and folders ---------------------------------------------------------------------------------------

int ListFiles(QStringList& list, const QString& folder, const QString& mask, const QStringList& exclusions = {});
QString FileBaseName(const QString& path);
bool DeleteFolder(const QString& path);
QString GetTempDir();
QString MakeTempFileName(const QString& folder, const QString& extension);

// A text that is not what a conversion expects (a hexadecimal pair, a number).
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Texts and streams ---------------------------------------------------------------------------------------

int SplitText(const QString& text, QChar delimiter, QStringList& list);
int LastPos(const QString& part, const QString& text);
QString StreamToHex(QIODevice& stream);
// Writes the bytes at the stream's position; throws EConvertError on a pair that is not hexadecimal.
qint64 HexToStream(const QString& text, QIODevice* stream);
// 0 none, 1 BMP, 2 JPEG, 3 GIF, 4 PNG, 5 icon, 6 cursor, 7 metafile, 8 enhanced metafile.
int DetectPictureFormat(QIODevice& stream);
int DetectPictureFormat(const QByteArray& head);

// Message box ---------------------------------------------------------------------------------------------

using TMessageBoxFunc =
    std::function<int(void* owner, const QString& text, const QString& caption, unsigned flags, unsigned languageId)>;
// The optional replacement message box (tests answer through it); empty function removes it.
void SetMessageBoxHook(TMessageBoxFunc hook);
// The platform's standard message box, installed by the application (a QMessageBox).
void SetPlatformMessageBox(TMessageBoxFunc box);
// Returns the button number pressed (6 Yes, 7 No, 1 OK); 0 when no message box is available.
int ShowMessageBox(void* owner, const QString& text, const QString& caption, unsigned flags, unsigned languageId);

} // namespace kestrum
