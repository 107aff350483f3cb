#pragma once
#include <string>
#include <vector>

#include "platform/IShell.h"

namespace kestrum::platform {

// Records what would have been started or opened.
class TFakeShell final : public IShell {
public:
    std::vector<std::string> Launched;
    std::vector<std::string> Opened;
    bool Succeeds = true;

    bool LaunchProcess(const std::string& commandLine) override { Launched.push_back(commandLine); return Succeeds; }
    bool OpenDocument(const std::string& target) override { Opened.push_back(target); return Succeeds; }
};

} // namespace kestrum::platform
