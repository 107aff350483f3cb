#include "app/pages/KSOverviewTexts.h"

#include <cmath>

#include "engine/SystemStatus.h"
#include "i18n/OrvMultiLangs.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {

// 100 × part ÷ whole: the product in 64-bit integers, the quotient in floating point, to the nearest
// integer with ties to even (the default rounding mode).
int Percent(int64_t part, int64_t whole) {
    const auto product = int64_t(uint64_t(part) * 100u);
    const double q = std::nearbyint(double(product) / double(whole));
    if (!std::isfinite(q) || q >= 9223372036854775808.0 || q < -9223372036854775808.0) return 0;
    return int(uint32_t(uint64_t(int64_t(q))));
}

} // namespace

void TKSUsagePercents::Update(const TSystemStatus& status) {
    if (status.PhysicalTotal() > 0)
        MemUsagePercent = Percent(status.PhysicalTotal() - status.PhysicalAvailable(), status.PhysicalTotal());
    if (status.CommitLimit() > 0) PageFileUsagePercent = Percent(status.CommitTotal(), status.CommitLimit());
}

int TrayPictureForUsage(int percent, int current) {
    if (percent == 0) return 1;
    if (percent < 0 || percent > 100) return current;
    return 2 + (percent - 1) / 10;
}

int TrayPictureForTick(bool antiDisturb, bool showTrayIcon, bool dynTrayIcon, int memPercent, int current) {
    if (antiDisturb) return 12;
    if (showTrayIcon && dynTrayIcon) return TrayPictureForUsage(memPercent, current);
    return current;
}

int TrayPictureForStateChange(bool antiDisturb, bool showTrayIcon, bool dynTrayIcon) {
    if (!showTrayIcon) return -1;
    if (antiDisturb) return 12;
    return dynTrayIcon ? 1 : 0;
}

QString CpuPanelCaption(const TOrvMultiLangs& langs, const TSystemStatus& status) {
    // Each line ends with a line feed followed by a carriage return.
    const QString br = QStringLiteral("\n\r");
    QString text = FormatTemplate(langs.GetText(QStringLiteral("String.CPUUsage")) + QStringLiteral(" %d %%"),
                                  {status.GetCPUUsage(0)});
    const uint32_t n = status.ProcessorCount();
    if (n > 1) {
        text += br + QString(12, QChar(0x2500));
        const QString core = langs.GetText(QStringLiteral("String.CPUCore")) + QStringLiteral(" %d: %d %%");
        for (uint32_t i = 1; i <= n; ++i) text += br + FormatTemplate(core, {i, status.GetCPUUsage(i)});
    }
    return text + br;
}

QString MemPanelCaption(const TOrvMultiLangs& langs, const TSystemStatus& status, int memPercent) {
    return langs.FormatText(
        QStringLiteral("FormKSMain.pnlOverviewMEM.Caption"),
        {memPercent, FormatSize(uint64_t(status.PhysicalTotal()), 2),
         FormatSize(uint64_t(status.PhysicalAvailable()), 2), FormatSize(uint64_t(status.SystemCache()), 2)});
}

QString PfPanelCaption(const TOrvMultiLangs& langs, const TSystemStatus& status, int pfPercent) {
    return langs.FormatText(
        QStringLiteral("FormKSMain.pnlOverviewPF.Caption"),
        {pfPercent, FormatSize(uint64_t(status.CommitLimit()), 2), FormatSize(uint64_t(status.CommitTotal()), 2),
         FormatSize(uint64_t(status.CommitPeak()), 2)});
}

QString TrayHint(const TOrvMultiLangs& langs, int memPercent, bool antiDisturb) {
    QString hint = langs.FormatText(QStringLiteral("FormKSMain.TrayIcon.Hint"), {memPercent});
    if (antiDisturb) hint += langs.GetText(QStringLiteral("FormKSMain.TrayIcon.Hint.AntiDist"));
    return hint;
}

} // namespace kestrum
