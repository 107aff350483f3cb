#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrum::platform {

// One entry of a process snapshot.
struct TProcessEntry {
    uint32_t ProcessId = 0;
    std::string ExeName;   // executable file name without folder ("firefox-esr"), else the kernel's comm
    bool KernelThread = false;  // kernel threads have no user memory and are never trimmed
};

// What trimming one process did.
enum class TTrimStatus { Trimmed, Gone, NoRight, Failed };
struct TTrimResult {
    TTrimStatus Status = TTrimStatus::Failed;
    uint64_t BytesRequested = 0;  // bytes of mappings handed to the kernel
};

// Processes: snapshot, executable paths, working-set trimming.
class IProcesses {
public:
    virtual ~IProcesses() = default;
    // Every process of the system. Empty optional when no snapshot could be taken.
    virtual std::optional<std::vector<TProcessEntry>> Snapshot() = 0;
    // Full path of the process's executable file; empty when it cannot be read (gone, no right).
    virtual std::string ExecutablePath(uint32_t processId) = 0;
    // Moves the process's resident pages out of physical memory.
    virtual TTrimResult TrimWorkingSet(uint32_t processId) = 0;
    virtual uint32_t CurrentProcessId() = 0;
};

// `procRoot` is "/proc" on a real system; tests point it at fixture folders.
std::unique_ptr<IProcesses> MakeLinuxProcesses(const std::string& procRoot);

} // namespace kestrum::platform
