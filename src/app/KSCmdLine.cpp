#include "app/KSCmdLine.h"

#include "support/KSUtils.h"

namespace kestrum {

int ParsePopupCode(const QStringList& args) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i].isEmpty()) break;
        if (!HasSwitch(QStringList{QString(), args[i]}, u"-popup"_qs)) continue;
        if (i + 1 >= args.size() || args[i + 1].isEmpty()) break;
        bool ok = false;
        int code = args[i + 1].trimmed().toInt(&ok);
        if (ok) return code;
        // Not a number: go on scanning from that argument.
    }
    return 0;
}

int TabIndexForPopupCode(long long code) {
    if (code == PopupCodeOverview) return 0;
    if (code == PopupCodeOptimize) return 1;
    return -1;
}

} // namespace kestrum
