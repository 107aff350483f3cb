#include <gtest/gtest.h>

#include "engine/SystemStatus.h"
#include "platform/ISystemInfo.h"
#include "platform/fake/FakeSystemInfo.h"
#include "platform/linux/ProcPressure.h"

using namespace kestrum;
using namespace kestrum::platform;
using namespace kestrum::platform::proc;

namespace {

std::string Fixture(const char* name) {
    return std::string(KESTRUM_FIXTURES) + "/pressure/" + name;
}

struct TPressureCase {
    const char* Name;
    const char* Text;
    bool Parsed;
    double Some10;
    uint64_t SomeTotal;
    bool HasFull;
    double Full10;
};

} // namespace

TEST(PressureParser, KernelsAndDamagedText) {
    const TPressureCase cases[] = {
        // 4.20 introduced the file; its lines look the same in every kernel since.
        {"4.20 idle",
         "some avg10=0.00 avg60=0.00 avg300=0.00 total=0\nfull avg10=0.00 avg60=0.00 avg300=0.00 total=0\n", true, 0.0,
         0, true, 0.0},
        {"6.x under pressure",
         "some avg10=37.52 avg60=12.08 avg300=3.11 total=18446744073709551615\n"
         "full avg10=21.40 avg60=6.75 avg300=1.02 total=402345678\n",
         true, 37.52, 18446744073709551615ull, true, 21.40},
        {"no full line", "some avg10=5.10 avg60=1.00 avg300=0.20 total=77\n", true, 5.10, 77, false, 0},
        {"no trailing newline", "some avg10=100.00 avg60=99.99 avg300=98.00 total=5", true, 100.0, 5, false, 0},
        {"an unknown later field is skipped",
         "some avg10=1.50 avg60=0.00 avg300=0.00 total=9 avg1200=0.10\nfull avg10=0.25 avg60=0 avg300=0 total=1\n",
         true, 1.50, 9, true, 0.25},
        {"damaged full line leaves full out",
         "some avg10=2.00 avg60=0.00 avg300=0.00 total=9\nfull avg10=x avg60=0.00 avg300=0.00 total=1\n", true, 2.0, 9,
         false, 0},
        {"full only", "full avg10=0.00 avg60=0.00 avg300=0.00 total=0\n", false, 0, 0, false, 0},
        {"total missing", "some avg10=2.00 avg60=0.00 avg300=0.00\n", false, 0, 0, false, 0},
        {"negative share", "some avg10=-1.00 avg60=0.00 avg300=0.00 total=0\n", false, 0, 0, false, 0},
        {"number with junk", "some avg10=2.00% avg60=0.00 avg300=0.00 total=0\n", false, 0, 0, false, 0},
        {"empty (kernel with the measure switched off)", "", false, 0, 0, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto p = ParsePressure(c.Text);
        ASSERT_EQ(p.has_value(), c.Parsed);
        if (!p) continue;
        EXPECT_DOUBLE_EQ(p->Some.Avg10, c.Some10);
        EXPECT_EQ(p->Some.Total, c.SomeTotal);
        ASSERT_EQ(p->Full.has_value(), c.HasFull);
        if (c.HasFull) {
            EXPECT_DOUBLE_EQ(p->Full->Avg10, c.Full10);
        }
    }
}

TEST(PressureParser, RefaultsOfOldAndNewKernels) {
    EXPECT_EQ(VmstatRefaults("nr_free_pages 5\nworkingset_refault 1234\nworkingset_activate 4\n"), 1234u);
    EXPECT_EQ(VmstatRefaults("workingset_nodes 7\nworkingset_refault_anon 10\nworkingset_refault_file 58478\n"
                             "workingset_activate_anon 3\n"),
              58488u);
    EXPECT_FALSE(VmstatRefaults("nr_free_pages 5\npgmajfault 9\n"));
}

TEST(PressureParser, ProactiveReclaimCountersNeedBoth) {
    const auto c = VmstatProactiveReclaim(
        "pgsteal_direct 3\npgsteal_proactive 53485741\npgscan_kswapd 0\n"
        "pgscan_proactive 67115685\npgscan_anon 9\n");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Scanned, 67115685u);
    EXPECT_EQ(c->Stolen, 53485741u);
    // An older kernel that does not count it apart, and a damaged figure.
    EXPECT_FALSE(VmstatProactiveReclaim("pgscan_direct 5\npgsteal_direct 4\n"));
    EXPECT_FALSE(VmstatProactiveReclaim("pgscan_proactive 5\npgsteal_proactive x\n"));
}

TEST(PressureParser, MajorFaultsCountFromTheNamesEnd) {
    // A name with spaces and a parenthesis in it must not shift the fields.
    EXPECT_EQ(StatMajorFaults("4321 (Web (Content) x) S 1 4321 4321 0 -1 4194560 91234 0 77 0 12 3 0 0 20 0 9\n"), 77u);
    EXPECT_FALSE(StatMajorFaults("4321 (cut) S 1 2"));
    EXPECT_FALSE(StatMajorFaults(""));
}

TEST(PressureBackend, ReadsTheFileAndSaysNothingWithoutIt) {
    auto k6 = MakeLinuxSystemInfo(Fixture("proc_k6"));
    auto p = k6->MemoryPressure();
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->Some.Avg10, 37.52);
    ASSERT_TRUE(p->Full);
    EXPECT_DOUBLE_EQ(p->Full->Avg10, 21.40);
    // Read again: the kept-open file gives the same figures.
    EXPECT_TRUE(k6->MemoryPressure());

    auto none = MakeLinuxSystemInfo(Fixture("proc_none"));
    EXPECT_FALSE(none->MemoryPressure());
    EXPECT_FALSE(none->MemoryPressure());
    // The rest of the sample does not depend on it.
    EXPECT_TRUE(none->PerformanceInfo());
}

TEST(PressureBackend, SamplerClearsFiguresThatCannotBeRead) {
    TFakeSystemInfo info;
    TSystemStatus status(info);
    EXPECT_FALSE(status.RefreshPressure());
    EXPECT_FALSE(status.Pressure());
    info.Pressure = TMemoryPressure{{12.5, 3, 1, 100}, std::nullopt};
    EXPECT_TRUE(status.RefreshPressure());
    ASSERT_TRUE(status.Pressure());
    EXPECT_DOUBLE_EQ(status.Pressure()->Some.Avg10, 12.5);
    info.Pressure.reset();
    EXPECT_FALSE(status.RefreshPressure());
    EXPECT_FALSE(status.Pressure()); // no stale figure after the file went away
}
