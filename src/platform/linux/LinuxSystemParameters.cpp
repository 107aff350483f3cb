#include <map>
#include <mutex>

#include "platform/ISystemParameters.h"

namespace kestrum::platform {

namespace {

// Records the parameters for this session only. The desktops' own counterparts (GNOME's gsettings,
// Xfce's xfconf) are saved to the user's profile at once, which would turn a change meant to last until
// log-off into a permanent one; so nothing outside the program is changed.
class TRecordedSystemParameters final : public ISystemParameters {
public:
    bool SetSystemParameter(const TSystemParameterCall& call) override {
        std::lock_guard lock(FMutex);
        FLast[call.Action] = call;
        return true;
    }
    bool TakesEffect() const override { return false; }

private:
    std::mutex FMutex;
    std::map<uint32_t, TSystemParameterCall> FLast;
};

} // namespace

std::unique_ptr<ISystemParameters> MakeLinuxSystemParameters(const std::string&) {
    return std::make_unique<TRecordedSystemParameters>();
}

} // namespace kestrum::platform
