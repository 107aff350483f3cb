#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "common/TestHome.h"
#include "platform/IProcesses.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

// A /proc with a cgroup v2 mount whose hierarchy is a plain folder: the reclaim requests land in files.
class ReclaimTest : public ::testing::Test {
protected:
    void SetUp() override {
        Put("proc/self/mountinfo",
            "25 1 0:26 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n"
            "30 1 0:27 / " +
                Home.File("cg").toStdString() + " rw - cgroup2 cgroup2 rw\n");
        for (const char* dir :
             {"cg", "cg/user", "cg/user/app-a", "cg/user/app-b", "cg/user/keep", "cg/svc", "cg/svc/x"})
            QDir().mkpath(Home.File(dir));
        for (const char* file :
             {"cg/memory.reclaim", "cg/user/memory.reclaim", "cg/user/app-a/memory.reclaim", "cg/svc/memory.reclaim"})
            Put(file, "");
        Cgroup(10, "/user/app-a");
        Cgroup(11, "/user/app-a");
        Cgroup(12, "/user/app-b"); // no reclaim of its own; its parent holds the spared process
        Cgroup(13, "/svc/x");      // no reclaim of its own; its parent does
        Cgroup(30, "/user/keep");
    }
    void Put(const QString& relative, const std::string& text) {
        QDir().mkpath(QFileInfo(Home.File(relative)).path());
        QFile f(Home.File(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }
    void Cgroup(int pid, const std::string& path) {
        Put(QString("proc/%1/cgroup").arg(pid), "4:memory:/whatever\n0::" + path + "\n");
    }
    QByteArray Read(const QString& relative) {
        QFile f(Home.File(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    test::TTestHome Home;
};

} // namespace

TEST_F(ReclaimTest, AsksEachCgroupForWhatItsProcessesPushedOutAndSparesProtectedOnes) {
    auto processes = MakeLinuxProcesses(Home.File("proc").toStdString());
    TReclaimResult r = processes->ReclaimPushedOut({{10, 100 << 20},
                                                    {11, 50 << 20},
                                                    {12, 40 << 20},
                                                    {13, 70 << 20},
                                                    {14, 5 << 20}}, // 14 has no cgroup file: left alone
                                                   {30});
    EXPECT_TRUE(r.Available);
    EXPECT_EQ(r.BytesRequested, 220u << 20);
    EXPECT_EQ(r.BytesDone, 220u << 20);
    EXPECT_EQ(Read("cg/user/app-a/memory.reclaim"), QByteArray::number(150 << 20) + " swappiness=200");
    EXPECT_EQ(Read("cg/svc/memory.reclaim"), QByteArray::number(70 << 20) + " swappiness=200");
    EXPECT_EQ(Read("cg/user/memory.reclaim"), "");
    EXPECT_EQ(Read("cg/memory.reclaim"), "");
}

TEST_F(ReclaimTest, RootOnlyWhenNothingIsSparedAndNothingWithoutCgroupTwo) {
    QFile::remove(Home.File("cg/svc/memory.reclaim"));
    auto processes = MakeLinuxProcesses(Home.File("proc").toStdString());
    processes->ReclaimPushedOut({{13, 70 << 20}}, {});
    EXPECT_EQ(Read("cg/memory.reclaim"), QByteArray::number(70 << 20) + " swappiness=200");

    Put("cg/memory.reclaim", "");
    processes->ReclaimPushedOut({{13, 70 << 20}}, {30}); // the root holds the spared process
    EXPECT_EQ(Read("cg/memory.reclaim"), "");

    Put("proc/self/mountinfo", "25 1 0:26 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n");
    TReclaimResult r = processes->ReclaimPushedOut({{10, 100}}, {});
    EXPECT_FALSE(r.Available);
    EXPECT_EQ(r.BytesRequested, 0u);
}

// Per-node reclaim and the free-list release on a fixture /sys and /proc.
TEST_F(ReclaimTest, NodeReclaimSharesTheRequestByInactiveAnonymousMemory) {
    auto processes = MakeLinuxProcesses(Home.File("proc").toStdString(), Home.File("sys").toStdString());
    EXPECT_FALSE(processes->ReclaimFromNodes(0).Available); // no node folder at all
    EXPECT_FALSE(processes->ReleaseFreeListPages());

    Put("sys/devices/system/node/node0/reclaim", "");
    Put("sys/devices/system/node/node0/meminfo", "Node 0 Inactive(anon):  300 kB\n");
    Put("sys/devices/system/node/node1/reclaim", "");
    Put("sys/devices/system/node/node1/meminfo", "Node 1 Inactive(anon):  100 kB\n");
    Put("sys/devices/system/node/node2/meminfo", "Node 2 Inactive(anon):  100 kB\n"); // no reclaim file
    Put("sys/devices/system/node/possible", "0-2\n");
    TReclaimResult probe = processes->ReclaimFromNodes(0);
    EXPECT_TRUE(probe.Available);
    EXPECT_EQ(Read("sys/devices/system/node/node0/reclaim"), ""); // the probe writes nothing

    TReclaimResult r = processes->ReclaimFromNodes(400 << 20);
    EXPECT_TRUE(r.Available);
    EXPECT_EQ(r.BytesRequested, 400u << 20);
    EXPECT_EQ(r.BytesDone, 400u << 20);
    EXPECT_EQ(Read("sys/devices/system/node/node0/reclaim"), QByteArray::number(300 << 20) + " swappiness=max");
    EXPECT_EQ(Read("sys/devices/system/node/node1/reclaim"), QByteArray::number(100 << 20) + " swappiness=max");

    Put("proc/sys/vm/stat_refresh", "");
    EXPECT_TRUE(processes->ReleaseFreeListPages());
    EXPECT_EQ(Read("proc/sys/vm/stat_refresh"), "1");
}
