#include "app/KSPressureMonitor.h"

#include <cmath>

#include "engine/SystemStatus.h"
#include "i18n/OrvMultiLangs.h"
#include "support/KSUtils.h"

namespace kestrum {

TKSPressureMonitor::TKSPressureMonitor(const TSystemStatus& status, platform::IClock& clock,
                                       platform::IProcesses& processes, QObject* owner)
    : QObject(owner), FStatus(status), FRule(clock), FWarning(clock), FGrowth(clock, processes) {}

TPressureFigures TKSPressureMonitor::Figures() const {
    return {FStatus.Pressure(), FStatus.PhysicalTotal(), FStatus.PhysicalAvailable(), FStatus.GetCPUUsage(0)};
}

void TKSPressureMonitor::Sample(const TOrvMultiLangs& langs) {
    const TPressureFigures f = Figures();
    const bool due = FWarning.Sample({FSettings.Warn, double(FSettings.WarnLevel)}, f);
    // Walking every process costs: only while pressure is up, and the tracker spaces its samples.
    if (FWarning.Watching())
        FGrowth.Sample();
    else if (FGrowth.Samples())
        FGrowth.Clear();
    if (!due) return;
    emit WarningDue(langs.GetText(u"String.Pressure.WarnTitle"_qs),
                    WarningText(langs, f.Pressure->Some.Avg10, f.PhysicalAvailable, FGrowth.TopGrowers(3)),
                    langs.GetText(u"FormKSMain.btnOverviewOptimize.Caption"_qs));
}

bool TKSPressureMonitor::PolicyTick(int32_t sleepValue, bool sleepEnabled, bool held) {
    const TPressureRuleSettings rule{FSettings.AutoFree, double(FSettings.FreeLevel),
                                     uint32_t(FSettings.FreeHoldSeconds) * 1000u};
    FLastVerdict = FRule.Tick(rule, Figures(), sleepValue, sleepEnabled, held);
    return FLastVerdict == TPressureVerdict::Run;
}

QString TKSPressureMonitor::WarningText(const TOrvMultiLangs& langs, double some, int64_t available,
                                        const std::vector<TProgramGrowth>& growers) {
    const int percent = int(std::lround(some));
    const QString avail = FormatSize(uint64_t(std::max<int64_t>(available, 0)), 2).trimmed();
    QString text = langs.FormatText(u"String.Pressure.WarnText"_qs, {percent, avail});
    if (growers.empty()) return text;
    QStringList names;
    for (const auto& g : growers) names << u"%1 (+%2)"_qs.arg(g.Name, FormatSize(uint64_t(g.Bytes), 0).trimmed());
    return text + langs.FormatText(u"String.Pressure.WarnGrowers"_qs, {names.join(u", "_qs)});
}

} // namespace kestrum
