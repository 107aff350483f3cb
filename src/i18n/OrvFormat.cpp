#include "i18n/OrvFormat.h"

namespace kestrum {

namespace {

// A width, precision or index: digits, or "*" taking the next integer argument. False when there is no
// such argument or the number lies beyond MaxFormatWidth (checked digit by digit, so a long digit run cannot
// overflow).
bool ReadNumber(const QString& f, qsizetype& i, const TFormatArgs& args, size_t& next, int& value) {
    if (i < f.size() && f[i] == u'*') {
        ++i;
        if (next >= args.size() || !args[next].IsInteger()) return false;
        const int64_t v = args[next++].Integer();
        if (v < -MaxFormatWidth || v > MaxFormatWidth) return false;
        value = int(v);
        return true;
    }
    value = 0;
    while (i < f.size() && f[i].isDigit() && f[i].unicode() < 128) {
        value = value * 10 + (f[i++].unicode() - u'0');
        if (value > MaxFormatWidth) return false;
    }
    return true;
}

QString Pad(const QString& text, int width, bool left) {
    if (width <= text.size()) return text;
    const QString fill(width - int(text.size()), u' ');
    return left ? text + fill : fill + text;
}

} // namespace

QString FormatTemplate(const QString& f, const TFormatArgs& args, bool* ok) {
    if (ok) *ok = false;
    QString out;
    size_t next = 0;
    qsizetype i = 0;
    const qsizetype n = f.size();
    while (i < n) {
        const QChar c = f[i++];
        if (c != u'%') {
            out += c;
            continue;
        }
        if (i >= n) return {};
        if (f[i] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        // [index ":"] ["-"] [width] ["." precision] type
        int number = 0;
        const qsizetype start = i;
        const size_t argsBefore = next;
        if (i < n && (f[i] == u'*' || f[i].isDigit())) {
            if (!ReadNumber(f, i, args, next, number)) return {};
            if (i < n && f[i] == u':') {
                if (number < 0 || size_t(number) >= args.size()) return {};
                next = size_t(number);
                ++i;
            } else {
                // Not an index: read it again as the width.
                i = start;
                next = argsBefore;
            }
        }
        bool left = false;
        if (i < n && f[i] == u'-') {
            left = true;
            ++i;
        }
        int width = 0, precision = -1;
        if (i < n && (f[i] == u'*' || f[i].isDigit())) {
            if (!ReadNumber(f, i, args, next, width)) return {};
        }
        if (i < n && f[i] == u'.') {
            ++i;
            if (!ReadNumber(f, i, args, next, precision)) return {};
        }
        if (i >= n) return {};
        const QChar type = f[i++].toLower();
        if (next >= args.size()) return {};
        const TFormatArg& arg = args[next++];
        QString piece;
        if (type == u's') {
            if (arg.IsInteger()) return {};
            piece = arg.Text();
            if (precision >= 0 && precision < piece.size()) piece.truncate(precision);
        } else if (type == u'd' || type == u'u' || type == u'x') {
            if (!arg.IsInteger()) return {};
            int64_t v = arg.Integer();
            bool negative = false;
            if (type == u'd') {
                negative = v < 0;
                piece = QString::number(negative ? -(unsigned long long)v : (unsigned long long)v);
            } else {
                // Unsigned views take the value's 32-bit pattern when it fits one.
                const uint64_t u = (v >= INT32_MIN && v <= UINT32_MAX) ? uint64_t(uint32_t(v)) : uint64_t(v);
                piece = QString::number(u, type == u'x' ? 16 : 10).toUpper();
            }
            if (precision > piece.size()) piece = QString(precision - int(piece.size()), u'0') + piece;
            if (negative) piece.prepend(u'-');
        } else {
            return {};
        }
        out += Pad(piece, width, left);
    }
    if (ok) *ok = true;
    return out;
}

} // namespace kestrum
