#pragma once
#include <memory>
#include <string>

namespace kestrum::platform {

// Registry-like value store for the tuning settings (filled in by the tuning work).
class IRegistry {
public:
    virtual ~IRegistry() = default;
};

// File-backed on Linux, below `dataDir`.
std::unique_ptr<IRegistry> MakeFileRegistry(const std::string& dataDir);

} // namespace kestrum::platform
