#pragma once
#include <chrono>
#include <cstdint>
#include <map>

namespace kestrum::service {

// Admission of requests: one request in flight per caller, a bounded number in flight overall, a minimum
// spacing between the end of one user's run and that user's next request, and a bounded number of runs at
// once (each user's run is their own; one user's long run does not hold the others up). A request that does
// not pass is refused, never queued, so a flood costs the service nothing but the refusals.
class TRunGate {
public:
    using TClock = std::chrono::steady_clock;
    enum class TVerdict { Go, Busy, TooSoon };

    TRunGate(std::chrono::milliseconds spacing, int maxInFlight, int maxRuns = 4)
        : FSpacing(spacing), FMaxInFlight(maxInFlight), FMaxRuns(maxRuns) {}

    // A freeing request of `uid` at `now`; Go counts it as in flight until Finish. `wait` gets the time left
    // when TooSoon.
    TVerdict AdmitRun(uint32_t uid, TClock::time_point now, std::chrono::milliseconds* wait = nullptr);
    // A read-only request: bounded in flight, not spaced.
    TVerdict AdmitQuery(uint32_t uid);
    void Finish(uint32_t uid);

    // The run itself, after authorisation: false while the most runs at once are going.
    bool BeginRun();
    // The run of `uid` ended at `now`: that user's spacing counts from here.
    void EndRun(uint32_t uid, TClock::time_point now);

    bool Idle() const { return FInFlight.empty() && FRunning == 0; }
    std::chrono::milliseconds Spacing() const { return FSpacing; }

private:
    std::chrono::milliseconds FSpacing;
    int FMaxInFlight;
    int FMaxRuns;
    int FInFlightTotal = 0;
    std::map<uint32_t, int> FInFlight;               // uid -> requests in flight
    std::map<uint32_t, TClock::time_point> FLastEnd; // uid -> end of that user's latest run
    int FRunning = 0;
};

} // namespace kestrum::service
