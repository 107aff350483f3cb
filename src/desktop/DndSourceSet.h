#pragma once
#include <QList>
#include <QObject>

#include "desktop/DndSource.h"

class QDBusConnection;

namespace kestrum {

// The do-not-disturb sources beside the full-screen check, combined: on while any one of them is.
class TDndSourceSet : public QObject {
    Q_OBJECT
public:
    explicit TDndSourceSet(QObject* parent = nullptr);
    // The sources this desktop may have, on the given session bus: GameMode, KDE's notification
    // inhibition, GNOME's banners switch. Those that are not there simply stay off.
    static TDndSourceSet* CreateForDesktop(const QDBusConnection& sessionBus, QObject* parent = nullptr);
    // The same on the session's bus when there is one (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus);
    // a bus is never started for this.
    static TDndSourceSet* CreateForDesktop(QObject* parent = nullptr);

    // Takes `source` over.
    void Add(TDndSource* source);
    bool Active() const { return FActive; }
    // The names of the sources that are on now, for traces and the status line.
    QStringList ActiveNames() const;

signals:
    void ActiveChanged(bool active);

private:
    void Update();
    QList<TDndSource*> FSources;
    bool FActive = false;
};

} // namespace kestrum
