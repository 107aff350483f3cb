#include "freeservice/FreeServiceProtocol.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <variant>

namespace kestrum::freeservice {

namespace {

const QString kTopNames = QStringLiteral("TopPrograms.Names");
const QString kTopBytes = QStringLiteral("TopPrograms.Bytes");

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

QString CheckNames(const QStringList& names) {
    if (names.size() > kMaxNames)
        return QStringLiteral("%1 names given; at most %2 are taken").arg(names.size()).arg(kMaxNames);
    for (const QString& name : names) {
        if (name.size() > kMaxNameBytes || name.toUtf8().size() > kMaxNameBytes)
            return QStringLiteral("a name of more than %1 bytes").arg(kMaxNameBytes);
        if (name.contains(u'/')) return QStringLiteral("names are file names without a folder");
    }
    return {};
}

} // namespace

QVariantMap RequestOptionsToMap(const TFreeRunRequest& request) {
    QVariantMap map{{kOptionFollowUpReclaim, request.FollowUpReclaim}};
    // Sent only when wanted: an older service refuses options it does not know.
    if (request.AllUsers) map.insert(kOptionAllUsers, true);
    // Only what is there: a service that predates them still takes a request that needs neither.
    if (!request.NeverTrim.isEmpty()) map.insert(kOptionNeverTrim, request.NeverTrim);
    if (!request.SparedIds.empty()) {
        QList<uint> ids(request.SparedIds.begin(), request.SparedIds.end());
        map.insert(kOptionSparedIds, QVariant::fromValue(ids));
    }
    return map;
}

QString ParseRequest(uint8_t mode, const QStringList& names, const QVariantMap& options, TFreeRunRequest& out) {
    if (mode > kMaxMode) return QStringLiteral("unknown selection mode %1 (0 to %2)").arg(mode).arg(kMaxMode);
    if (const QString bad = CheckNames(names); !bad.isEmpty()) return bad;
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
        } else if (it.key() == kOptionNeverTrim) {
            if (it.value().metaType().id() != QMetaType::QStringList)
                return QStringLiteral("option %1 wants a list of names").arg(it.key());
            const QStringList never = it.value().toStringList();
            if (const QString bad = CheckNames(never); !bad.isEmpty()) return bad;
            request.NeverTrim = never;
        } else if (it.key() == kOptionSparedIds) {
            const QVariant v = it.value();
            QList<uint> ids;
            if (v.canConvert<QDBusArgument>())
                ids = qdbus_cast<QList<uint>>(v);
            else if (v.metaType() == QMetaType::fromType<QList<uint>>())
                ids = v.value<QList<uint>>();
            else
                return QStringLiteral("option %1 wants a list of process ids").arg(it.key());
            if (ids.size() > kMaxSparedIds)
                return QStringLiteral("%1 process ids given; at most %2 are taken").arg(ids.size()).arg(kMaxSparedIds);
            request.SparedIds.assign(ids.begin(), ids.end());
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
    QStringList names;
    QList<qulonglong> bytes;
    for (const auto& p : report.TopPrograms) {
        names << p.Name;
        bytes << p.Bytes;
    }
    map.insert(kTopNames, names);
    map.insert(kTopBytes, QVariant::fromValue(bytes));
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
    const QStringList names = map.value(kTopNames).toStringList();
    const QVariant bytesValue = map.value(kTopBytes);
    QList<qulonglong> bytes;
    if (bytesValue.canConvert<QDBusArgument>())
        bytes = qdbus_cast<QList<qulonglong>>(bytesValue);
    else if (bytesValue.metaType() == QMetaType::fromType<QList<qulonglong>>())
        bytes = bytesValue.value<QList<qulonglong>>();
    for (qsizetype i = 0; i < names.size() && i < bytes.size() && i < TFreeRunReport::TopProgramCount; ++i)
        report.TopPrograms.push_back({names[i].left(kMaxNameBytes), bytes[i]});
    return report;
}

} // namespace kestrum::freeservice
