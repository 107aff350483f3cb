#pragma once
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/IServiceManager.h"

namespace kestrum::platform {

// A scripted service manager. Status queries hand out `Statuses` in order (the last repeats; nullopt
// = a failed query); `OnStart` may rewrite the script when the start call comes.
class TFakeServiceManager final : public IServiceManager {
public:
    bool ManagerOpens = true;
    std::set<std::string> Services = {"Themes"};
    std::deque<std::optional<TServiceStatus>> Statuses = {TServiceStatus{SERVICE_STATE_RUNNING, 0}};
    bool StartSucceeds = true;
    std::function<void()> OnStart;
    std::vector<std::string> Calls; // "manager", "open:NAME", "query", "start", "close"
    int OpenHandles = 0;

    TServiceHandle OpenManager() override {
        Calls.push_back("manager");
        if (!ManagerOpens) return 0;
        ++OpenHandles;
        return 1;
    }
    TServiceHandle OpenService(TServiceHandle, const std::string& name) override {
        Calls.push_back("open:" + name);
        if (!Services.count(name)) return 0;
        ++OpenHandles;
        return 2;
    }
    std::optional<TServiceStatus> QueryStatus(TServiceHandle) override {
        Calls.push_back("query");
        if (Statuses.empty()) return std::nullopt;
        auto s = Statuses.front();
        if (Statuses.size() > 1) Statuses.pop_front();
        return s;
    }
    bool StartService(TServiceHandle) override {
        Calls.push_back("start");
        if (OnStart) OnStart();
        return StartSucceeds;
    }
    void CloseHandle(TServiceHandle) override {
        Calls.push_back("close");
        --OpenHandles;
    }
};

} // namespace kestrum::platform
