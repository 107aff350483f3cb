#include "support/_OrvJSONNumbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace kestrum::json {

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int HexValue(QChar c) {
    char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    return -1;
}

} // namespace

QStringView TrimBlanks(QStringView text) {
    qsizetype first = 0, last = text.size();
    while (first < last && text[first].unicode() <= 32) ++first;
    while (last > first && text[last - 1].unicode() <= 32) --last;
    return text.mid(first, last - first);
}

bool ReadFloat(QStringView text, double& value) {
    qsizetype i = 0, n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
    qsizetype digits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
        qsizetype exponentDigits = 0;
        while (i < n && IsDigit(text[i])) ++i, ++exponentDigits;
        if (exponentDigits == 0) return false;
    }
    if (i != n) return false;

    // Only ASCII is left; from_chars neither reads the locale nor accepts a leading "+".
    char small[64];
    std::string large;
    char* ascii = small;
    if (n >= qsizetype(sizeof small)) {
        large.resize(size_t(n));
        ascii = large.data();
    }
    for (qsizetype k = 0; k < n; ++k) ascii[k] = char(text[k].unicode());
    const char* first = ascii[0] == '+' ? ascii + 1 : ascii;
    double result = 0;
    auto [end, ec] = std::from_chars(first, ascii + n, result);
    if (ec != std::errc() || end != ascii + n || !std::isfinite(result)) return false;
    value = result;
    return true;
}

bool ReadHexDigits(QStringView digits, int32_t& value) {
    if (digits.isEmpty()) return false;
    uint32_t sum = 0;
    for (QChar c : digits) {
        int d = HexValue(c);
        if (d < 0) return false;
        sum = sum * 16u + uint32_t(d);
    }
    value = int32_t(sum);
    return true;
}

bool ReadInteger(QStringView text, int32_t& value) {
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    QStringView rest = text.mid(i);
    if (rest.isEmpty()) return false;

    int64_t magnitude = 0;
    if (rest.startsWith(u'$') || rest.startsWith(u"0x") || rest.startsWith(u"0X")) {
        QStringView digits = rest.mid(rest.startsWith(u'$') ? 1 : 2);
        if (digits.isEmpty() || digits.size() > 8) return false;
        int32_t bits = 0;
        if (!ReadHexDigits(digits, bits)) return false;
        magnitude = int64_t(uint32_t(bits));
        value = int32_t(uint32_t(negative ? 0u - uint32_t(magnitude) : uint32_t(magnitude)));
        return true;
    }
    for (QChar c : rest) {
        if (!IsDigit(c)) return false;
        magnitude = magnitude * 10 + (c.unicode() - u'0');
        if (magnitude > int64_t(std::numeric_limits<int32_t>::max()) + 1) return false;
    }
    int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int32_t>::max()) return false;
    value = int32_t(signedValue);
    return true;
}

QString FormatFloat(double value) {
    // Whole numbers below 15 digits print as integers in the general format; skip the formatter for them.
    if (std::abs(value) < 1e15 && value == std::trunc(value) && !(value == 0 && std::signbit(value)))
        return QString::number(int64_t(value));
    char buffer[64];
    int length = std::snprintf(buffer, sizeof buffer, "%.15G", value);
    QString text = QString::fromLatin1(buffer, length);
    // "%G" writes "1E+15" and "1E-05"; the general format writes "1E15" and "1E-5".
    qsizetype e = text.indexOf(u'E');
    if (e < 0) return text;
    QStringView exponent = QStringView(text).mid(e + 1);
    bool negative = exponent.startsWith(u'-');
    if (negative || exponent.startsWith(u'+')) exponent = exponent.mid(1);
    while (exponent.size() > 1 && exponent.startsWith(u'0')) exponent = exponent.mid(1);
    return text.left(e + 1) + (negative ? QStringLiteral("-") : QString()) + exponent.toString();
}

double RoundHalfEven(double value) {
    double whole = std::floor(value);
    double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) return whole + 1;
    return whole;
}

int32_t SaturateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= double(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    if (value <= double(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    return int32_t(value);
}

} // namespace kestrum::json
