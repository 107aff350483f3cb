#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ISingleInstance.h"

namespace kestrum::platform {

// An in-process stand-in: instances sharing one registry see each other.
class TFakeSingleInstance final : public ISingleInstance {
public:
    struct TRegistry {
        std::map<std::string, TFakeSingleInstance*> Holders;
    };
    explicit TFakeSingleInstance(std::shared_ptr<TRegistry> registry) : FRegistry(std::move(registry)) {}
    ~TFakeSingleInstance() override { Release(); }

    bool Acquire(const std::string& name) override {
        if (FRegistry->Holders.count(name)) return false;
        FRegistry->Holders[name] = this;
        FName = name;
        return true;
    }
    bool Send(const std::string& name, int64_t code) override {
        auto it = FRegistry->Holders.find(name);
        if (it == FRegistry->Holders.end() || !it->second->FOnCode) return false;
        it->second->FPending.push_back(code);
        return true;
    }
    bool Listen(std::function<void(int64_t)> onCode) override { FOnCode = std::move(onCode); return true; }
    int PollDescriptor() const override { return -1; }
    void Poll() override {
        auto pending = std::move(FPending);
        FPending.clear();
        for (auto c : pending) FOnCode(c);
    }
    void Release() override {
        if (!FName.empty()) FRegistry->Holders.erase(FName);
        FName.clear();
    }

private:
    std::shared_ptr<TRegistry> FRegistry;
    std::string FName;
    std::function<void(int64_t)> FOnCode;
    std::vector<int64_t> FPending;
};

} // namespace kestrum::platform
