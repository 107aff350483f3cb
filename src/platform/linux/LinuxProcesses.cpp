#include "platform/IProcesses.h"

#include <unistd.h>

namespace kestrum::platform {

namespace {
// Placeholder until the memory engine's backend lands.
class TNoProcesses final : public IProcesses {
public:
    std::optional<std::vector<TProcessEntry>> Snapshot() override { return std::nullopt; }
    std::string ExecutablePath(uint32_t) override { return {}; }
    TTrimResult TrimWorkingSet(uint32_t) override { return {}; }
    uint32_t CurrentProcessId() override { return static_cast<uint32_t>(getpid()); }
};
} // namespace

std::unique_ptr<IProcesses> MakeLinuxProcesses(const std::string&) { return std::make_unique<TNoProcesses>(); }

} // namespace kestrum::platform
