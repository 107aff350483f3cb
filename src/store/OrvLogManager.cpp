#include "store/OrvLogManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/AtomicFile.h"

namespace kestrum {

TOrvLogManager::TOrvLogManager(QObject* owner) : QObject(owner) {}

// Records reach the file through Append or Save only: a rewrite at exit would put back whatever the
// reader made of a damaged file, and would cost as much as the whole file at every exit.
TOrvLogManager::~TOrvLogManager() = default;

std::mutex& TOrvLogManager::LogLock() {
    static std::mutex lock;
    return lock;
}

TDateTime TOrvLogManager::Now() const {
    return DateTimeFromQt(FNow ? FNow() : QDateTime::currentDateTime());
}

TOrvLogItem* TOrvLogManager::Items(int index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return FItems[size_t(index)].get();
}

TOrvLogItem* TOrvLogManager::AddItem() {
    FItems.push_back(std::make_unique<TOrvLogItem>(this));
    return FItems.back().get();
}

void TOrvLogManager::RemoveLast() {
    if (!FItems.empty()) FItems.pop_back();
}

void TOrvLogManager::Clear() {
    FItems.clear();
    FLoadedCount = 0;
}

bool TOrvLogManager::LoadFromFile() {
    std::lock_guard<std::mutex> lock(LogLock());
    FItems.clear();
    QFile file(FLogFile);
    if (FLogFile.isEmpty() || !QFileInfo(FLogFile).isFile()) return false;
    if (!file.open(QIODevice::ReadOnly)) return false;
    const TDateTime loadTime = Now(); // what lines without a stamp are stamped with
    while (!file.atEnd()) {
        QByteArray raw = file.readLine();
        if (raw.isEmpty() && file.error() != QFileDevice::NoError) return false;
        while (raw.endsWith('\n') || raw.endsWith('\r')) raw.chop(1);
        const QStringList tokens = logline::Tokenize(QString::fromUtf8(raw), FDelimter);
        auto item = std::make_unique<TOrvLogItem>(this, loadTime);
        if (!tokens.isEmpty()) item->Time = StampToDateTime(tokens[0]);
        if (tokens.size() >= 2) {
            bool ok = false;
            const int code = tokens[1].toInt(&ok, 10);
            if (ok) item->Code = code;
        }
        if (tokens.size() > 2) item->Fields = tokens.mid(2);
        FItems.push_back(std::move(item));
    }
    FLoadedCount = Count();
    return true;
}

bool TOrvLogManager::Save() {
    if (FLogFile.isEmpty()) return false;
    QByteArray data;
    for (const auto& item : FItems) data += (item->ToLine() + QStringLiteral("\r\n")).toUtf8();

    std::lock_guard<std::mutex> lock(LogLock());
    if (!QFileInfo::exists(FLogFile)) QDir().mkpath(QFileInfo(FLogFile).absolutePath());
    return WriteFileAtomically(FLogFile, data);
}

} // namespace kestrum
