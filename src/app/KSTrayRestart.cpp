#include "app/KSTrayRestart.h"

#include <unistd.h>

#include <QTimer>
#include <vector>

#include "support/KSUtils.h"

namespace kestrum {

TKSTrayRestart::TKSTrayRestart(std::function<bool()> wanted, std::function<bool()> quiet, QObject* parent)
    : QObject(parent), FWanted(std::move(wanted)), FQuiet(std::move(quiet)), FRetry(new QTimer(this)) {
    FRetry->setSingleShot(true);
    FRetry->setInterval(5000);
    connect(FRetry, &QTimer::timeout, this, &TKSTrayRestart::Consider);
}

void TKSTrayRestart::SetRetryInterval(int ms) {
    FRetry->setInterval(ms);
}

void TKSTrayRestart::Consider() {
    if (FRequested || !FWanted || !FWanted()) return; // the retry ends with the need
    if (FQuiet && !FQuiet()) {
        FRetry->start();
        return;
    }
    FRequested = true;
    emit RestartNow();
}

QStringList TKSTrayRestart::Arguments(const QStringList& original) {
    QStringList out;
    for (int i = 0; i < original.size(); ++i) {
        // The switches compare without case, like the rest of the command line.
        if (i > 0 && original[i].compare(u"-optimize"_qs, Qt::CaseInsensitive) == 0) continue;
        out << original[i];
    }
    if (out.isEmpty()) out << u"Kestrum"_qs;
    // First after the program: a switch after an empty argument would not be read.
    if (!HasSwitch(out, u"-autostart"_qs)) out.insert(1, u"-autostart"_qs);
    return out;
}

void TKSTrayRestart::Exec(const QStringList& arguments) {
    std::vector<QByteArray> bytes;
    for (const QString& a : arguments) bytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : bytes) argv.push_back(b.data());
    argv.push_back(nullptr);
    ::execv("/proc/self/exe", argv.data());
}

} // namespace kestrum
