#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/IFileVersion.h"

namespace kestrum::platform {

namespace {

std::string RealPath(const std::string& path) {
    char buf[PATH_MAX];
    if (!realpath(path.c_str(), buf)) return {};
    return buf;
}

// Linux executables carry no version resource; only our own has the version the build embedded.
class TLinuxFileVersion final : public IFileVersion {
public:
    explicit TLinuxFileVersion(std::string own) : FOwn(std::move(own)) {}
    std::string FileVersion(const std::string& path) override {
        if (path.empty()) return FOwn;
        std::string self = RealPath("/proc/self/exe");
        std::string asked = RealPath(path);
        if (!asked.empty() && asked == self) return FOwn;
        return {};
    }

private:
    std::string FOwn;
};

} // namespace

std::unique_ptr<IFileVersion> MakeLinuxFileVersion(const std::string& ownVersion) {
    return std::make_unique<TLinuxFileVersion>(ownVersion);
}

} // namespace kestrum::platform
