#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kestrum::platform {

// The single-instance marker and the hand-over channel between a second start and the running one.
class ISingleInstance {
public:
    virtual ~ISingleInstance() = default;
    // Takes the marker named `name`. False when another live instance holds it.
    virtual bool Acquire(const std::string& name) = 0;
    // Second instance: hands `code` to the running instance. False when nobody received it.
    virtual bool Send(const std::string& name, int64_t code) = 0;
    // First instance: starts listening; `onCode` runs on the thread that calls Poll (or the UI thread).
    virtual bool Listen(std::function<void(int64_t)> onCode) = 0;
    // Delivers pending hand-overs; returns the descriptor to watch for readiness (-1 when none).
    virtual int PollDescriptor() const = 0;
    virtual void Poll() = 0;
    // Gives up the marker and the channel.
    virtual void Release() = 0;
};

// The marker and channel is a socket in the abstract namespace named after the user, `runtimeDir` and the
// marker name (SingleInstanceSocketName); one another user holds is recognised by its credentials. Only then
// `runtimeDir` ($XDG_RUNTIME_DIR, else a per-user temp folder) holds a lock file and a socket instead: it is
// created 0700 when missing and used only when it is a real directory (not a link) of this user that no one
// else may enter; otherwise the program runs without the marker and says so on standard error.
std::unique_ptr<ISingleInstance> MakeLinuxSingleInstance(const std::string& runtimeDir);
// The abstract socket's name (without the leading zero byte).
std::string SingleInstanceSocketName(const std::string& runtimeDir, const std::string& name);

} // namespace kestrum::platform
