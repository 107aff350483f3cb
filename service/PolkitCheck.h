#pragma once
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>

namespace kestrum::service {

// Asks polkit on `bus` whether the sender of a bus message may perform `action`. The subject is the
// caller's unique bus name, so polkit itself finds out who is behind it; nothing the caller sends is
// trusted. `done` runs on `context`'s thread: authorised or not, and why not. Any failure to ask is a no.
void CheckAuthorization(const QDBusConnection& bus, const QString& sender, const QString& action, bool allowInteraction,
                        QObject* context, std::function<void(bool authorized, const QString& detail)> done);

} // namespace kestrum::service
