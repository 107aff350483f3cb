// The engine hands its runs to the installed delegate, and the service's client says once, clearly, when
// there is nothing to hand them to.
#include <gtest/gtest.h>

#include "common/QtApp.h"
#include "common/TestHome.h"
#include "engine/MemoryOptimize.h"
#include "freeservice/FreeServiceClient.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeProcesses.h"

using namespace kestrum;
using namespace kestrum::platform;

namespace {

class TRecordingDelegate final : public IFreeRunDelegate {
public:
    bool TakeIt = true;
    std::vector<TFreeRunRequest> Requests;
    std::optional<TFreeRunReport> Run(const TFreeRunRequest& request) override {
        Requests.push_back(request);
        if (!TakeIt) return std::nullopt;
        TFreeRunReport r;
        r.SnapshotTaken = true;
        r.Trimmed = 7;
        r.Route = TFreeRunRoute::Service;
        return r;
    }
};

struct TDelegateGuard {
    ~TDelegateGuard() { SetFreeRunDelegate(nullptr); }
};

} // namespace

TEST(FreeRunDelegate, EngineHandsItsRunsToTheDelegateWithTheSelection) {
    test::EnsureQtApp();
    test::TTestHome home;
    TDelegateGuard guard;
    TFakeDesktop desktop;
    TFakeProcesses processes;
    processes.Processes = {{10, "a", false}, {11, "b", false}};
    TMemoryOptimize engine(desktop, processes);
    engine.SetFollowUpReclaim(false);
    auto delegate = std::make_shared<TRecordingDelegate>();
    SetFreeRunDelegate(delegate);

    const TFreeRunReport r = engine.FreeMemoryExcept({"b"});
    EXPECT_EQ(r.Route, TFreeRunRoute::Service);
    EXPECT_EQ(r.Trimmed, 7u);
    EXPECT_TRUE(processes.Trimmed.empty()) << "the delegate ran it, not this process";
    ASSERT_EQ(delegate->Requests.size(), 1u);
    EXPECT_EQ(delegate->Requests[0].Mode, TMemoryOptimize::MODE_NOT_WHITE);
    EXPECT_EQ(delegate->Requests[0].Selection, QStringList{"b"});
    EXPECT_FALSE(delegate->Requests[0].FollowUpReclaim);

    // A delegate that declines (this process has the right itself): the engine trims here.
    delegate->TakeIt = false;
    const TFreeRunReport here = engine.FreeMemoryBy(TMemoryOptimize::MODE_ALL);
    EXPECT_EQ(here.Route, TFreeRunRoute::Direct);
    EXPECT_EQ(processes.Trimmed, (std::vector<uint32_t>{10, 11}));
}

TEST(FreeServiceClient, NoServiceIsSaidOnceWithWhatToInstall) {
    test::EnsureQtApp();
    TFreeServiceClient client(QStringLiteral("unix:path=/nonexistent/kestrum-test-bus"), 2000);
    const TFreeRunReport first = client.RunThroughService({});
    EXPECT_EQ(first.Route, TFreeRunRoute::Unavailable);
    EXPECT_FALSE(first.SnapshotTaken) << "no empty success";
    EXPECT_TRUE(first.Notice.contains("Install the Kestrum package")) << first.Notice.toStdString();
    const TFreeRunReport second = client.RunThroughService({});
    EXPECT_EQ(second.Route, TFreeRunRoute::Unavailable);
    EXPECT_TRUE(second.Notice.isEmpty()) << "said once";
}
