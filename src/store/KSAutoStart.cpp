#include "store/KSAutoStart.h"

#include <unistd.h>

#include "support/KSUtils.h"

namespace kestrum {

QString QuoteCommandArgument(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == u'\\') --end;
    QString inner = text.left(end);
    inner.replace(u'"', u"\\\""_qs);
    return u'"' + inner + u'"' + text.mid(end);
}

QString AutoStartCommandLine(bool autoStart, const QString& programDir, const QString& programPath) {
    return QuoteCommandArgument(programDir + QLatin1String(AutoStartLauncherName)) + u' ' +
           (autoStart ? u"/add"_qs : u"/del"_qs) + u' ' +
           QuoteCommandArgument(QLatin1String(AutoStartRegistrationName)) + u' ' + QuoteCommandArgument(programPath) +
           u" -autostart"_qs;
}

QString OwnExecutablePath() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    QString path = QString::fromLocal8Bit(buf, n);
    // An upgrade that replaced the binary while we run: the new file at the same path is what should start.
    static const QString deleted = u" (deleted)"_qs;
    if (path.endsWith(deleted)) path.chop(deleted.size());
    return path;
}

void RegisterAutoStart(platform::IShell& shell, bool autoStart) {
    // The launcher lies beside the executable, not in the data folder (which may be elsewhere).
    LaunchProcess(shell, AutoStartCommandLine(autoStart, GetProgramDir(), OwnExecutablePath()), 1);
}

} // namespace kestrum
