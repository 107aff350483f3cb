#pragma once
#include <QString>
#include <cstdint>
#include <variant>
#include <vector>

namespace kestrum {

// One argument of a text template: an integer or a text.
class TFormatArg {
public:
    TFormatArg(int value) : FValue(int64_t(value)) {}
    TFormatArg(long value) : FValue(int64_t(value)) {}
    TFormatArg(long long value) : FValue(int64_t(value)) {}
    TFormatArg(unsigned value) : FValue(int64_t(value)) {}
    TFormatArg(QString value) : FValue(std::move(value)) {}
    TFormatArg(const char16_t* value) : FValue(QString::fromUtf16(value)) {}
    TFormatArg(const char* value) : FValue(QString::fromUtf8(value)) {}

    bool IsInteger() const { return std::holds_alternative<int64_t>(FValue); }
    int64_t Integer() const { return std::get<int64_t>(FValue); }
    const QString& Text() const { return std::get<QString>(FValue); }

private:
    std::variant<int64_t, QString> FValue;
};

using TFormatArgs = std::vector<TFormatArg>;

// Largest width, precision or argument index a template may ask for; a template asking for more does not fit.
inline constexpr int MaxFormatWidth = 1024;

// Fills a template the way the interface texts are written: "%s" text, "%d" integer, "%u" unsigned, "%x"
// hexadecimal, "%%" a percent sign, each with the optional "<index>:", "-", width and ".precision" parts
// ("*" takes them from the arguments). Sets ok to false, and gives an empty text, when the template does
// not fit the arguments (a missing argument, a text where a number is wanted or the reverse, an unknown
// conversion, a number beyond MaxFormatWidth). Surplus arguments are ignored.
QString FormatTemplate(const QString& format, const TFormatArgs& args, bool* ok = nullptr);

} // namespace kestrum
