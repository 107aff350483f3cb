// Which processes a run on a caller's behalf may touch.
#include <errno.h>
#include <gtest/gtest.h>

#include "CallerScope.h"
#include "platform/fake/FakeProcesses.h"

using namespace kestrum::service;

TEST(CallerScope, ReadsHidePidFromTheProcMount) {
    const std::string plain =
        "22 1 0:5 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
        "23 1 0:6 / /sys rw - sysfs sysfs rw,hidepid=2\n";
    const std::string hidden = "22 1 0:5 / /proc rw,relatime shared:12 - proc proc rw,hidepid=2,gid=27\n";
    const std::string named = "22 1 0:5 / /proc rw - proc proc rw,hidepid=invisible\n";
    const std::string offAgain = named + "40 22 0:7 / /proc rw - proc proc rw,hidepid=0\n";
    const std::string elsewhere = "22 1 0:5 / /srv/proc rw - proc proc rw,hidepid=2\n";

    EXPECT_FALSE(ParseProcMount(plain, "/proc").HidePid);
    const TProcMount h = ParseProcMount(hidden, "/proc");
    EXPECT_TRUE(h.HidePid);
    EXPECT_EQ(h.Gid, 27u);
    EXPECT_TRUE(ParseProcMount(named, "/proc").HidePid);
    EXPECT_FALSE(ParseProcMount(offAgain, "/proc").HidePid) << "the last mount on /proc wins";
    EXPECT_FALSE(ParseProcMount(elsewhere, "/proc").HidePid);
    EXPECT_FALSE(ParseProcMount("garbage\n\n - \n", "/proc").HidePid);
}

TEST(CallerScope, CallerSeesWhatItsOwnProcShows) {
    constexpr uint64_t kHostNs = 4026531836, kContainerNs = 4026532999;
    constexpr uint32_t kServicePid = 500;
    // Callers of the second action, allowed to reach other users' processes.
    const TCaller user{1000, 4000, {1000, 27}, kHostNs, false};
    const TCaller root{0, 4001, {}, kHostNs, false};
    const TCaller boxed{1000, 4002, {}, kContainerNs, false};
    // Callers of the first: their own processes only.
    const TCaller ownUser{1000, 4000, {1000, 27}, kHostNs, true};
    const TCaller ownRoot{0, 4001, {}, kHostNs, true};
    const TProcMount open{}, hidePid{true, std::nullopt}, hidePidGroup{true, 27u};
    const TTarget own{4100, {1000, 1000, 1000}, kHostNs};
    const TTarget other{4200, {1001, 1001, 1001}, kHostNs};
    const TTarget setuidOwn{4300, {1000, 0, 0}, kHostNs};
    const TTarget inBox{4400, {1000, 1000, 1000}, kContainerNs};
    const TTarget service{kServicePid, {0, 0, 0}, kHostNs};

    struct TCase {
        const char* What;
        TCaller Caller;
        TProcMount Mount;
        TTarget Target;
        bool Sees;
    };
    const TCase cases[] = {
        {"open /proc: another user's process", user, open, other, true},
        {"hidepid: own process", user, hidePid, own, true},
        {"hidepid: another user's process", user, hidePid, other, false},
        {"hidepid: own but set-uid process", user, hidePid, setuidOwn, false},
        {"hidepid with the caller's group", user, hidePidGroup, other, true},
        {"hidepid: root sees all", root, hidePid, other, true},
        {"the service itself, even for root", root, open, service, false},
        {"caller in a container: host process", boxed, open, own, false},
        {"caller in a container: its own namespace", boxed, open, inBox, true},
        {"host caller: a container's process", user, open, inBox, true},
        {"own only: own process", ownUser, open, own, true},
        {"own only: another user's process", ownUser, open, other, false},
        {"own only: own but set-uid process", ownUser, open, setuidOwn, false},
        {"own only, root: another user's process", ownRoot, hidePid, other, false},
        {"own only, root: a system process", ownRoot, open, service, false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(CallerMaySee(c.Caller, c.Mount, kHostNs, kServicePid, c.Target), c.Sees) << c.What;
}

TEST(CallerScope, ScopedSnapshotLeavesOutTheServiceAndRefusesTheUnseen) {
    // Against the real /proc: this test process plays the service.
    kestrum::platform::TFakeProcesses inner;
    const uint32_t self = static_cast<uint32_t>(getpid());
    inner.Processes = {{self, "kestrum-freed", false}, {1, "init", false}, {2, "kthreadd", true}};
    TCaller caller = TCallerScopedProcesses::ReadCaller("/proc", getuid(), self);
    TCallerScopedProcesses scoped(inner, caller, "/proc");
    const auto snapshot = scoped.Snapshot();
    ASSERT_TRUE(snapshot);
    for (const auto& e : *snapshot) EXPECT_NE(e.ProcessId, self);
    EXPECT_EQ(scoped.TrimWorkingSet(self).Status, kestrum::platform::TTrimStatus::NoRight);
    EXPECT_EQ(scoped.TrimWorkingSet(999999).Status, kestrum::platform::TTrimStatus::NoRight) << "not in the snapshot";
    EXPECT_TRUE(inner.Trimmed.empty());
}

TEST(CallerScope, CountsOnlyWhatLeftMemoryAndStopsAtTheDeadline) {
    kestrum::platform::TFakeProcesses inner;
    const uint32_t self = static_cast<uint32_t>(getpid());
    const uint32_t parent = static_cast<uint32_t>(getppid()); // ours too, and not the "service"
    inner.Processes = {{parent, "shell", false}};
    TCaller caller = TCallerScopedProcesses::ReadCaller("/proc", getuid(), self);
    caller.OwnOnly = false;
    // The kernel kept every page: reported as not trimmed, not as a trim that took nothing.
    kestrum::platform::TTrimResult kept;
    kept.Status = kestrum::platform::TTrimStatus::Trimmed;
    kept.ResidentBefore = kept.ResidentAfter = 64u << 20;
    inner.Results[parent] = kept;
    {
        TCallerScopedProcesses scoped(inner, caller, "/proc");
        ASSERT_TRUE(scoped.Snapshot());
        EXPECT_EQ(scoped.TrimWorkingSet(parent).Status, kestrum::platform::TTrimStatus::NoRight);
    }
    kestrum::platform::TTrimResult took = kept;
    took.ResidentAfter = 1u << 20;
    inner.Results[parent] = took;
    {
        TCallerScopedProcesses scoped(inner, caller, "/proc");
        ASSERT_TRUE(scoped.Snapshot());
        EXPECT_EQ(scoped.TrimWorkingSet(parent).Status, kestrum::platform::TTrimStatus::Trimmed);
    }
    const size_t trims = inner.Trimmed.size();
    TCallerScopedProcesses late(inner, caller, "/proc", TCallerScopedProcesses::TClock::now());
    ASSERT_TRUE(late.Snapshot());
    const auto r = late.TrimWorkingSet(parent);
    EXPECT_EQ(r.Status, kestrum::platform::TTrimStatus::Failed);
    EXPECT_EQ(r.Error, ETIMEDOUT);
    EXPECT_EQ(inner.Trimmed.size(), trims) << "nothing trimmed past the deadline";
}
