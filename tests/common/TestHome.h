#pragma once
// A temporary data folder for one test: sets KESTRUM_HOME while alive, removes everything afterwards.
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>

namespace kestrum::test {

class TTestHome {
public:
    TTestHome() {
        const char* old = std::getenv("KESTRUM_HOME");
        if (old) FOld = old, FHadOld = true;
        qputenv("KESTRUM_HOME", FDir.path().toUtf8());
    }
    ~TTestHome() {
        if (FHadOld) qputenv("KESTRUM_HOME", FOld.toUtf8());
        else qunsetenv("KESTRUM_HOME");
    }
    TTestHome(const TTestHome&) = delete;
    TTestHome& operator=(const TTestHome&) = delete;

    // The folder, ending with "/".
    QString Path() const { return QDir(FDir.path()).absolutePath() + u'/'; }
    QString File(const QString& relative) const { return Path() + relative; }

private:
    QTemporaryDir FDir;
    QString FOld;
    bool FHadOld = false;
};

} // namespace kestrum::test
