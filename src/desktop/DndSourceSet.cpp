#include "desktop/DndSourceSet.h"

#include <QDBusConnection>
#include <QFileInfo>

#include "desktop/GameModeDndSource.h"
#include "desktop/GnomeDndSource.h"
#include "desktop/KdeDndSource.h"

namespace kestrum {

TDndSourceSet::TDndSourceSet(QObject* parent) : QObject(parent) {}

TDndSourceSet* TDndSourceSet::CreateForDesktop(const QDBusConnection& sessionBus, QObject* parent) {
    auto* set = new TDndSourceSet(parent);
    if (!sessionBus.isConnected()) return set;
    set->Add(new TGameModeDndSource(sessionBus));
    set->Add(new TKdeDndSource(sessionBus));
    set->Add(new TGnomeDndSource(sessionBus));
    return set;
}

TDndSourceSet* TDndSourceSet::CreateForDesktop(QObject* parent) {
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (address.isEmpty() && !runtime.isEmpty() && QFileInfo::exists(runtime + u"/bus"_qs))
        address = u"unix:path="_qs + runtime + u"/bus"_qs;
    if (address.isEmpty()) return new TDndSourceSet(parent);
    return CreateForDesktop(QDBusConnection::connectToBus(address, u"kestrum-do-not-disturb"_qs), parent);
}

void TDndSourceSet::Add(TDndSource* source) {
    source->setParent(this);
    FSources << source;
    connect(source, &TDndSource::ActiveChanged, this, &TDndSourceSet::Update);
    Update();
}

QStringList TDndSourceSet::ActiveNames() const {
    QStringList names;
    for (const TDndSource* s : FSources)
        if (s->Active()) names << QString::fromLatin1(s->Name());
    return names;
}

void TDndSourceSet::Update() {
    bool active = false;
    for (const TDndSource* s : FSources) active = active || s->Active();
    if (active == FActive) return;
    FActive = active;
    emit ActiveChanged(active);
}

} // namespace kestrum
