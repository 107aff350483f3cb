#pragma once
#include <QObject>
#include <QTimer>
#include <string>
#include <unordered_map>
#include <vector>

#include "desktop/ExeImportsCache.h"
#include "platform/IDesktop.h"
#include "platform/IProcesses.h"

namespace kestrum {

// Tells whether the user plays a game or runs a full-screen program (the "Do-Not-Disturb" state), by a poll.
class TOrvAntiDisturb : public QObject {
    Q_OBJECT
public:
    TOrvAntiDisturb(platform::IDesktop& desktop, platform::IProcesses& processes, QObject* owner = nullptr);

    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);
    uint32_t Inteval() const { return FInteval; }
    // 0 stops the ticks (as a zero-period timer does not tick) without changing Enabled.
    void SetInteval(uint32_t value);
    bool State() const { return FState; }

    // Where drive letters other than Z: of Wine programs' paths lead; $WINEPREFIX, else ~/.wine.
    void SetWinePrefix(const std::string& prefix) { FWinePrefix = prefix; }

    // The answer the poll stores in State; a subclass may replace the rule.
    virtual bool DetectState();
    bool IsFullScreenForeground();
    bool IsGameRunning();

    // One poll: what the timer does at each tick.
    void Poll();
    // What the sources that report by themselves say (a game under GameMode, the desktop's own
    // do-not-disturb); State is on while they or the poll say so.
    void SetSourceState(bool on);

    // Window changes (another window active, the active one's state or size) reported through WindowsChanged:
    // while the state is off the poll then waits QuietStretch periods, and a change brings the check forward
    // (WakeDelayMs later, so that a burst of changes makes one check). The state itself is kept as long.
    static constexpr uint32_t QuietStretch = 10;
    static constexpr int WakeDelayMs = 250;
    void SetWindowEventsWatched(bool on);
    bool WindowEventsWatched() const { return FWindowEvents; }
    void WindowsChanged();
    // The poll's period now (0: not polling).
    int CurrentPeriod() const { return FTimer.isActive() ? FTimer.interval() : 0; }

signals:
    void OnStateChanged(TOrvAntiDisturb* Sender);

private:
    platform::IDesktop& FDesktop;
    platform::IProcesses& FProcesses;
    void UpdateTimer();

    QTimer FTimer;
    QTimer FWake;
    bool FWindowEvents = false;
    bool FEnabled = true;
    uint32_t FInteval = 3000;
    bool FState = false;
    bool FNotified = false;
    bool FSourceState = false;
    bool JudgeExecutable(uint32_t processId, const std::string& path);

    // The verdict per running process, kept while the process runs the same executable: a poll reads one
    // link per process and opens only files it has not judged yet.
    struct TJudged {
        uint64_t Instance = 0;
        std::string Path; // empty: no executable to read (kernel thread, another user's process)
        bool Game = false;
    };
    std::unordered_map<uint32_t, TJudged> FJudged;
    // New processes are judged at once; a known one's executable is read again every this many polls.
    static constexpr uint32_t RecheckEvery = 3;
    uint32_t FPolls = 0;
    TExeImportsCache FImports;
    std::string FWinePrefix;
};

} // namespace kestrum
