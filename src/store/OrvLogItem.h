#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace kestrum {

class TOrvLogManager;

// Days since 1899-12-30 with the time of day as fraction; the value log stamps and history dates are
// computed on. Dates before that day are negative with the time of day still counted forwards.
using TDateTime = double;

TDateTime DateTimeFromQt(const QDateTime& value);
TDateTime DateFromQt(const QDate& value);
// Invalid for values outside the years 1..9999.
QDateTime DateTimeToQt(TDateTime value);
// Date and time of day; false outside the years 1..9999.
bool DecodeDateTime(TDateTime value, QDate& date, QTime& time);
TDateTime EncodeDateTime(const QDate& date, const QTime& time);
// The date part only (1899-12-30 for 0).
QDate DateOfDateTime(TDateTime value);

// "yyyymmddhhnnsszzz"; 17 zeros for exactly 0.
QString DateTimeToStamp(TDateTime value);
// 0 when the text does not name a valid date and time.
TDateTime StampToDateTime(const QString& text);
// "yyyymmdd"; 8 zeros for exactly 0.
QString DateToStamp(TDateTime value);
// The date at midnight, or 0.
TDateTime StampToDate(const QString& text);

// An appended log line could not be written; carries the path and the system's reason.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One line of a log file: a time stamp, an integer code and text fields.
class TOrvLogItem {
public:
    // Stamped with the manager's current time; Index is the manager's record count at this moment.
    explicit TOrvLogItem(TOrvLogManager* manager = nullptr);
    TOrvLogItem(TOrvLogManager* manager, TDateTime time);

    TOrvLogManager* Manager() const { return FManager; }

    int Index = -1;
    TDateTime Time = 0;
    int Code = 0;
    QStringList Fields;

    QChar Delimter() const;
    QString ToLine() const;
    // Appends the line to the manager's file. False for a record that was read from the file (or has no
    // manager); throws EInOutError when the file cannot be opened or written.
    bool Append() const;

private:
    TOrvLogManager* FManager = nullptr;
};

namespace logline {
// A field is quoted when it holds a control character, a space, a double quote or the delimiter.
QString EncodeFields(const QStringList& fields, QChar delimiter);
// Splits a line into tokens; quoted tokens may hold anything, a doubled quote stands for one.
QStringList Tokenize(const QString& line, QChar delimiter);
} // namespace logline

} // namespace kestrum
