#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrum {

// One optimization as the gains chart and the cost display see it: its gain, and what it cost in the time
// after it once that has been measured.
struct TKSRunCostRecord {
    QDateTime Time; // when the run ended
    bool Manual = true;
    int64_t Before = 0, After = 0; // available memory, bytes
    bool HasCost = false;
    uint32_t WindowMs = 0;
    uint64_t Taken = 0, CameBack = 0, MajorFaults = 0, RefaultBytes = 0;
    std::optional<double> Pressure; // percent
    QStringList CameStraightBack;

    int64_t Gain() const { return After - Before; }
};

// The runs and their costs, a text file per day beside the history ("<yyyyMMdd>.runs" in the history
// folder, which the history's reader does not list and whose deletion takes along). Lines are only ever
// appended: a run's line when it ends, its cost's line when the watch after it is over. Damaged or unknown
// lines are skipped.
class TKSRunCostLog {
public:
    explicit TKSRunCostLog(QString folder) : FFolder(std::move(folder)) {}

    QString DayFile(const QDate& day) const;
    bool AppendRun(const QDateTime& time, bool manual, int64_t before, int64_t after);
    bool AppendCost(const QDateTime& time, const TKSRunCostRecord& cost);
    // The runs of the days from begin to end, oldest first, each with its cost where one was written.
    std::vector<TKSRunCostRecord> Load(const QDate& begin, const QDate& end) const;

private:
    bool Append(const QDate& day, const QString& line);
    QString FFolder;
};

} // namespace kestrum
