#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "Fixtures.h"
#include "engine/Services.h"
#include "engine/SystemStatus.h"
#include "platform/IProcesses.h"
#include "platform/IServiceManager.h"
#include "platform/ISystemInfo.h"
#include "platform/ISystemParameters.h"
#include "platform/fake/FakeClock.h"

using namespace kestrum;
using namespace kestrum::platform;
using kestrum::test::FixturePath;

TEST(LinuxProcesses, SnapshotOfFixtureFolder) {
    auto processes = MakeLinuxProcesses(FixturePath("proc"));
    auto snap = processes->Snapshot();
    ASSERT_TRUE(snap);
    std::sort(snap->begin(), snap->end(), [](auto& a, auto& b) { return a.ProcessId < b.ProcessId; });
    ASSERT_EQ(snap->size(), 4u); // "net", "sys" and the files are not processes
    EXPECT_EQ((*snap)[0].ProcessId, 1u);
    EXPECT_EQ((*snap)[0].ExeName, "systemd");
    EXPECT_FALSE((*snap)[0].KernelThread);
    EXPECT_EQ((*snap)[1].ExeName, "kthreadd"); // no exe link: the comm name
    EXPECT_TRUE((*snap)[1].KernelThread);
    EXPECT_EQ((*snap)[2].ExeName, "zombie");
    EXPECT_FALSE((*snap)[2].KernelThread);
    EXPECT_EQ((*snap)[3].ExeName, "notepad.exe"); // " (deleted)" dropped

    EXPECT_EQ(processes->ExecutablePath(1234), "/opt/app/notepad.exe");
    EXPECT_EQ(processes->ExecutablePath(2), "");
    EXPECT_EQ(processes->ExecutablePath(0), "");

    EXPECT_FALSE(MakeLinuxProcesses(FixturePath("no-such-folder"))->Snapshot());
}

TEST(LinuxSystemInfo, SamplerOnFixtureFolder) {
    auto info = MakeLinuxSystemInfo(FixturePath("proc"));
    ASSERT_EQ(info->ProcessorCount(), 64u);
    ASSERT_TRUE(info->BootTime());
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(info->BootTime()->time_since_epoch()).count(),
              1765000000);

    TSystemStatus status(*info);
    EXPECT_EQ(status.ProcessorCount(), 64u);
    ASSERT_TRUE(status.RefreshMemory());
    EXPECT_EQ(status.PhysicalTotal(), 65849232ll * 1024);
    EXPECT_EQ(status.PhysicalAvailable(), 41234560ll * 1024);
    EXPECT_EQ(status.CommitLimit(), (65849232ll + 8388604ll) * 1024);
    EXPECT_EQ(status.CommitTotal(), 23456789ll * 1024);
    EXPECT_EQ(status.CommitPeak(), 23456789ll * 1024);
    EXPECT_EQ(status.HandleCount(), 7712u);
    EXPECT_EQ(status.ThreadCount(), 1047u);
    EXPECT_EQ(status.ProcessCount(), 4u);
    // A caller that shows no counts does not walk the process table for them.
    auto quiet = MakeLinuxSystemInfo(FixturePath("proc"));
    quiet->SetCountsWanted(false);
    TSystemStatus uncounted(*quiet);
    ASSERT_TRUE(uncounted.RefreshMemory());
    EXPECT_EQ(uncounted.PhysicalTotal(), 65849232ll * 1024);
    EXPECT_EQ(uncounted.ProcessCount(), 0u);
    EXPECT_EQ(uncounted.ThreadCount(), 0u);

    EXPECT_TRUE(status.RefreshCPU());
    EXPECT_EQ(status.GetCPUUsage(0), 0u);
    // The same counters again: no time has passed, so the quotient fails.
    EXPECT_FALSE(status.RefreshCPU());

    auto missing = MakeLinuxSystemInfo(FixturePath("no-such-folder"));
    EXPECT_FALSE(missing->ProcessorCount());
    EXPECT_FALSE(missing->PerformanceInfo());
    TSystemStatus fallback(*missing);
    EXPECT_EQ(fallback.ProcessorCount(), 1u);
    EXPECT_FALSE(fallback.RefreshMemory());
    EXPECT_FALSE(fallback.RefreshCPU());
}

TEST(LinuxSystemInfo, RealSystemGivesSaneFigures) {
    auto info = MakeLinuxSystemInfo("/proc");
    TSystemStatus status(*info);
    ASSERT_GE(status.ProcessorCount(), 1u);
    ASSERT_TRUE(status.RefreshMemory());
    EXPECT_GT(status.PhysicalTotal(), 0);
    EXPECT_LE(status.PhysicalAvailable(), status.PhysicalTotal());
    EXPECT_GE(status.CommitPeak(), status.CommitTotal());
    EXPECT_GT(status.ProcessCount(), 0u);
}

TEST(LinuxServiceManager, WithoutSystemdEveryServiceIsUnknown) {
    struct stat st {};
    if (::stat("/run/systemd/system", &st) == 0) GTEST_SKIP() << "systemd runs here; starting units is not tested";
    auto services = MakeLinuxServiceManager();
    TFakeClock clock;
    EXPECT_FALSE(TServices::StartServiceAndWait(*services, clock, "Themes", 1000));
    EXPECT_EQ(clock.SleptMs, 0u);
    const TServiceHandle scm = services->OpenManager();
    ASSERT_NE(scm, 0u);
    EXPECT_EQ(services->OpenService(scm, "Themes"), 0u);
    EXPECT_FALSE(services->QueryStatus(scm)); // a manager handle is no service
    services->CloseHandle(scm);
}

TEST(LinuxSystemParameters, RecordsWithoutTouchingTheDesktop) {
    auto parameters = MakeLinuxSystemParameters("");
    EXPECT_TRUE(parameters->SetSystemParameter({0x1015, 0, 0, {}, 0}));
}
