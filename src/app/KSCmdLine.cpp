#include "app/KSCmdLine.h"

#include <cstdint>

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

long long EncodeHandOver(const THandOver& handOver) {
    long long message = static_cast<long long>(static_cast<uint32_t>(handOver.PopupCode));
    if (handOver.Optimize) message |= HandOverOptimizeBit;
    return message;
}

THandOver DecodeHandOver(long long message) {
    THandOver h;
    h.PopupCode = static_cast<int>(static_cast<uint32_t>(message & 0xFFFFFFFFLL));
    h.Optimize = (message & HandOverOptimizeBit) != 0;
    return h;
}

THandOver HandOverFromArguments(const QStringList& arguments) {
    return THandOver{ParsePopupCode(arguments), HasSwitch(arguments, u"-optimize"_qs)};
}

} // namespace kestrum
