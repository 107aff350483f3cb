#include "RunGate.h"

namespace kestrum::service {

TRunGate::TVerdict TRunGate::AdmitRun(uint32_t uid, TClock::time_point now, std::chrono::milliseconds* wait) {
    if (FInFlight.count(uid) || FInFlightTotal >= FMaxInFlight) return TVerdict::Busy;
    // Users whose spacing has passed need no entry; keeps the map as small as the recent users.
    std::erase_if(FLastEnd, [&](const auto& e) { return now - e.second >= FSpacing; });
    const auto last = FLastEnd.find(uid);
    if (last != FLastEnd.end()) {
        if (wait) *wait = std::chrono::ceil<std::chrono::milliseconds>(FSpacing - (now - last->second));
        return TVerdict::TooSoon;
    }
    ++FInFlight[uid];
    ++FInFlightTotal;
    return TVerdict::Go;
}

TRunGate::TVerdict TRunGate::AdmitQuery(uint32_t uid) {
    if (FInFlight.count(uid) || FInFlightTotal >= FMaxInFlight) return TVerdict::Busy;
    ++FInFlight[uid];
    ++FInFlightTotal;
    return TVerdict::Go;
}

void TRunGate::Finish(uint32_t uid) {
    const auto it = FInFlight.find(uid);
    if (it == FInFlight.end()) return;
    --FInFlightTotal;
    if (--it->second == 0) FInFlight.erase(it);
}

bool TRunGate::BeginRun() {
    if (FRunning >= FMaxRuns) return false;
    ++FRunning;
    return true;
}

void TRunGate::EndRun(uint32_t uid, TClock::time_point now) {
    if (FRunning > 0) --FRunning;
    if (FSpacing.count() > 0) FLastEnd[uid] = now;
}

} // namespace kestrum::service
