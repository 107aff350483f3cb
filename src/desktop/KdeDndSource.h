#pragma once
#include <QDBusConnection>

#include "desktop/DndSource.h"

namespace kestrum {

// On while KDE Plasma's own do-not-disturb holds notifications back: the notification service's
// Inhibited property, followed through its change signal.
class TKdeDndSource : public TDndSource {
    Q_OBJECT
public:
    explicit TKdeDndSource(const QDBusConnection& bus, QObject* parent = nullptr);
    const char* Name() const override { return "desktop"; }

private slots:
    void PropertiesChanged(const QString& interfaceName, const QVariantMap& changed, const QStringList& invalidated);

private:
    void Query();
    QDBusConnection FBus;
};

} // namespace kestrum
