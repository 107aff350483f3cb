#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kestrum {

struct TFreeRunReport;

// What one freeing run was asked to do: the selection mode, the names it uses and the run's switches.
struct TFreeRunRequest {
    uint8_t Mode = 0;
    QStringList Selection;
    bool FollowUpReclaim = true;
    bool AllUsers = false; // through the freeing service: other users' and system processes too
    // Spared whatever the mode: programs on the never-trim list, and processes protected by what they are
    // doing (a game, the full-screen or foreground program) with their child processes.
    QStringList NeverTrim;
    std::vector<uint32_t> SparedIds;
};

// How a run reached the processes, and why it could not.
enum class TFreeRunRoute : uint8_t {
    Direct,      // this process trimmed them itself
    Service,     // the freeing service trimmed them for this process
    Unavailable, // no right here and no freeing service to ask
    Refused,     // the freeing service said no (not authorised, too soon, busy, bad request)
};

// Runs a freeing run somewhere else when this process may not trim other processes itself (the freeing
// service's client). Returning nothing lets the engine run it here.
class IFreeRunDelegate {
public:
    virtual ~IFreeRunDelegate() = default;
    virtual std::optional<TFreeRunReport> Run(const TFreeRunRequest& request) = 0;
};

// The process-wide delegate every engine asks first; installed once at start-up (none: runs stay here).
// Safe to read from any thread.
void SetFreeRunDelegate(std::shared_ptr<IFreeRunDelegate> delegate);
std::shared_ptr<IFreeRunDelegate> FreeRunDelegate();

} // namespace kestrum
