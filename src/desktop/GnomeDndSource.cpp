#include "desktop/GnomeDndSource.h"

#include <QProcess>
#include <QStandardPaths>

namespace kestrum {

namespace {
const QString kFolder = u"/org/gnome/desktop/notifications/"_qs;
} // namespace

TGnomeDndSource::TGnomeDndSource(const QDBusConnection& bus, QObject* parent) : TDndSource(parent) {
    // Only where GNOME's settings tool is installed: without it there is no GNOME setting to follow.
    if (!bus.isConnected() || QStandardPaths::findExecutable(u"gsettings"_qs).isEmpty()) return;
    if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(u"GNOME"_qs, Qt::CaseInsensitive)) return;
    QDBusConnection(bus).connect(QString(), QString(), u"ca.desrt.dconf.Writer"_qs, u"Notify"_qs, this,
                                 SLOT(Notified(QString, QStringList, QString)));
    Query();
}

void TGnomeDndSource::Notified(const QString& prefix, const QStringList& changes, const QString&) {
    bool ours = prefix.startsWith(kFolder) || kFolder.startsWith(prefix);
    for (const QString& c : changes) ours = ours || (prefix + c).startsWith(kFolder);
    if (ours) Query();
}

void TGnomeDndSource::Query() {
    if (FQuerying) {
        FAgain = true;
        return;
    }
    FQuerying = true;
    auto* p = new QProcess(this);
    connect(p, &QProcess::finished, this, [this, p](int code, QProcess::ExitStatus status) {
        const QByteArray out = p->readAllStandardOutput().trimmed();
        p->deleteLater();
        FQuerying = false;
        if (status == QProcess::NormalExit && code == 0) SetActive(out == "false");
        if (std::exchange(FAgain, false)) Query();
    });
    p->start(u"gsettings"_qs, {u"get"_qs, u"org.gnome.desktop.notifications"_qs, u"show-banners"_qs});
}

} // namespace kestrum
