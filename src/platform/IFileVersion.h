#pragma once
#include <memory>
#include <string>

namespace kestrum::platform {

// The four-part file version of an executable; empty when it carries none.
class IFileVersion {
public:
    virtual ~IFileVersion() = default;
    // Blank path means the program's own file.
    virtual std::string FileVersion(const std::string& path) = 0;
};

// `ownVersion` is the version the build embeds in our own executable.
std::unique_ptr<IFileVersion> MakeLinuxFileVersion(const std::string& ownVersion);

} // namespace kestrum::platform
