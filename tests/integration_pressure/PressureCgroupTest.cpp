#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QThread>
#include <chrono>
#include <random>

#include "app/KSPressureMonitor.h"
#include "common/QtApp.h"
#include "engine/SystemStatus.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/IClock.h"
#include "platform/IProcesses.h"
#include "platform/ISystemInfo.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

const QString MemoryCgroups = u"/sys/fs/cgroup/memory"_qs;
constexpr int64_t GiB = 1ll << 30;

// The real pressure and processor figures of this machine, but the memory figures of a machine that is
// about to run out: this shared machine has far too much memory to run out of it in a test.
class TLowMemoryView final : public ISystemInfo {
public:
    explicit TLowMemoryView(ISystemInfo& real) : FReal(real) {}
    std::optional<uint32_t> ProcessorCount() override { return FReal.ProcessorCount(); }
    std::optional<std::chrono::system_clock::time_point> BootTime() override { return FReal.BootTime(); }
    std::optional<TProcessorSample> ProcessorSample(uint32_t n) override { return FReal.ProcessorSample(n); }
    std::optional<TPerformanceInfo> PerformanceInfo() override {
        TPerformanceInfo p;
        p.PageSize = 1;
        p.PhysicalTotal = 16 * GiB;
        p.PhysicalAvailable = GiB;
        return p;
    }
    std::optional<TMemoryPressure> MemoryPressure() override { return FReal.MemoryPressure(); }

private:
    ISystemInfo& FReal;
};

// A memory group far too small for what its one process reads over and over: every pass has to reclaim
// the group's page cache, and the kernel counts that time as memory pressure. Removed with its process.
class TTightGroup {
public:
    ~TTightGroup() { Stop(); }

    // Why it cannot be made here; empty when it runs.
    QString Start(const QString& file) {
        if (geteuid() != 0) return u"memory groups need root"_qs;
        if (!QFileInfo::exists(MemoryCgroups + u"/memory.limit_in_bytes"_qs))
            return u"no cgroup v1 memory controller at /sys/fs/cgroup/memory"_qs;
        FPath = MemoryCgroups + u"/kestrum-pressure-test-%1"_qs.arg(getpid());
        if (!QDir().mkdir(FPath)) return u"cannot make "_qs + FPath;
        if (!WriteFile(u"memory.limit_in_bytes"_qs, QByteArray::number(16 << 20))) return u"cannot set the limit"_qs;
        const QByteArray procs = (FPath + u"/cgroup.procs"_qs).toLocal8Bit();
        const QByteArray path = file.toLocal8Bit();
        FPid = fork();
        if (FPid == 0) {
            int fd = open(procs.constData(), O_WRONLY);
            if (fd < 0 || write(fd, "0", 1) != 1) _exit(3); // "0": the writing process itself
            close(fd);
            char buf[1 << 16];
            for (;;) {
                int in = open(path.constData(), O_RDONLY);
                if (in < 0) _exit(4);
                while (read(in, buf, sizeof buf) > 0) {
                }
                close(in);
            }
        }
        return FPid > 0 ? QString() : u"fork failed"_qs;
    }
    void Stop() {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
            FPid = -1;
        }
        if (!FPath.isEmpty()) {
            QDir().rmdir(FPath);
            FPath.clear();
        }
    }
    pid_t Pid() const { return FPid; }

private:
    bool WriteFile(const QString& name, const QByteArray& value) {
        QFile f(FPath + u'/' + name);
        return f.open(QIODevice::WriteOnly) && f.write(value) == value.size();
    }
    QString FPath;
    pid_t FPid = -1;
};

// A file on a real file system (page cache that can be reclaimed, unlike tmpfs), out of the cache.
QString MakeFile(int mib) {
    const QString path = u"/var/tmp/kestrum-pressure-test-%1.bin"_qs.arg(getpid());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return {};
    std::mt19937_64 random(42);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < mib; ++i) {
        for (qsizetype k = 0; k + 8 <= block.size(); k += 8) *reinterpret_cast<uint64_t*>(block.data() + k) = random();
        f.write(block);
    }
    f.flush();
    fdatasync(f.handle());
    posix_fadvise(f.handle(), 0, 0, POSIX_FADV_DONTNEED);
    return path;
}

} // namespace

TEST(PressureCgroup, RealPressureRisesAndTheWarningComesOnce) {
    test::EnsureQtApp();
    auto real = MakeLinuxSystemInfo("/proc");
    const auto first = real->MemoryPressure();
    if (!first) GTEST_SKIP() << "this kernel does not report memory pressure (/proc/pressure/memory)";
    const QString file = MakeFile(64);
    ASSERT_FALSE(file.isEmpty());
    struct TRemove {
        QString Path;
        ~TRemove() { QFile::remove(Path); }
    } remove{file};
    TTightGroup group;
    if (const QString why = group.Start(file); !why.isEmpty()) GTEST_SKIP() << why.toStdString();

    TLowMemoryView view(*real);
    TSystemStatus status(view);
    auto clock = MakeLinuxClock();
    auto processes = MakeLinuxProcesses("/proc");
    TKSPressureMonitor monitor(status, *clock, *processes);
    TKSPressureSettings settings;
    // The lowest level: a loaded machine (tests run two at a time) gives the group less time to wait in.
    settings.WarnLevel = 1;
    monitor.SetSettings(settings);
    TOrvMultiLangs langs;
    MultiLangsMakeDefault(&langs);
    QStringList warnings;
    QObject::connect(&monitor, &TKSPressureMonitor::WarningDue,
                     [&](const QString&, const QString& text, const QString&) { warnings << text; });

    double highest = 0;
    int afterWarning = 0;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(20) && afterWarning < 3) {
        QThread::msleep(1000);
        status.RefreshMemory();
        ASSERT_TRUE(status.RefreshPressure());
        highest = std::max(highest, status.Pressure()->Some.Avg10);
        monitor.Sample(langs);
        if (!warnings.isEmpty()) ++afterWarning;
    }
    const auto last = *status.Pressure();
    group.Stop();

    EXPECT_GT(last.Some.Total, first->Some.Total); // tasks waited for memory meanwhile
    EXPECT_GE(highest, settings.WarnLevel) << "pressure rose only to " << highest << " %";
    ASSERT_EQ(warnings.size(), 1) << "pressure stayed up for " << afterWarning << " more samples";
    EXPECT_TRUE(warnings[0].contains(u"1.00 GB"_qs) || warnings[0].contains(u"1,024.00 MB"_qs))
        << warnings[0].toStdString();
    EXPECT_TRUE(monitor.Warning().InEpisode());
}
