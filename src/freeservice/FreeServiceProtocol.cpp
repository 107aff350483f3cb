#include "freeservice/FreeServiceProtocol.h"

#include <variant>

namespace kestrum::freeservice {

namespace {

using TReportMember = std::variant<bool TFreeRunReport::*, uint8_t TFreeRunReport::*, uint32_t TFreeRunReport::*,
                                   uint64_t TFreeRunReport::*, int TFreeRunReport::*>;
struct TReportField {
    const char* Key;
    TReportMember Member;
};
// One line per report field.
const TReportField kReportFields[] = {
    {"SnapshotTaken", &TFreeRunReport::SnapshotTaken},
    {"Candidates", &TFreeRunReport::Candidates},
    {"Skipped", &TFreeRunReport::Skipped},
    {"Trimmed", &TFreeRunReport::Trimmed},
    {"Gone", &TFreeRunReport::Gone},
    {"NoRight", &TFreeRunReport::NoRight},
    {"Failed", &TFreeRunReport::Failed},
    {"ResidentTaken", &TFreeRunReport::ResidentTaken},
    {"AnonTaken", &TFreeRunReport::AnonTaken},
    {"BytesRequested", &TFreeRunReport::BytesRequested},
    {"KernelNanoseconds", &TFreeRunReport::KernelNanoseconds},
    {"TrimNanoseconds", &TFreeRunReport::TrimNanoseconds},
    {"ReclaimNanoseconds", &TFreeRunReport::ReclaimNanoseconds},
    {"FirstError", &TFreeRunReport::FirstError},
    {"NoSwap", &TFreeRunReport::NoSwap},
    {"Cancelled", &TFreeRunReport::Cancelled},
    {"Threads", &TFreeRunReport::Threads},
    {"Watched", &TFreeRunReport::Watched},
    {"WatchNanoseconds", &TFreeRunReport::WatchNanoseconds},
    {"WorkNanoseconds", &TFreeRunReport::WorkNanoseconds},
    {"WatchWorkNanoseconds", &TFreeRunReport::WatchWorkNanoseconds},
    {"HotBytesKept", &TFreeRunReport::HotBytesKept},
    {"SwapCacheGrowth", &TFreeRunReport::SwapCacheGrowth},
    {"FollowUp", &TFreeRunReport::FollowUp},
    {"SparedResidentBefore", &TFreeRunReport::SparedResidentBefore},
    {"SparedResidentAfter", &TFreeRunReport::SparedResidentAfter},
    {"SettleNanoseconds", &TFreeRunReport::SettleNanoseconds},
    {"FreeListBytes", &TFreeRunReport::FreeListBytes},
};

using TReclaimMember = std::variant<bool platform::TReclaimResult::*, uint64_t platform::TReclaimResult::*>;
struct TReclaimField {
    const char* Key;
    TReclaimMember Member;
};
const TReclaimField kReclaimFields[] = {
    {"Reclaim.BytesRequested", &platform::TReclaimResult::BytesRequested},
    {"Reclaim.BytesDone", &platform::TReclaimResult::BytesDone},
    {"Reclaim.Available", &platform::TReclaimResult::Available},
};

// D-Bus types: b, u, t, i.
template <class S, class T>
QVariant Get(const S& s, T S::*m) {
    if constexpr (std::is_same_v<T, bool>)
        return QVariant(s.*m);
    else if constexpr (std::is_same_v<T, uint8_t> || std::is_same_v<T, uint32_t>)
        return QVariant(static_cast<uint>(s.*m));
    else if constexpr (std::is_same_v<T, uint64_t>)
        return QVariant(static_cast<qulonglong>(s.*m));
    else
        return QVariant(static_cast<int>(s.*m));
}

template <class S, class T>
void Set(S& s, T S::*m, const QVariant& v) {
    bool ok = true;
    T value{};
    if constexpr (std::is_same_v<T, bool>) {
        ok = v.metaType().id() == QMetaType::Bool;
        value = v.toBool();
    } else if constexpr (std::is_same_v<T, uint8_t>) {
        const uint u = v.toUInt(&ok);
        ok = ok && u <= 0xFF;
        value = static_cast<uint8_t>(u);
    } else if constexpr (std::is_same_v<T, uint32_t>) {
        value = v.toUInt(&ok);
    } else if constexpr (std::is_same_v<T, uint64_t>) {
        value = v.toULongLong(&ok);
    } else {
        value = v.toInt(&ok);
    }
    if (ok) s.*m = value; // a value of the wrong type keeps the default
}

} // namespace

QVariantMap RequestOptionsToMap(const TFreeRunRequest& request) {
    QVariantMap map{{kOptionFollowUpReclaim, request.FollowUpReclaim}};
    // Sent only when wanted: an older service refuses options it does not know.
    if (request.AllUsers) map.insert(kOptionAllUsers, true);
    return map;
}

QString ParseRequest(uint8_t mode, const QStringList& names, const QVariantMap& options, TFreeRunRequest& out) {
    if (mode > kMaxMode) return QStringLiteral("unknown selection mode %1 (0 to %2)").arg(mode).arg(kMaxMode);
    if (names.size() > kMaxNames)
        return QStringLiteral("%1 names given; at most %2 are taken").arg(names.size()).arg(kMaxNames);
    for (const QString& name : names) {
        if (name.size() > kMaxNameBytes || name.toUtf8().size() > kMaxNameBytes)
            return QStringLiteral("a name of more than %1 bytes").arg(kMaxNameBytes);
        if (name.contains(u'/')) return QStringLiteral("names are file names without a folder");
    }
    TFreeRunRequest request;
    request.Mode = mode;
    request.Selection = names;
    for (auto it = options.begin(); it != options.end(); ++it) {
        if (it.key() == kOptionFollowUpReclaim) {
            if (it.value().metaType().id() != QMetaType::Bool)
                return QStringLiteral("option %1 wants a Boolean").arg(it.key());
            request.FollowUpReclaim = it.value().toBool();
        } else if (it.key() == kOptionAllUsers) {
            if (it.value().metaType().id() != QMetaType::Bool)
                return QStringLiteral("option %1 wants a Boolean").arg(it.key());
            request.AllUsers = it.value().toBool();
        } else {
            return QStringLiteral("unknown option %1").arg(it.key().left(64));
        }
    }
    out = std::move(request);
    return {};
}

QVariantMap ReportToMap(const TFreeRunReport& report) {
    QVariantMap map;
    for (const auto& f : kReportFields)
        std::visit([&](auto m) { map.insert(QString::fromLatin1(f.Key), Get(report, m)); }, f.Member);
    for (const auto& f : kReclaimFields)
        std::visit([&](auto m) { map.insert(QString::fromLatin1(f.Key), Get(report.Reclaim, m)); }, f.Member);
    return map;
}

TFreeRunReport ReportFromMap(const QVariantMap& map) {
    TFreeRunReport report;
    for (const auto& f : kReportFields) {
        const auto it = map.find(QString::fromLatin1(f.Key));
        if (it != map.end()) std::visit([&](auto m) { Set(report, m, *it); }, f.Member);
    }
    for (const auto& f : kReclaimFields) {
        const auto it = map.find(QString::fromLatin1(f.Key));
        if (it != map.end()) std::visit([&](auto m) { Set(report.Reclaim, m, *it); }, f.Member);
    }
    return report;
}

} // namespace kestrum::freeservice
