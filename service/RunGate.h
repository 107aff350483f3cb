#pragma once
#include <chrono>
#include <cstdint>
#include <map>

namespace kestrum::service {

// Admission of requests: one request in flight per caller, a bounded number in flight overall, a minimum
// spacing between one caller's freeing requests, and one run at a time. A request that does not pass is
// refused, never queued, so a flood costs the service nothing but the refusals.
class TRunGate {
public:
    using TClock = std::chrono::steady_clock;
    enum class TVerdict { Go, Busy, TooSoon };

    TRunGate(std::chrono::milliseconds spacing, int maxInFlight) : FSpacing(spacing), FMaxInFlight(maxInFlight) {}

    // A freeing request of `uid` at `now`; Go counts it as in flight (and as the caller's latest) until Finish.
    // `wait` gets the time left when TooSoon.
    TVerdict AdmitRun(uint32_t uid, TClock::time_point now, std::chrono::milliseconds* wait = nullptr);
    // A read-only request: bounded in flight, not spaced.
    TVerdict AdmitQuery(uint32_t uid);
    void Finish(uint32_t uid);

    // The run itself, after authorisation: false while another run is going.
    bool BeginRun();
    void EndRun() { FRunning = false; }

    bool Idle() const { return FInFlight.empty() && !FRunning; }
    std::chrono::milliseconds Spacing() const { return FSpacing; }

private:
    std::chrono::milliseconds FSpacing;
    int FMaxInFlight;
    int FInFlightTotal = 0;
    std::map<uint32_t, int> FInFlight;               // uid -> requests in flight
    std::map<uint32_t, TClock::time_point> FLastRun; // uid -> latest admitted freeing request
    bool FRunning = false;
};

} // namespace kestrum::service
