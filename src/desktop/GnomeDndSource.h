#pragma once
#include <QDBusConnection>

#include "desktop/DndSource.h"

namespace kestrum {

// On while GNOME's "Do Not Disturb" is on, which switches the notification banners off
// (org.gnome.desktop.notifications show-banners). The setting is read once at start and again whenever
// the settings store announces a change below its folder on the session bus.
class TGnomeDndSource : public TDndSource {
    Q_OBJECT
public:
    explicit TGnomeDndSource(const QDBusConnection& bus, QObject* parent = nullptr);
    const char* Name() const override { return "desktop"; }

private slots:
    void Notified(const QString& prefix, const QStringList& changes, const QString& tag);

private:
    void Query();
    bool FQuerying = false;
    bool FAgain = false;
};

} // namespace kestrum
