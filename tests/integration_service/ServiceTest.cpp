// The freeing service on a private system bus with the real polkit daemon: who may free, what bad
// requests get, and that it keeps serving. Clients run as the user nobody; the processes trimmed are
// children this test started.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <chrono>
#include <thread>

#include "PrivateSystemBus.h"
#include "common/QtApp.h"
#include "freeservice/FreeServiceProtocol.h"

using namespace kestrum;
using namespace kestrum::test;

namespace {

constexpr size_t kVictimBytes = 32u << 20;
const std::string kCli = KESTRUM_BINARY_DIR "/bin/kestrum-cli";

// A name no other process on the machine has.
QString UniqueName(const char* what) {
    return QStringLiteral("kvictim-%1-%2").arg(what).arg(getpid());
}

QDBusMessage Call(const TPrivateSystemBus& bus, const QString& method, const QVariantList& args) {
    QDBusMessage m = QDBusMessage::createMethodCall(freeservice::kBusName, freeservice::kObjectPath,
                                                    freeservice::kInterface, method);
    m.setArguments(args);
    return bus.Bus().call(m, QDBus::Block, 60000);
}

QVariantList FreeArgs(uchar mode, const QStringList& names, const QVariantMap& options = {}) {
    return {QVariant::fromValue(mode), names, options};
}

class FreeingService : public ::testing::Test {
protected:
    void Start(const TBusOptions& options) {
        EnsureQtApp();
        FBus = std::make_unique<TPrivateSystemBus>(options);
        if (!FBus->Unavailable().empty()) GTEST_SKIP() << FBus->Unavailable();
    }
    std::unique_ptr<TPrivateSystemBus> FBus;
};

} // namespace

TEST_F(FreeingService, UnauthorisedUserIsRefusedAndNothingIsTrimmed) {
    Start({.GrantNobody = false});
    TVictim victim(FBus->Dir(), UniqueName("refused"), TPrivateSystemBus::kNobody, kVictimBytes);
    ASSERT_TRUE(victim.Ready());
    const uint64_t before = victim.RssFileKb();
    ASSERT_GT(before, kVictimBytes / 1024 * 9 / 10);

    // Nobody has no session at all here, like a remote login: the action's defaults say no.
    const TRunResult r =
        FBus->RunAs(TPrivateSystemBus::kNobody, {kCli, "free", "--only", UniqueName("refused").toStdString()});
    EXPECT_EQ(r.ExitCode, 5) << r.Output;
    EXPECT_NE(r.Output.find("not authorised"), std::string::npos) << r.Output;
    EXPECT_EQ(r.Output.find("Memory was optimized"), std::string::npos) << "no empty success: " << r.Output;
    EXPECT_GT(victim.RssFileKb(), before * 9 / 10);
    EXPECT_NE(FBus->Log().find("refused a freeing run for uid 65534"), std::string::npos) << FBus->Log();
}

TEST_F(FreeingService, AuthorisedUserGetsItsOwnChildTrimmedThroughTheService) {
    Start({.GrantNobody = true});
    TVictim victim(FBus->Dir(), UniqueName("mine"), TPrivateSystemBus::kNobody, kVictimBytes);
    TVictim bystander(FBus->Dir(), UniqueName("bystander"), TPrivateSystemBus::kNobody, kVictimBytes);
    ASSERT_TRUE(victim.Ready() && bystander.Ready());
    const uint64_t before = victim.RssFileKb(), bystanderBefore = bystander.RssFileKb();

    const TRunResult r =
        FBus->RunAs(TPrivateSystemBus::kNobody, {kCli, "free", "--only", UniqueName("mine").toStdString(), "--bytes"});
    ASSERT_EQ(r.ExitCode, 0) << r.Output << FBus->Log();
    EXPECT_NE(r.Output.find("Freed through the freeing service"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("trimmed=1 "), std::string::npos) << r.Output;
    EXPECT_LT(victim.RssFileKb(), before / 4) << r.Output;
    EXPECT_GT(bystander.RssFileKb(), bystanderBefore * 9 / 10) << "not selected, not trimmed";
    EXPECT_NE(FBus->Log().find("freeing run for uid 65534"), std::string::npos) << FBus->Log();

    // Straight after: spaced.
    const TRunResult again =
        FBus->RunAs(TPrivateSystemBus::kNobody, {kCli, "free", "--only", UniqueName("mine").toStdString()});
    EXPECT_EQ(again.ExitCode, 5) << again.Output;
    EXPECT_NE(again.Output.find("spaced"), std::string::npos) << again.Output;
}

TEST_F(FreeingService, HostileRequestsGetErrorsAndTheServiceKeepsServing) {
    Start({.GrantNobody = true, .MinSpacingMs = 0});
    TVictim victim(FBus->Dir(), UniqueName("hostile"), TPrivateSystemBus::kNobody, kVictimBytes);
    ASSERT_TRUE(victim.Ready());
    const uint64_t before = victim.RssFileKb();

    const QDBusMessage info = Call(*FBus, "GetInfo", {});
    ASSERT_EQ(info.type(), QDBusMessage::ReplyMessage) << info.errorMessage().toStdString();
    const uint32_t servicePid = FBus->OwnerPid(freeservice::kBusName);
    ASSERT_NE(servicePid, 0u);

    QStringList many;
    // Over the service's bounds, under the bus's (a longer message never reaches the service).
    for (int i = 0; i < 5000; ++i) many << UniqueName("hostile");
    const QString huge(1 << 16, u'k');
    struct TCase {
        const char* What;
        QString Method;
        QVariantList Args;
        QString Error;
    };
    const QString invalid = freeservice::kErrorInvalidArgs;
    const QString unknownMethod = QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod");
    const TCase cases[] = {
        {"5000 names", "FreeMemory", FreeArgs(1, many), invalid},
        {"a 64 kB name", "FreeMemory", FreeArgs(1, {huge}), invalid},
        {"unknown mode", "FreeMemory", FreeArgs(9, {UniqueName("hostile")}), invalid},
        {"unknown option", "FreeMemory", FreeArgs(1, {UniqueName("hostile")}, {{"Everything", true}}), invalid},
        {"option of the wrong type", "FreeMemory",
         FreeArgs(1, {UniqueName("hostile")}, {{"FollowUpReclaim", QStringLiteral("yes")}}), invalid},
        {"mode as a string",
         "FreeMemory",
         {QStringLiteral("1"), QStringList{UniqueName("hostile")}, QVariantMap{}},
         unknownMethod},
        {"names as one string",
         "FreeMemory",
         {QVariant::fromValue(uchar(1)), UniqueName("hostile"), QVariantMap{}},
         unknownMethod},
        {"arguments missing", "FreeMemory", {QVariant::fromValue(uchar(1))}, unknownMethod},
        {"arguments added", "GetInfo", {42}, unknownMethod},
        {"no such method", "TrimEverything", {}, unknownMethod},
    };
    for (const TCase& c : cases) {
        const QDBusMessage reply = Call(*FBus, c.Method, c.Args);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage) << c.What;
        EXPECT_EQ(reply.errorName(), c.Error) << c.What << ": " << reply.errorMessage().toStdString();
    }
    EXPECT_GT(victim.RssFileKb(), before * 9 / 10) << "nothing trimmed by the refused requests";

    // Still the same service, still serving: a sound request from nobody trims its child.
    EXPECT_EQ(FBus->OwnerPid(freeservice::kBusName), servicePid);
    const TRunResult r =
        FBus->RunAs(TPrivateSystemBus::kNobody, {kCli, "free", "--only", UniqueName("hostile").toStdString()});
    EXPECT_EQ(r.ExitCode, 0) << r.Output << FBus->Log();
    EXPECT_LT(victim.RssFileKb(), before / 4);
    EXPECT_EQ(FBus->OwnerPid(freeservice::kBusName), servicePid);
}

TEST_F(FreeingService, SpacesRunsPerUserAndNeverTrimsItself) {
    Start({.GrantNobody = false, .MinSpacingMs = 3000});
    // Root is authorised; asking the service to trim itself by name trims nothing.
    const QDBusMessage first = Call(*FBus, "FreeMemory", FreeArgs(1, {FBus->ServiceName()}));
    ASSERT_EQ(first.type(), QDBusMessage::ReplyMessage) << first.errorMessage().toStdString();
    const TFreeRunReport report = freeservice::ReportFromMap(qdbus_cast<QVariantMap>(first.arguments().at(0)));
    EXPECT_TRUE(report.SnapshotTaken);
    EXPECT_EQ(report.Trimmed, 0u);
    EXPECT_GT(report.Candidates, 0u);

    const QDBusMessage flood = Call(*FBus, "FreeMemory", FreeArgs(1, {FBus->ServiceName()}));
    EXPECT_EQ(flood.errorName(), freeservice::kErrorTooSoon) << flood.errorMessage().toStdString();
    // Another user is not held up by root's spacing (refused by polkit instead).
    const TRunResult other =
        FBus->RunAs(TPrivateSystemBus::kNobody, {kCli, "free", "--only", FBus->ServiceName().toStdString()});
    EXPECT_EQ(other.ExitCode, 5);
    EXPECT_EQ(other.Output.find("spaced"), std::string::npos) << other.Output;

    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    const QDBusMessage later = Call(*FBus, "FreeMemory", FreeArgs(1, {FBus->ServiceName()}));
    EXPECT_EQ(later.type(), QDBusMessage::ReplyMessage) << later.errorMessage().toStdString();
}

TEST_F(FreeingService, HoldsOnlyTheTrimCapabilitiesAndEndsWhenIdle) {
    Start({.GrantNobody = false, .IdleExitMs = 1000});
    // Reading the version is allowed to anyone, even without a session.
    const TRunResult r = FBus->RunAs(TPrivateSystemBus::kNobody, {kCli, "service"});
    ASSERT_EQ(r.ExitCode, 0) << r.Output;
    EXPECT_NE(r.Output.find("Capabilities:  CAP_SYS_PTRACE, CAP_SYS_NICE\n"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("Version:       " KESTRUM_TEST_VERSION), std::string::npos) << r.Output;
    const uint32_t first = FBus->OwnerPid(freeservice::kBusName);
    ASSERT_NE(first, 0u);

    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        gone = !FBus->Bus().interface()->isServiceRegistered(freeservice::kBusName);
    }
    EXPECT_TRUE(gone) << "idle for longer than a second";
    // The next request starts it again.
    const QDBusMessage info = Call(*FBus, "GetInfo", {});
    EXPECT_EQ(info.type(), QDBusMessage::ReplyMessage) << info.errorMessage().toStdString();
    EXPECT_NE(FBus->OwnerPid(freeservice::kBusName), 0u);
}

TEST_F(FreeingService, AFloodOfHugeCallsHoldsNoOtherUserUp) {
    Start({.GrantNobody = false, .MinSpacingMs = 0});
    TVictim victim(FBus->Dir(), UniqueName("flooded"), 0, kVictimBytes);
    ASSERT_TRUE(victim.Ready());
    const uint64_t before = victim.RssFileKb();
    ASSERT_EQ(Call(*FBus, "GetInfo", {}).type(), QDBusMessage::ReplyMessage);
    const uint32_t servicePid = FBus->OwnerPid(freeservice::kBusName);

    // The user nobody, without any right, keeps calls of 60,000 names each (about 1 MB, just under what one
    // message may carry under the package's bus policy) on their way from four connections.
    TRunResult flood;
    std::thread flooder([&] {
        flood = FBus->RunAs(TPrivateSystemBus::kNobody,
                            {KESTRUM_TEST_FLOOD, FBus->Address().toStdString(), "5", "4", "60000"});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // Meanwhile root, another user with the right, asks for runs: each is served, not refused or lost.
    std::vector<long long> latencies;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const QDBusMessage reply = Call(*FBus, "FreeMemory", FreeArgs(1, {UniqueName("flooded")}));
        latencies.push_back(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << i << ": " << reply.errorName().toStdString() << " " << reply.errorMessage().toStdString();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    flooder.join();
    for (size_t i = 0; i < latencies.size(); ++i)
        std::printf("run %zu of the other user answered after %lld ms during the flood\n", i, latencies[i]);
    std::printf("flooder: %s", flood.Output.c_str());
    EXPECT_LT(victim.RssFileKb(), before / 4) << "the other user's run did its work";
    EXPECT_EQ(FBus->OwnerPid(freeservice::kBusName), servicePid) << "the service stayed up throughout";
    EXPECT_EQ(FBus->Log().find(": freeing run for uid 65534"), std::string::npos) << "no run for the flooder";
}

TEST_F(FreeingService, OwnProcessesUnderTheFirstActionOthersOnlyUnderTheSecond) {
    Start({.GrantNobody = true, .MinSpacingMs = 0});
    TVictim rootsOwn(FBus->Dir(), UniqueName("rootsown"), 0, kVictimBytes);
    TVictim nobodys(FBus->Dir(), UniqueName("nobodys"), TPrivateSystemBus::kNobody, kVictimBytes);
    ASSERT_TRUE(rootsOwn.Ready() && nobodys.Ready());
    const uint64_t rootBefore = rootsOwn.RssFileKb(), nobodyBefore = nobodys.RssFileKb();

    // nobody holds the first action: its own victim is trimmed, root's is not even seen.
    const TRunResult own =
        FBus->RunAs(TPrivateSystemBus::kNobody, {kCli, "free", "--only", UniqueName("rootsown").toStdString(), "--only",
                                                 UniqueName("nobodys").toStdString(), "--bytes"});
    EXPECT_EQ(own.ExitCode, 0) << own.Output << FBus->Log();
    EXPECT_LT(nobodys.RssFileKb(), nobodyBefore / 4) << own.Output;
    EXPECT_GT(rootsOwn.RssFileKb(), rootBefore * 9 / 10) << "root's process is out of reach";

    // Asking for all users needs the second action, which nobody does not hold (an administrator's word).
    const QDBusMessage all =
        Call(*FBus, "FreeMemory", FreeArgs(1, {UniqueName("nobodys")}, {{freeservice::kOptionAllUsers, true}}));
    EXPECT_EQ(all.type(), QDBusMessage::ReplyMessage)
        << "root holds every action: " << all.errorMessage().toStdString();
    const TRunResult wide = FBus->RunAs(TPrivateSystemBus::kNobody,
                                        {kCli, "free", "--all-users", "--only", UniqueName("rootsown").toStdString()});
    EXPECT_EQ(wide.ExitCode, 5) << wide.Output;
    EXPECT_NE(wide.Output.find("free-memory-all-users"), std::string::npos) << wide.Output;
    EXPECT_GT(rootsOwn.RssFileKb(), rootBefore * 9 / 10);
}

TEST_F(FreeingService, NeverTrimListHoldsForAnOrdinaryUsersRun) {
    Start({.GrantNobody = true});
    // The user's data folder with its never-trim list, readable by that user.
    const QString home = FBus->Dir() + "/home-nobody";
    ASSERT_TRUE(QDir().mkpath(home + "/Lists"));
    {
        QFile list(home + "/Lists/white.lst");
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write(("[ITEMS]\r\n" + UniqueName("kept") + "=\r\n").toUtf8());
    }
    for (const QString& p : {home, home + "/Lists", home + "/Lists/white.lst"})
        ASSERT_EQ(::chown(p.toLocal8Bit().constData(), TPrivateSystemBus::kNobody, TPrivateSystemBus::kNobody), 0);
    TVictim kept(FBus->Dir(), UniqueName("kept"), TPrivateSystemBus::kNobody, kVictimBytes);
    TVictim trimmed(FBus->Dir(), UniqueName("trimmed"), TPrivateSystemBus::kNobody, kVictimBytes);
    ASSERT_TRUE(kept.Ready() && trimmed.Ready());
    const uint64_t keptBefore = kept.RssFileKb(), trimmedBefore = trimmed.RssFileKb();

    // Both named, one of them on the never-trim list: the list wins.
    const TRunResult r = FBus->RunAs(
        TPrivateSystemBus::kNobody, {"/usr/bin/env", "KESTRUM_HOME=" + home.toStdString(), kCli, "free", "--only",
                                     UniqueName("kept").toStdString(), UniqueName("trimmed").toStdString(), "--bytes"});
    ASSERT_EQ(r.ExitCode, 0) << r.Output << FBus->Log();
    EXPECT_NE(r.Output.find("Freed through the freeing service"), std::string::npos) << r.Output;
    EXPECT_NE(r.Output.find("trimmed=1 "), std::string::npos) << r.Output;
    EXPECT_LT(trimmed.RssFileKb(), trimmedBefore / 4) << r.Output;
    EXPECT_GT(kept.RssFileKb(), keptBefore * 9 / 10) << r.Output;
    EXPECT_NE(r.Output.find("Programs that gave the most: " + UniqueName("trimmed").toStdString()), std::string::npos)
        << r.Output;
}
