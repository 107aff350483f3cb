#pragma once
// A private headless weston for the tests that need a Wayland compositor: its own runtime folder, a plain
// background of a known colour, no panel, and the screenshooter allowed (--debug). WAYLAND_DISPLAY becomes
// the absolute path of its socket, so children with another XDG_RUNTIME_DIR find it too.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <sys/prctl.h>

namespace kestrum::test {

class TWeston {
public:
    // The desktop's colour: every pixel of a screenshot that is not this belongs to a window.
    static constexpr QRgb Background = 0xff3060a0;

    TWeston() {
        QFile::setPermissions(FDir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile ini(FDir.filePath(u"weston.ini"_qs));
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[core]\nidle-time=0\n[shell]\npanel-position=none\nbackground-color=0xff3060a0\n");
        ini.close();
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_qs, FDir.path());
        env.remove(u"WAYLAND_DISPLAY"_qs);
        env.remove(u"DISPLAY"_qs);
        FProcess.setProcessEnvironment(env);
        FProcess.setStandardOutputFile(QProcess::nullDevice());
        FProcess.setStandardErrorFile(FDir.filePath(u"weston.err"_qs));
        // Ends with the test program too: a program that keeps its compositor to the very end (the toolkit
        // connects once) never runs this destructor, and its weston would outlive it.
        FProcess.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        FProcess.start(u"weston"_qs,
                       {u"--backend=headless-backend.so"_qs, u"--use-pixman"_qs, u"--width=1280"_qs,
                        u"--height=1024"_qs, u"--socket=wayland-kestrum"_qs, u"--config="_qs + ini.fileName(),
                        u"--debug"_qs, u"--log="_qs + FDir.filePath(u"weston.log"_qs)});
        if (!FProcess.waitForStarted(5000)) return;
        QDeadlineTimer deadline(10000);
        while (!QFileInfo(Socket()).exists() && !deadline.hasExpired()) QThread::msleep(50);
        FRunning = QFileInfo(Socket()).exists();
    }
    ~TWeston() {
        FProcess.terminate();
        if (!FProcess.waitForFinished(3000)) FProcess.kill();
        FProcess.waitForFinished(1000);
    }

    bool Running() const { return FRunning; }
    QString Socket() const { return FDir.filePath(u"wayland-kestrum"_qs); }
    QString Log() const {
        QFile f(FDir.filePath(u"weston.log"_qs));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    // The whole output as the compositor shows it; null when the screenshooter failed.
    QImage Screenshot() {
        const QString dir = FDir.filePath(u"shot%1"_qs.arg(FShots++));
        QDir().mkpath(dir);
        QProcess shooter;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(u"WAYLAND_DISPLAY"_qs, Socket());
        shooter.setProcessEnvironment(env);
        shooter.setWorkingDirectory(dir);
        shooter.start(u"weston-screenshooter"_qs, {});
        if (!shooter.waitForFinished(10000)) return {};
        const QStringList files = QDir(dir).entryList({u"*.png"_qs}, QDir::Files);
        if (files.isEmpty()) return {};
        QImage image(QDir(dir).filePath(files.first()));
        if (qEnvironmentVariableIsSet("KESTRUM_KEEP_SHOTS"))
            image.save(qEnvironmentVariable("KESTRUM_KEEP_SHOTS") + u"/shot%1.png"_qs.arg(FShots - 1));
        return image.convertToFormat(QImage::Format_RGB32);
    }

private:
    QTemporaryDir FDir;
    QProcess FProcess;
    bool FRunning = false;
    int FShots = 0;
};

} // namespace kestrum::test
