#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kestrum::platform {

enum class TRootKey {
    ClassesRoot,
    CurrentUser,
    LocalMachine,
    Users,
    PerformanceData,
    CurrentConfig,
    DynData,
};

using TRegKeyHandle = uint64_t; // 0 = no key

// Registry-like value store for the tuning settings. Key paths use "\" between names; key and value
// names compare without regard to case.
class IRegistry {
public:
    virtual ~IRegistry() = default;
    // Opens `subKey` below `root` for writing, creating it and missing parents when `create`; 0 on failure.
    virtual TRegKeyHandle OpenKey(TRootKey root, const std::string& subKey, bool create) = 0;
    // An empty name is the key's default value.
    virtual bool ValueExists(TRegKeyHandle key, const std::string& name) = 0;
    virtual bool WriteDWord(TRegKeyHandle key, const std::string& name, uint32_t value) = 0;
    virtual bool WriteBinary(TRegKeyHandle key, const std::string& name, const std::vector<uint8_t>& data) = 0;
    virtual void CloseKey(TRegKeyHandle key) = 0;
};

// File-backed on Linux, below `dataDir`.
std::unique_ptr<IRegistry> MakeFileRegistry(const std::string& dataDir);

} // namespace kestrum::platform
