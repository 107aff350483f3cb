// The running names behind the foreground ranking: read once per process where the backend tells reused
// ids apart, and still right when processes come, go, reuse an id or replace their program.
#include <gtest/gtest.h>

#include "engine/KSRunningNames.h"
#include "platform/fake/FakeProcesses.h"

using namespace kestrum;

namespace {

// A process list with instance numbers, counting the links read.
class TInstanceProcesses : public platform::IProcesses {
public:
    std::map<uint32_t, std::pair<uint64_t, std::string>> Table; // id -> (instance, executable path)
    int PathReads = 0;
    std::optional<std::vector<platform::TProcessEntry>> Snapshot() override { return std::nullopt; }
    std::optional<std::vector<platform::TProcessInstance>> ProcessInstances() override {
        std::vector<platform::TProcessInstance> out;
        for (const auto& [pid, e] : Table) out.push_back({pid, e.first});
        return out;
    }
    std::string ExecutablePath(uint32_t pid) override { return ++PathReads, Table[pid].second; }
    platform::TTrimResult TrimWorkingSet(uint32_t) override { return {}; }
    uint32_t CurrentProcessId() override { return 1; }
};

} // namespace

TEST(KSRunningNames, ReadsEachProcessOnceAndFollowsChanges) {
    TInstanceProcesses p;
    p.Table = {{100, {1, "/usr/bin/Firefox"}}, {2, {2, ""}}}; // 2: a kernel thread
    TKSRunningNames names(p);
    EXPECT_EQ(names.Names(), (QSet<QString>{u"firefox"_qs}));
    EXPECT_EQ(p.PathReads, 2);
    EXPECT_EQ(names.Names(), (QSet<QString>{u"firefox"_qs}));
    EXPECT_LE(p.PathReads, 3); // at most a recheck

    p.Table[100] = {7, "/usr/bin/vim"}; // the id reused by another process
    p.Table[300] = {8, "/opt/app/Notepad.exe"};
    EXPECT_EQ(names.Names(), (QSet<QString>{u"vim"_qs, u"notepad.exe"_qs}));
    p.Table.erase(300);
    EXPECT_EQ(names.Names(), (QSet<QString>{u"vim"_qs}));

    // Same id and instance, another program (exec): seen within a round of rechecks.
    p.Table[100].second = "/usr/bin/gimp";
    bool seen = false;
    for (uint32_t i = 0; i < TKSRunningNames::RecheckEvery && !seen; ++i) seen = names.Names()->contains(u"gimp"_qs);
    EXPECT_TRUE(seen);
}

TEST(KSRunningNames, WithoutInstancesEveryQuestionTakesASnapshot) {
    platform::TFakeProcesses p; // its instances are all 0
    p.Processes = {{1, "Code", false}, {2, "kworker/0:1", true}};
    TKSRunningNames names(p);
    EXPECT_EQ(names.Names(), (QSet<QString>{u"code"_qs, u"kworker/0:1"_qs}));
    p.Processes[0].ExeName = "bash";
    EXPECT_EQ(names.Names(), (QSet<QString>{u"bash"_qs, u"kworker/0:1"_qs}));
    p.SnapshotFails = true;
    EXPECT_FALSE(names.Names().has_value());
}
