#pragma once
#include <map>
#include <string>

#include "platform/IFileVersion.h"

namespace kestrum::platform {

class TFakeFileVersion final : public IFileVersion {
public:
    std::string Own = "1.2.3.4";
    std::map<std::string, std::string> Files;
    std::string FileVersion(const std::string& path) override {
        if (path.empty()) return Own;
        auto it = Files.find(path);
        return it == Files.end() ? std::string() : it->second;
    }
};

} // namespace kestrum::platform
