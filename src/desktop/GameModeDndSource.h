#pragma once
#include <QDBusConnection>
#include <QDBusVariant>

#include "desktop/DndSource.h"

class QDBusServiceWatcher;
class QDBusPendingCallWatcher;
class QDBusMessage;

namespace kestrum {

// On while GameMode counts a registered game (its ClientCount above 0). The daemon starts on demand when
// its properties are read, so nothing is read until its name is on the bus; from then on the count
// follows the property change signal and the register/unregister signals.
class TGameModeDndSource : public TDndSource {
    Q_OBJECT
public:
    explicit TGameModeDndSource(const QDBusConnection& bus, QObject* parent = nullptr);
    const char* Name() const override { return "gamemode"; }

private slots:
    void PropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList& invalidated);
    void GameListChanged();

private:
    void Query();
    QDBusConnection FBus;
    QDBusServiceWatcher* FWatcher = nullptr;
};

} // namespace kestrum
