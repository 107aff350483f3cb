#include "store/OrvLogItem.h"

#include "support/DataFolder.h"

#include "store/OrvLogManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrum {

namespace {

// Seconds between writing a record and making sure it reached the disk.
constexpr int SyncDelaySeconds = 10;

// Makes sure the file's data reached the disk, later and on a thread of its own, then closes `fd`. False
// when no thread could be started (the caller then waits itself).
// Making sure flushes the whole disk's cache, and records are written right after a freeing run filled
// it with swap: every read waits for the flush meanwhile, the window's page faults too (half a second
// and more on a virtual disk). The writing itself starts at once; a few seconds later the disk has
// emptied its cache by itself and the flush costs nothing.
bool SyncInBackground(int fd) {
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    try {
        std::thread([fd] {
            std::this_thread::sleep_for(std::chrono::seconds(SyncDelaySeconds));
            ::fdatasync(fd);
            ::close(fd);
        }).detach();
        return true;
    } catch (...) {
        return false;
    }
}

constexpr qint64 MSecsPerDay = 86400000;
const QDate DayZero(1899, 12, 30);

// Whole-day number and milliseconds of the day; the time of day of a negative value counts forwards too.
void Split(TDateTime value, qint64& days, qint64& msecs) {
    if (value >= 0) {
        const qint64 total = std::llround(value * double(MSecsPerDay));
        days = total / MSecsPerDay;
        msecs = total % MSecsPerDay;
        return;
    }
    days = static_cast<qint64>(std::trunc(value));
    msecs = std::llround((double(days) - value) * double(MSecsPerDay));
    if (msecs >= MSecsPerDay) {
        days -= 1;
        msecs -= MSecsPerDay;
    }
}

// A decimal integer with an optional sign; anything else (also an absent piece) counts as 0.
int Piece(const QString& text, int from, int length) {
    bool ok = false;
    const int value = text.mid(from, length).toInt(&ok, 10);
    return ok ? value : 0;
}

bool NeedsQuotes(const QString& field, QChar delimiter) {
    for (QChar c : field) {
        if ((c.unicode() >= 1 && c.unicode() <= 32) || c == u'"' || c == delimiter) return true;
    }
    return false;
}

QString SystemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool IsBlank(QChar c) {
    return c.unicode() >= 1 && c.unicode() <= 32;
}

// A line break inside a quoted field is written as a quote and a letter: a writer of the plain format only
// ever follows a quote inside a field by another quote, and a closing quote by the delimiter or the line's
// end, so lines written before read exactly as they did. A delimiter that is itself the letter takes the
// capital instead.
QChar LineFeedLetter(QChar delimiter) {
    return delimiter == u'n' ? u'N' : u'n';
}
QChar ReturnLetter(QChar delimiter) {
    return delimiter == u'r' ? u'R' : u'r';
}

// The character an escape letter stands for, or NUL when `c` is no escape letter.
QChar Unescape(QChar c, QChar delimiter) {
    if (c == delimiter) return QChar();
    if (c == u'n' || c == u'N') return QChar(u'\n');
    if (c == u'r' || c == u'R') return QChar(u'\r');
    return QChar();
}

} // namespace

TDateTime DateFromQt(const QDate& value) {
    return double(DayZero.daysTo(value));
}

// Date and time of day without a QDateTime, whose local-time handling costs a time-zone lookup each.
TDateTime EncodeDateTime(const QDate& date, const QTime& time) {
    const double days = double(DayZero.daysTo(date));
    const double frac = double(time.msecsSinceStartOfDay()) / double(MSecsPerDay);
    return days >= 0 ? days + frac : days - frac;
}

bool DecodeDateTime(TDateTime value, QDate& date, QTime& time) {
    qint64 days = 0, msecs = 0;
    Split(value, days, msecs);
    date = DayZero.addDays(days);
    time = QTime::fromMSecsSinceStartOfDay(int(msecs));
    return date.isValid() && date.year() >= 1 && date.year() <= 9999;
}

TDateTime DateTimeFromQt(const QDateTime& value) {
    return EncodeDateTime(value.date(), value.time());
}

QDateTime DateTimeToQt(TDateTime value) {
    QDate date;
    QTime time;
    if (!DecodeDateTime(value, date, time)) return {};
    return QDateTime(date, time);
}

QDate DateOfDateTime(TDateTime value) {
    qint64 days = 0, msecs = 0;
    Split(value, days, msecs);
    return DayZero.addDays(days);
}

QString DateTimeToStamp(TDateTime value) {
    if (value == 0) return QStringLiteral("00000000000000000");
    QDate d;
    QTime t;
    DecodeDateTime(value, d, t);
    return QString::asprintf("%.4d%.2d%.2d%.2d%.2d%.2d%.3d", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second(), t.msec());
}

TDateTime StampToDateTime(const QString& text) {
    const int n = int(text.size());
    const int year = n > 3 ? Piece(text, 0, 4) : 0;
    const int month = n > 5 ? Piece(text, 4, 2) : 0;
    const int day = n > 7 ? Piece(text, 6, 2) : 0;
    const int hour = n > 9 ? Piece(text, 8, 2) : 0;
    const int minute = n > 11 ? Piece(text, 10, 2) : 0;
    const int second = n > 13 ? Piece(text, 12, 2) : 0;
    const int msec = n > 16 ? Piece(text, 14, 3) : 0;
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day)) return 0;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
        return 0;
    return EncodeDateTime(QDate(year, month, day), QTime(hour, minute, second, msec));
}

QString DateToStamp(TDateTime value) {
    if (value == 0) return QStringLiteral("00000000");
    const QDate d = DateOfDateTime(value);
    return QString::asprintf("%.4d%.2d%.2d", d.year(), d.month(), d.day());
}

TDateTime StampToDate(const QString& text) {
    const QString head = text.left(8);
    const int n = int(head.size());
    const int year = n > 3 ? Piece(head, 0, 4) : 0;
    const int month = n > 5 ? Piece(head, 4, 2) : 0;
    const int day = n > 7 ? Piece(head, 6, 2) : 0;
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day)) return 0;
    return DateFromQt(QDate(year, month, day));
}

namespace logline {

QString EncodeFields(const QStringList& fields, QChar delimiter) {
    if (fields.size() == 1 && fields.front().isEmpty()) return QStringLiteral("\"\"");
    QString out;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) out += delimiter;
        const QString& f = fields[i];
        if (NeedsQuotes(f, delimiter)) {
            out += u'"';
            for (QChar c : f) {
                if (c == u'"') {
                    out += u"\"\""_qs;
                } else if (c == u'\n') {
                    out += u'"';
                    out += LineFeedLetter(delimiter);
                } else if (c == u'\r') {
                    out += u'"';
                    out += ReturnLetter(delimiter);
                } else {
                    out += c;
                }
            }
            out += u'"';
        } else {
            out += f;
        }
    }
    return out;
}

QStringList Tokenize(const QString& line, QChar delimiter) {
    QStringList tokens;
    // A NUL ends the line, as it would for a NUL-terminated buffer.
    const qsizetype nul = line.indexOf(QChar(0));
    const QStringView s = nul < 0 ? QStringView(line) : QStringView(line).left(nul);
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n && IsBlank(s[i])) ++i;
    while (i < n) {
        QString token;
        if (s[i] == u'"') {
            ++i;
            while (i < n) {
                if (s[i] == u'"') {
                    if (i + 1 < n && s[i + 1] == u'"') {
                        token += u'"';
                        i += 2;
                        continue;
                    }
                    if (i + 1 < n) {
                        if (const QChar c = Unescape(s[i + 1], delimiter); !c.isNull()) {
                            token += c;
                            i += 2;
                            continue;
                        }
                    }
                    ++i;
                    break;
                }
                token += s[i++];
            }
        } else {
            const qsizetype start = i;
            while (i < n && s[i].unicode() > 32 && s[i] != delimiter) ++i;
            token = s.mid(start, i - start).toString();
        }
        tokens.append(token);
        while (i < n && IsBlank(s[i])) ++i;
        if (i < n && s[i] == delimiter) {
            if (i == n - 1) tokens.append(QString());
            ++i;
            while (i < n && IsBlank(s[i])) ++i;
        }
    }
    return tokens;
}

} // namespace logline

TOrvLogItem::TOrvLogItem(TOrvLogManager* manager) : FManager(manager) {
    if (manager) {
        Index = manager->Count();
        Time = manager->Now();
    } else {
        Time = DateTimeFromQt(QDateTime::currentDateTime());
    }
}

TOrvLogItem::TOrvLogItem(TOrvLogManager* manager, TDateTime time) : Time(time), FManager(manager) {
    if (manager) Index = manager->Count();
}

QChar TOrvLogItem::Delimter() const {
    return FManager ? FManager->Delimter() : QChar(u'|');
}

QString TOrvLogItem::ToLine() const {
    const QString d(Delimter());
    return DateTimeToStamp(Time) + d + QString::number(Code) + d + logline::EncodeFields(Fields, Delimter());
}

bool TOrvLogItem::Append() const {
    if (!FManager || Index < FManager->LoadedCount()) return false;
    const QString path = FManager->LogFile();
    QByteArray line = (ToLine() + QStringLiteral("\r\n")).toUtf8();

    std::lock_guard<std::mutex> lock(TOrvLogManager::LogLock());
    if (path.isEmpty()) throw EInOutError("Cannot append a log line: no log file");
    const QByteArray name = QFile::encodeName(path);
    if (const QString why = DataPathProblem(path); !why.isEmpty())
        throw EInOutError(QStringLiteral("Cannot open %1: %2").arg(path, why).toStdString());
    if (!QFileInfo::exists(path)) QDir().mkpath(QFileInfo(path).absolutePath());
    // Never through a link: whoever placed it would choose which file our record lands in.
    QString why;
    const int fd = OpenNoFollow(path, O_RDWR | O_APPEND | O_CREAT, 0644, &why);
    if (fd < 0)
        throw EInOutError(
            QStringLiteral("Cannot open %1: %2").arg(path, why.isEmpty() ? SystemError(errno) : why).toStdString());
    // A file whose last line was cut short (a full disk, a crash) gets its line ended first, so the new
    // record does not run into it and both stay readable.
    struct stat st {};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n')
        line.prepend("\r\n");
    int error = 0;
    const char* p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        p += n;
        left -= n;
    }
    // The record goes to disk at once; making sure it arrived happens later, off this thread.
    if (error == 0) {
        const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0 || !SyncInBackground(copy)) {
            if (copy >= 0) ::close(copy);
            if (::fdatasync(fd) != 0 && errno != EINVAL) error = errno;
        }
    }
    if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
    if (error != 0)
        throw EInOutError(QStringLiteral("Cannot write %1: %2").arg(path, SystemError(error)).toStdString());
    return true;
}

} // namespace kestrum
