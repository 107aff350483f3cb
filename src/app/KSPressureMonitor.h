#pragma once
#include <QObject>
#include <QString>
#include <memory>

#include "engine/KSGrowthTracker.h"
#include "engine/KSPressureRule.h"
#include "engine/KSPressureWarning.h"
#include "store/KSPressureSettings.h"

namespace kestrum {

class TSystemStatus;
class TOrvMultiLangs;

// Memory pressure in the running program: each second's figures go to the early warning (and, while
// pressure is up, to the record of which programs grow); the automatic policy's tick asks the pressure rule.
// Holds no widgets: the warning leaves as a signal.
class TKSPressureMonitor : public QObject {
    Q_OBJECT
public:
    TKSPressureMonitor(const TSystemStatus& status, platform::IClock& clock, platform::IProcesses& processes,
                       QObject* owner = nullptr);

    void SetSettings(const TKSPressureSettings& settings) { FSettings = settings; }
    const TKSPressureSettings& Settings() const { return FSettings; }

    // After the sampler's once-a-second refresh (pressure included).
    void Sample(const TOrvMultiLangs& langs);
    // The automatic policy's tick: true when memory is to be freed for pressure now.
    bool PolicyTick(int32_t sleepValue, bool sleepEnabled, bool held);
    // An automatic run started (this rule's or the policy's).
    void AutomaticRunStarted() { FRule.RunStarted(); }

    TPressureFigures Figures() const;
    const TKSPressureRule& Rule() const { return FRule; }
    const TKSPressureWarning& Warning() const { return FWarning; }
    const TKSGrowthTracker& Growth() const { return FGrowth; }
    TPressureVerdict LastVerdict() const { return FLastVerdict; }

    // The warning's texts for the current figures.
    static QString WarningText(const TOrvMultiLangs& langs, double some, int64_t available,
                               const std::vector<TProgramGrowth>& growers);

signals:
    // Pressure climbed and memory is about to run out: say so once (title, text, the action's label).
    void WarningDue(const QString& title, const QString& text, const QString& actionLabel);

private:
    const TSystemStatus& FStatus;
    TKSPressureSettings FSettings;
    TKSPressureRule FRule;
    TKSPressureWarning FWarning;
    TKSGrowthTracker FGrowth;
    TPressureVerdict FLastVerdict = TPressureVerdict::Off;
};

} // namespace kestrum
