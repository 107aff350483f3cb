#pragma once
// The freeing service's D-Bus contract, shared by the service and its clients: names, limits, and the
// run's request and report as a{sv} maps, field by field, so a new field is one table line.
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstdint>

#include "engine/FreeRunDelegate.h"
#include "engine/MemoryOptimize.h"

namespace kestrum::freeservice {

inline const QString kBusName = QStringLiteral("org.kestrum.Freeing1");
inline const QString kObjectPath = QStringLiteral("/org/kestrum/Freeing1");
inline const QString kInterface = QStringLiteral("org.kestrum.Freeing1");
// polkit actions: a freeing run over the caller's own processes, one that reaches other users' and system
// processes too, and reading the service's version and capabilities.
inline const QString kActionFree = QStringLiteral("org.kestrum.freeing.free-memory");
inline const QString kActionFreeAll = QStringLiteral("org.kestrum.freeing.free-memory-all-users");
inline const QString kActionInfo = QStringLiteral("org.kestrum.freeing.read-info");

inline const QString kErrorInvalidArgs = QStringLiteral("org.kestrum.Freeing1.Error.InvalidArgs");
inline const QString kErrorNotAuthorized = QStringLiteral("org.kestrum.Freeing1.Error.NotAuthorized");
inline const QString kErrorBusy = QStringLiteral("org.kestrum.Freeing1.Error.Busy");
inline const QString kErrorTooSoon = QStringLiteral("org.kestrum.Freeing1.Error.TooSoon");
inline const QString kErrorFailed = QStringLiteral("org.kestrum.Freeing1.Error.Failed");

// Bounds of one request. Names are executable file names, which Linux keeps to 255 bytes.
constexpr int kMaxNames = 1024;
constexpr int kMaxNameBytes = 255;
constexpr uint8_t kMaxMode = TMemoryOptimize::MODE_SMART;

// Option keys of FreeMemory's a{sv}.
inline const QString kOptionFollowUpReclaim = QStringLiteral("FollowUpReclaim");
// Reach other users' and system processes as well (the second polkit action); without it a run touches
// only processes that belong to the caller.
inline const QString kOptionAllUsers = QStringLiteral("AllUsers");
// Spared whatever the mode: never-trim names (as) and the caller's protected process ids (au).
inline const QString kOptionNeverTrim = QStringLiteral("NeverTrim");
inline const QString kOptionSparedIds = QStringLiteral("SparedProcessIds");
constexpr int kMaxSparedIds = 65536;

// The request as sent: mode byte, names, options.
QVariantMap RequestOptionsToMap(const TFreeRunRequest& request);
// Checks and reads a request; returns the error text for the caller (empty when it is sound). Unknown
// options are errors: an older service must not ignore a switch a newer client relies on.
QString ParseRequest(uint8_t mode, const QStringList& names, const QVariantMap& options, TFreeRunRequest& out);

// The run's report. Keys missing from a map keep their defaults; unknown keys are ignored, so either side
// may be newer. Route and Notice are the client's own and never travel.
QVariantMap ReportToMap(const TFreeRunReport& report);
TFreeRunReport ReportFromMap(const QVariantMap& map);

} // namespace kestrum::freeservice
