#pragma once
#include <QObject>
#include <QStringList>
#include <functional>

class QTimer;

namespace kestrum {

// Gets the tray icon to a copy that started before the panel. The toolkit decides once per process
// whether a StatusNotifierItem host exists and never looks again, so the only public way to the icon is
// a fresh process: end this one like the tray's Exit, then execute the program anew, started hidden in
// the tray. That happens only at a quiet moment (`quiet`: no run, no dialog, the window out of use);
// until then the request waits and is tried again.
class TKSTrayRestart : public QObject {
    Q_OBJECT
public:
    // `wanted`: a host exists, the icon is asked for and this process cannot show it.
    TKSTrayRestart(std::function<bool()> wanted, std::function<bool()> quiet, QObject* parent = nullptr);

    // The arguments of the new process: the original ones without a second freeing run, started hidden.
    static QStringList Arguments(const QStringList& original);
    // Replaces the process image with the program and `arguments` (argument 0 included); returns only on
    // failure.
    static void Exec(const QStringList& arguments);

    bool Requested() const { return FRequested; }
    void SetRetryInterval(int ms);

public slots:
    // Called when a host may have appeared.
    void Consider();

signals:
    // Time to end this process; the caller executes the new one once everything has been closed.
    void RestartNow();

private:
    std::function<bool()> FWanted;
    std::function<bool()> FQuiet;
    QTimer* FRetry = nullptr;
    bool FRequested = false;
};

} // namespace kestrum
