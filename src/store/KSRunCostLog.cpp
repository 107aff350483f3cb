#include "store/KSRunCostLog.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <map>

namespace kestrum {

namespace {

const QString TimeFormat = u"yyyy-MM-ddTHH:mm:ss.zzz"_qs;

QString Names(const QStringList& names) {
    QStringList out;
    for (const QString& n : names) out << QString::fromLatin1(QUrl::toPercentEncoding(n));
    return out.join(u',');
}

QStringList ParseNames(const QString& text) {
    QStringList out;
    for (const QString& n : text.split(u',', Qt::SkipEmptyParts)) out << QUrl::fromPercentEncoding(n.toLatin1());
    return out;
}

} // namespace

QString TKSRunCostLog::DayFile(const QDate& day) const {
    return QDir(FFolder).filePath(day.toString(u"yyyyMMdd"_qs) + u".runs"_qs);
}

bool TKSRunCostLog::Append(const QDate& day, const QString& line) {
    if (!QDir().mkpath(FFolder)) return false;
    QFile f(DayFile(day));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const QByteArray bytes = (line + u'\n').toUtf8();
    return f.write(bytes) == bytes.size();
}

bool TKSRunCostLog::AppendRun(const QDateTime& time, bool manual, int64_t before, int64_t after) {
    return Append(time.date(), u"run|%1|manual=%2|before=%3|after=%4"_qs.arg(time.toString(TimeFormat))
                                   .arg(manual ? 1 : 0)
                                   .arg(before)
                                   .arg(after));
}

bool TKSRunCostLog::AppendCost(const QDateTime& time, const TKSRunCostRecord& c) {
    QString line = u"cost|%1|window=%2|taken=%3|back=%4|majflt=%5|refault=%6"_qs.arg(time.toString(TimeFormat))
                       .arg(c.WindowMs)
                       .arg(c.Taken)
                       .arg(c.CameBack)
                       .arg(c.MajorFaults)
                       .arg(c.RefaultBytes);
    if (c.Pressure) line += u"|psi="_qs + QString::number(*c.Pressure, 'f', 2);
    if (!c.CameStraightBack.isEmpty()) line += u"|straight="_qs + Names(c.CameStraightBack);
    return Append(time.date(), line);
}

std::vector<TKSRunCostRecord> TKSRunCostLog::Load(const QDate& begin, const QDate& end) const {
    std::vector<TKSRunCostRecord> out;
    if (!begin.isValid() || !end.isValid() || begin > end) return out;
    // Only the files that are there: a custom range may span years.
    const QStringList files = QDir(FFolder).entryList({u"*.runs"_qs}, QDir::Files, QDir::Name);
    for (const QString& name : files) {
        const QDate day = QDate::fromString(name.left(8), u"yyyyMMdd"_qs);
        if (!day.isValid() || day < begin || day > end) continue;
        QFile f(QDir(FFolder).filePath(name));
        if (!f.open(QIODevice::ReadOnly)) continue;
        std::map<QString, size_t> byTime; // a cost line finds its run by the run's time
        while (!f.atEnd()) {
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            const QStringList parts = line.split(u'|');
            if (parts.size() < 2) continue;
            const QDateTime time = QDateTime::fromString(parts[1], TimeFormat);
            if (!time.isValid()) continue;
            std::map<QString, QString> v;
            for (qsizetype i = 2; i < parts.size(); ++i) {
                const qsizetype eq = parts[i].indexOf(u'=');
                if (eq > 0) v[parts[i].left(eq)] = parts[i].mid(eq + 1);
            }
            if (parts[0] == u"run"_qs) {
                TKSRunCostRecord r;
                r.Time = time;
                r.Manual = v[u"manual"_qs] != u"0"_qs;
                r.Before = v[u"before"_qs].toLongLong();
                r.After = v[u"after"_qs].toLongLong();
                byTime[parts[1]] = out.size();
                out.push_back(r);
            } else if (parts[0] == u"cost"_qs) {
                const auto it = byTime.find(parts[1]);
                if (it == byTime.end()) continue; // its run's line is lost: nothing to attach it to
                TKSRunCostRecord& r = out[it->second];
                r.HasCost = true;
                r.WindowMs = v[u"window"_qs].toUInt();
                r.Taken = v[u"taken"_qs].toULongLong();
                r.CameBack = v[u"back"_qs].toULongLong();
                r.MajorFaults = v[u"majflt"_qs].toULongLong();
                r.RefaultBytes = v[u"refault"_qs].toULongLong();
                bool ok = false;
                const double psi = v[u"psi"_qs].toDouble(&ok);
                if (ok) r.Pressure = psi;
                r.CameStraightBack = ParseNames(v[u"straight"_qs]);
            }
        }
    }
    return out;
}

} // namespace kestrum
