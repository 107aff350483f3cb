#include <gtest/gtest.h>

#include <algorithm>

#include "Fixtures.h"
#include "platform/ISystemInfo.h"
#include "platform/linux/ProcMaps.h"
#include "platform/linux/ProcMeminfo.h"
#include "platform/linux/ProcPid.h"
#include "platform/linux/ProcStat.h"

using namespace kestrum::platform;
using namespace kestrum::platform::proc;
using kestrum::test::FixturePath;
using kestrum::test::ReadFixture;

TEST(ProcStat, ParsesSixtyFourProcessorsAndBootTime) {
    auto stat = ParseProcStat(ReadFixture("stat64_a"));
    ASSERT_TRUE(stat);
    ASSERT_EQ(stat->Cpus.size(), 64u);
    EXPECT_EQ(stat->Total.User, 66016u);
    EXPECT_EQ(stat->Total.Idle, 5760000u);
    EXPECT_EQ(stat->Cpus[63].User, 1063u);
    EXPECT_EQ(stat->Cpus[63].Softirq, 7u);
    EXPECT_EQ(stat->BootTime, 1765000000u);
}

TEST(ProcStat, RejectsTextWithoutAggregateLine) {
    EXPECT_FALSE(ParseProcStat("cpu0 1 2 3 4\nbtime 5\n"));
    EXPECT_FALSE(ParseProcStat(""));
    EXPECT_FALSE(ParseProcStat("cpu  1 2 x\n"));
    // Kernels before 2.6 had four fields only.
    auto old = ParseProcStat("cpu  1 2 3 4\ncpu0 1 2 3 4\n");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->Cpus[0].Idle, 4u);
    EXPECT_EQ(old->Cpus[0].Iowait, 0u);
}

TEST(ProcStat, SampleUsesOneClockForTotalsAndIdle) {
    auto stat = ParseProcStat("cpu  10 1 4 80 5 2 3 1 9 9\ncpu0 6 1 2 38 3 1 2 1\ncpu1 4 0 2 42 2 1 1 0\n");
    ASSERT_TRUE(stat);
    TProcessorSample s = ToProcessorSample(*stat, 100);
    const int64_t unit = 100000; // one tick of 1/100 s in 100-ns units
    // Guest fields (the 9s) are already inside user time and must not count twice.
    EXPECT_EQ(s.CurrentTime, (10 + 1 + 4 + 80 + 5 + 2 + 3 + 1) * unit / 2);
    EXPECT_EQ(s.IdleProcessTime, (80 + 5) * unit);
    ASSERT_EQ(s.Processors.size(), 2u);
    EXPECT_EQ(s.Processors[0].IdleTime, (38 + 3) * unit);
    EXPECT_EQ(s.Processors[0].KernelTime, (2 + 38 + 3 + 1) * unit); // system + idle + iowait + steal
    EXPECT_EQ(s.Processors[0].UserTime, 7 * unit);
    EXPECT_EQ(s.Processors[0].DpcTime, 2 * unit);
    EXPECT_EQ(s.Processors[0].InterruptTime, 1 * unit);
}

TEST(ProcMeminfo, KeepsFiguresAboveFourGiB) {
    auto m = ParseMeminfo(ReadFixture("meminfo_64g"));
    ASSERT_TRUE(m);
    TPerformanceInfo p = ToPerformanceInfo(*m);
    EXPECT_EQ(p.PageSize, 1024u);
    EXPECT_EQ(p.PhysicalTotal * p.PageSize, 65849232ull * 1024);
    EXPECT_EQ(p.PhysicalAvailable, 41234560u);
    EXPECT_EQ(p.SystemCache, 28765432u + 812344u);
    EXPECT_EQ(p.CommitLimit, 65849232u + 8388604u); // not the kernel's overcommit CommitLimit
    EXPECT_EQ(p.CommitTotal, 23456789u);
    EXPECT_EQ(p.KernelPaged, 1500000u);
    EXPECT_EQ(p.KernelNonpaged, 600000u + 45678u + 123456u);
    EXPECT_EQ(p.KernelTotal, p.KernelPaged + p.KernelNonpaged);
}

TEST(ProcMeminfo, FallsBackWithoutMemAvailableAndFailsWithoutTotal) {
    auto m = ParseMeminfo("MemTotal: 1000 kB\nMemFree: 100 kB\nBuffers: 20 kB\nCached: 300 kB\n");
    ASSERT_TRUE(m);
    EXPECT_EQ(ToPerformanceInfo(*m).PhysicalAvailable, 420u);
    EXPECT_FALSE(ParseMeminfo("MemFree: 100 kB\n"));
}

TEST(ProcMaps, SkipsSpecialAndKernelMappingsAndSplitsLargeOnes) {
    auto ranges = ParseMapsForPageout(ReadFixture("maps_sample"));
    auto has = [&](uint64_t start) {
        return std::any_of(ranges.begin(), ranges.end(), [&](const TRange& r) { return r.Start == start; });
    };
    EXPECT_EQ(ranges.size(), 10u); // 14 lines: vvar, vvar_vclock, vsyscall and the junk line left out
    EXPECT_TRUE(has(0x55d0c0a00000));
    EXPECT_TRUE(has(0x7ffd5a9fa000)); // vdso stays; the kernel decides about it
    EXPECT_FALSE(has(0x7ffd5a9f4000));
    EXPECT_FALSE(has(0x7ffd5a9f8000));
    EXPECT_FALSE(has(0xffffffffff600000));

    auto entries = SplitLargeRanges(ranges);
    for (const auto& e : entries) {
        EXPECT_LE(e.Length, kMaxCallBytes);
        EXPECT_EQ(e.Start % 4096, 0u);
    }
    uint64_t big = 0;
    for (const auto& e : entries)
        if (e.Start >= 0x7f1200000000 && e.Start < 0x7f1300000000) big += e.Length;
    EXPECT_EQ(big, 0x100000000u);

    // A page-out's entries: small, back to back, nothing lost or doubled.
    const auto small = SplitLargeRanges(ranges, kPageoutEntryBytes);
    uint64_t total = 0, smallTotal = 0;
    for (const auto& r : ranges) total += r.Length;
    for (size_t i = 0; i < small.size(); ++i) {
        EXPECT_LE(small[i].Length, kPageoutEntryBytes);
        EXPECT_EQ(small[i].Start % 4096, 0u);
        if (i > 0) EXPECT_GE(small[i].Start, small[i - 1].Start + small[i - 1].Length); // in order, no overlap
        smallTotal += small[i].Length;
    }
    EXPECT_EQ(smallTotal, total);
}

TEST(ProcMaps, BatchesRespectEntryAndByteLimits) {
    std::vector<TRange> many(2500, TRange{0x1000, 0x1000});
    EXPECT_EQ(BatchSize(many, 0), kMaxBatchEntries);
    EXPECT_EQ(BatchSize(many, 2048), 452u);
    EXPECT_EQ(BatchSize(many, 2500), 0u);

    std::vector<TRange> large = {{0, 0x40000000}, {0, 0x40000000}, {0, 0x1000}};
    EXPECT_EQ(BatchSize(large, 0, kMaxBatchBytes), 1u); // two of them would pass 0x7ffff000
    EXPECT_EQ(BatchSize(large, 1, kMaxBatchBytes), 2u);

    // A page-out call: 16 MiB of the small entries; an entry larger than that still goes, alone.
    std::vector<TRange> chosen(100, TRange{0, kPageoutEntryBytes});
    EXPECT_EQ(BatchSize(chosen, 0), size_t(kMaxCallBytes / kPageoutEntryBytes));
    EXPECT_EQ(BatchSize(chosen, 64), 36u);
    EXPECT_EQ(BatchSize(large, 0), 1u);
    EXPECT_EQ(BatchSize(large, 1), 1u);

    // A partial count names the entry the kernel stopped at.
    std::vector<TRange> e = {{0, 0x1000}, {0, 0x2000}, {0, 0x1000}, {0, 0x1000}};
    EXPECT_EQ(EntryAtOffset(e, 0, 4, 0), 0u);
    EXPECT_EQ(EntryAtOffset(e, 0, 4, 0x1000), 1u);
    EXPECT_EQ(EntryAtOffset(e, 0, 4, 0x3000), 2u);
    EXPECT_EQ(EntryAtOffset(e, 1, 3, 0x2000), 2u);
}

TEST(ProcPid, SmallParsers) {
    auto statm = ParseStatm("5000 1200 300 10 0 900 0\n");
    ASSERT_TRUE(statm);
    EXPECT_EQ(statm->Resident, 1200u);
    EXPECT_EQ(statm->Anon(), 900u);
    EXPECT_FALSE(ParseStatm("garbage"));

    EXPECT_TRUE(IsKernelThreadStat(ReadFixture("proc/2/stat")));
    EXPECT_FALSE(IsKernelThreadStat(ReadFixture("proc/1/stat")));
    EXPECT_FALSE(IsKernelThreadStat(ReadFixture("proc/1234/stat"))); // ")" inside the name
    EXPECT_FALSE(IsKernelThreadStat(""));

    EXPECT_EQ(ExeNameFromLink("/opt/app/notepad.exe (deleted)"), "notepad.exe");
    EXPECT_EQ(ExeNameFromLink("/usr/bin/firefox-esr"), "firefox-esr");
    EXPECT_EQ(CleanExeLink("/a/b (deleted)"), "/a/b");

    EXPECT_EQ(CgroupV2Path("12:memory:/x\n0::/user.slice/app-1.scope\n"), "/user.slice/app-1.scope");
    EXPECT_FALSE(CgroupV2Path("4:memory:/x\n"));
    EXPECT_FALSE(CgroupV2Path("0::/gone (deleted)\n"));

    EXPECT_EQ(CgroupV2Mount("30 1 0:26 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw\n"), "/sys/fs/cgroup");
    EXPECT_EQ(CgroupV2Mount("31 25 0:27 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw,nsdelegate\n"),
              "/sys/fs/cgroup/unified");
    EXPECT_FALSE(CgroupV2Mount("32 25 0:28 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n"));
    EXPECT_FALSE(CgroupV2Mount("33 25 0:26 /sub /mnt rw - cgroup2 cgroup2 rw\n"));

    EXPECT_TRUE(CgroupWithin("/a/b", "/a"));
    EXPECT_TRUE(CgroupWithin("/a", "/a"));
    EXPECT_TRUE(CgroupWithin("/a", "/"));
    EXPECT_FALSE(CgroupWithin("/ab", "/a"));
    EXPECT_FALSE(CgroupWithin("/a", "/a/b"));

    EXPECT_EQ(MeminfoWritebackKb(ReadFixture("meminfo_64g")), 0u);
    EXPECT_EQ(MeminfoWritebackKb("MemTotal: 1 kB\nWriteback:    4096 kB\n"), 4096u);
}

TEST(ProcSwaps, PagesGoToTheAreaOfHighestPriorityWithRoom) {
    const std::string head = "Filename\t\t\t\tType\t\tSize\t\tUsed\t\tPriority\n";
    const struct {
        const char* Name;
        std::string Areas;
        bool Disk;
    } cases[] = {
        {"no swap", "", false},
        {"zram only", "/dev/zram0                              partition\t8388604\t\t0\t\t100\n", false},
        {"a file", "/var/tmp/swapfile                       file\t\t4194300\t\t12\t\t-2\n", true},
        {"zram before the file",
         "/swapfile                               file\t\t4194300\t\t0\t\t-2\n"
         "/dev/zram0                              partition\t8388604\t\t0\t\t100\n",
         false},
        {"the file first by priority",
         "/dev/zram0                              partition\t8388604\t\t0\t\t5\n"
         "/var/tmp/kestrum-stall.x/swapfile       file\t\t4194300\t\t0\t\t32767\n",
         true},
        {"zram full", "/dev/zram0 partition 1000 1000 100\n/dev/vda2 partition 4000 0 -2\n", true},
        {"a broken line is passed over", "/dev/sda2 partition lots 0 -2\n/dev/zram0 partition 10 0 -3\n", false},
    };
    for (const auto& c : cases) EXPECT_EQ(SwapGoesToDisk(head + c.Areas), c.Disk) << c.Name;
}

TEST(ProcPid, StartTimeAndCountersTheFreeingRunWatches) {
    EXPECT_EQ(StatStartTime("77 (a) b) c) S 1 77 77 0 -1 4194560 1 0 0 0 2 3 0 0 20 0 1 0 123456 9 8\n"), 123456u);
    EXPECT_FALSE(StatStartTime(ReadFixture("proc/1234/stat"))); // cut short before the field
    EXPECT_FALSE(StatStartTime(""));

    auto m = ParseMeminfo(ReadFixture("meminfo_64g"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->SwapCached, 12345u);
    EXPECT_EQ(m->SwapFree, 8000000u);
    EXPECT_EQ(m->Writeback, 0u);

    const char* node = "Node 1 MemTotal:  100 kB\nNode 1 Active(anon):  7 kB\nNode 1 Inactive(anon):   4096 kB\n";
    EXPECT_EQ(NodeMeminfoKb(node, "Inactive(anon)"), 4096u);
    EXPECT_EQ(NodeMeminfoKb(node, "Active(anon)"), 7u);
    EXPECT_FALSE(NodeMeminfoKb(node, "anon)"));
    EXPECT_FALSE(NodeMeminfoKb("", "MemTotal"));
}

TEST(ProcMaps, SmapsGivesResidentAndReferencedPerMapping) {
    const char* smaps =
        "55d0c0a00000-55d0c0a21000 r-xp 00000000 08:01 131 /usr/bin/app\n"
        "Size:                132 kB\n"
        "Rss:                 128 kB\n"
        "Referenced:          128 kB\n"
        "Anonymous:             0 kB\n"
        "VmFlags: rd ex mr mw me dw\n"
        "7f1200000000-7f1240000000 rw-p 00000000 00:00 0 \n"
        "Rss:             1048576 kB\n"
        "Referenced:         2048 kB\n"
        "Anonymous:       1048576 kB\n"
        "7ffd5a9f4000-7ffd5a9f8000 r--p 00000000 00:00 0                          [vvar]\n"
        "Rss:                   0 kB\n"
        "Referenced:            0 kB\n"
        "7ffd5a9fa000-7ffd5a9fc000 r-xp 00000000 00:00 0                          [vdso]\n"
        "Rss:                   4 kB\n"
        "ffffffffff600000-ffffffffff601000 --xp 00000000 00:00 0                  [vsyscall]\n"
        "Rss:                   4 kB\n";
    const auto m = ParseSmapsForPageout(smaps);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].Range, (TAddressRange{0x55d0c0a00000, 0x21000}));
    EXPECT_EQ(m[0].Resident, 128u * 1024);
    EXPECT_EQ(m[0].Referenced, 128u * 1024);
    EXPECT_EQ(m[1].Resident, 1ull << 30);
    EXPECT_EQ(m[1].Referenced, 2048u * 1024);
    EXPECT_EQ(m[1].Anonymous, 1ull << 30);
    EXPECT_EQ(m[2].Range.Start, 0x7ffd5a9fa000u); // vdso; the special ones' figures do not leak into it
    EXPECT_EQ(m[2].Resident, 4096u);
    EXPECT_TRUE(ParseSmapsForPageout("Rss: 4 kB\ngarbage\n").empty());
}

TEST(ProcPid, ParentSwapAndControlGroups) {
    using namespace kestrum::platform::proc;
    EXPECT_EQ(StatParentId("4242 (a (b) c) S 17 4242 4242 0 -1 4194304"), 17u);
    EXPECT_FALSE(StatParentId("garbage").has_value());
    EXPECT_EQ(StatusSwapKb("Name:\tx\nVmRSS:\t  100 kB\nVmSwap:\t    2048 kB\n"), 2048u);
    EXPECT_FALSE(StatusSwapKb("Name:\tkthreadd\n").has_value());
    // cgroup v1 lines with controllers, and a v2 line whose path holds a colon.
    EXPECT_EQ(CgroupPaths("12:cpu,cpuacct:/user.slice\n1:name=systemd:/user.slice/app-x-1.scope\n0::/a:b\n"),
              (std::vector<std::string>{"/user.slice", "/user.slice/app-x-1.scope", "/a:b"}));
}
