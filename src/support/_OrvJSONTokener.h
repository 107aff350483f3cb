#pragma once
// The lenient JSON reader: comments ("#", "//", "/* */"), "=" or "=>" after keys, ";" between members,
// single-quoted and unquoted strings, hexadecimal integers, and a trailing separator before "]" or "}".
#include <QString>

#include "support/_OrvJSON.h"

namespace kestrum {

class JSONTokener : public TZAbstractObject {
public:
    // Deeper nesting of arrays and objects is refused, so hostile input cannot exhaust the stack.
    static constexpr int MaxDepth = 512;

    explicit JSONTokener(const QString& source);

    // 1-based position of the next character; one past the end reads as the character 0.
    qsizetype Position() const { return FPos; }

    void StepBack();
    bool HasMore() const;
    QChar ReadChar();
    QString ReadChars(int n);
    // The next character that is not blank and not inside a comment (0 at the end).
    QChar SkipBlanks();
    // The text up to the closing quote, with backslash escapes resolved; called after the opening quote.
    QString ReadQuoted(QChar quote);
    TJSONValuePtr ReadValue();
    ParseException MakeError(const QString& reason) const;
    QString AsText() const override;
    QString ClassName() const override { return QStringLiteral("JSONTokener"); }

private:
    friend class TJSONObject;
    friend class TJSONArray;
    // Counts one level of nesting for the lifetime of an array or object being parsed.
    class TDepthGuard {
    public:
        explicit TDepthGuard(JSONTokener& tokener);
        ~TDepthGuard() { --FTokener.FDepth; }
        TDepthGuard(const TDepthGuard&) = delete;
        TDepthGuard& operator=(const TDepthGuard&) = delete;

    private:
        JSONTokener& FTokener;
    };

    TJSONValuePtr ReadToken(QChar first);

    QString FSource;
    qsizetype FPos = 1;
    int FDepth = 0;
};

} // namespace kestrum
