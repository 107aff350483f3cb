#include "support/_OrvJSONTokener.h"

#include "support/KSUtils.h"
#include "support/_OrvJSONNumbers.h"

namespace kestrum {

namespace {

// Characters that end an unquoted token.
bool EndsToken(QChar c) {
    switch (c.unicode()) {
        case u',':
        case u':':
        case u']':
        case u'}':
        case u'/':
        case u'\\':
        case u'"':
        case u'[':
        case u'{':
        case u';':
        case u'=':
        case u'#':
            return true;
        default:
            return c.unicode() < 32;
    }
}

bool IsLineEnd(QChar c) {
    return c.isNull() || c == u'\n' || c == u'\r';
}

} // namespace

JSONTokener::JSONTokener(const QString& source) : FSource(source) {}

JSONTokener::TDepthGuard::TDepthGuard(JSONTokener& tokener) : FTokener(tokener) {
    if (FTokener.FDepth >= MaxDepth) throw FTokener.MakeError(QStringLiteral("Nesting too deep"));
    ++FTokener.FDepth;
}

// Reading characters --------------------------------------------------------------------------------------

bool JSONTokener::HasMore() const {
    return FPos <= FSource.size() + 1;
}

QChar JSONTokener::ReadChar() {
    if (!HasMore()) return QChar();
    QChar c = FPos <= FSource.size() ? FSource[FPos - 1] : QChar();
    ++FPos;
    return c;
}

void JSONTokener::StepBack() {
    if (FPos > 1) --FPos;
}

QString JSONTokener::ReadChars(int n) {
    if (FPos + n > FSource.size()) throw MakeError(QStringLiteral("Substring bounds error"));
    QString part = FSource.mid(FPos - 1, n);
    FPos += n;
    return part;
}

QChar JSONTokener::SkipBlanks() {
    for (;;) {
        QChar c = ReadChar();
        if (c == u'#') {
            while (!IsLineEnd(ReadChar())) {
            }
            continue;
        }
        if (c == u'/') {
            QChar next = ReadChar();
            if (next == u'*') {
                for (;;) {
                    QChar d = ReadChar();
                    if (d.isNull()) throw MakeError(QStringLiteral("Unclosed comment."));
                    if (d == u'*') {
                        if (ReadChar() == u'/') break;
                        StepBack();
                    }
                }
                continue;
            }
            if (next == u'/') {
                while (!IsLineEnd(ReadChar())) {
                }
                continue;
            }
            StepBack();
            return c;
        }
        if (c.isNull() || c.unicode() > 32) return c;
    }
}

QString JSONTokener::ReadQuoted(QChar quote) {
    QString text;
    for (;;) {
        // Copy the plain characters up to the next one that needs a look in bulk.
        qsizetype start = FPos - 1, i = start;
        for (; i < FSource.size(); ++i) {
            QChar p = FSource[i];
            if (p == quote || p == u'\\' || IsLineEnd(p)) break;
        }
        if (i > start) {
            text.append(FSource.constData() + start, i - start);
            FPos = i + 1;
        }
        QChar c = ReadChar();
        if (IsLineEnd(c)) throw MakeError(QStringLiteral("Unterminated string"));
        if (c == quote) return text;
        if (c != u'\\') {
            text += c;
            continue;
        }
        c = ReadChar();
        switch (c.unicode()) {
            case u't':
                text += u'\t';
                break;
            case u'n':
                text += u'\n';
                break;
            case u'f':
                text += u'\f';
                break;
            case u'r':
                text += u'\r';
                break;
            case u'u': {
                QString digits = ReadChars(4);
                int32_t code = 0;
                if (!json::ReadHexDigits(digits, code))
                    throw EConvertError(("'$" + digits + "' is not a valid integer value").toStdString());
                text += QChar(char16_t(code));
                break;
            }
            default:
                // Anything else stands for itself; at the very end it is the character 0 and the next read
                // reports the string as unterminated.
                text += c;
        }
    }
}

// Values --------------------------------------------------------------------------------------------------

TJSONValuePtr JSONTokener::ReadValue() {
    QChar c = SkipBlanks();
    if (c == u'"' || c == u'\'') return TJSONValuePtr(new _String(ReadQuoted(c)));
    if (c == u'[') {
        StepBack();
        return TJSONValuePtr(new TJSONArray(*this));
    }
    if (c == u'{') {
        StepBack();
        return TJSONValuePtr(new TJSONObject(*this));
    }
    return ReadToken(c);
}

TJSONValuePtr JSONTokener::ReadToken(QChar first) {
    qsizetype start = FPos - 2; // index of `first`, which has been read
    QChar c = first;
    while (!EndsToken(c)) c = ReadChar();
    StepBack();
    qsizetype end = FPos - 1; // index of the character that ended the token
    QString token = json::TrimBlanks(QStringView(FSource).mid(start, qMax<qsizetype>(0, end - start))).toString();
    if (token.isEmpty()) throw MakeError(QStringLiteral("Missing value."));

    if (token.compare(u"true", Qt::CaseInsensitive) == 0) return TJSONValuePtr(JSONTrue());
    if (token.compare(u"false", Qt::CaseInsensitive) == 0) return TJSONValuePtr(JSONFalse());
    if (token.compare(u"null", Qt::CaseInsensitive) == 0) return TJSONValuePtr(JSONNull());

    QChar head = token[0];
    bool numeric = (head >= u'0' && head <= u'9') || head == u'.' || head == u'-' || head == u'+';
    if (!numeric) return TJSONValuePtr(new _String(token)); // "O" and "o" included

    int32_t integer = 0;
    if (token.size() > 2 && (token.startsWith(u"0x") || token.startsWith(u"0X")) &&
        json::ReadHexDigits(QStringView(token).mid(2), integer))
        return TJSONValuePtr(new _Integer(integer));
    double number = 0;
    if (json::ReadFloat(token, number)) return TJSONValuePtr(new _Double(number));
    if (json::ReadInteger(token, integer)) return TJSONValuePtr(new _Integer(integer));
    return TJSONValuePtr(new _String(token));
}

ParseException JSONTokener::MakeError(const QString& reason) const {
    QString near = FPos >= 1 && FPos <= FSource.size() ? FSource.mid(FPos - 1, 10) : QString();
    return ParseException(reason + AsText() + QStringLiteral(" próximo a : ") + near +
                          QStringLiteral("\n\r erro no caracter : %1").arg(FPos));
}

QString JSONTokener::AsText() const {
    return QStringLiteral(" at character ") + QString::number(FPos) + QStringLiteral(" of ") + FSource;
}

// Parsing objects and arrays ------------------------------------------------------------------------------

TJSONObject::TJSONObject(const QString& text) {
    JSONTokener tokener(text);
    TJSONObject parsed(tokener);
    FMembers = std::move(parsed.FMembers);
}

TJSONObject::TJSONObject(JSONTokener& x) {
    JSONTokener::TDepthGuard depth(x);
    if (x.SkipBlanks() != u'{') throw x.MakeError(QStringLiteral("A TJSONObject must begin with \"{\""));
    for (;;) {
        QChar c = x.SkipBlanks();
        if (c.isNull()) throw x.MakeError(QStringLiteral("A TJSONObject must end with \"}\""));
        if (c == u'}') return;
        x.StepBack();

        QString key = x.ReadValue()->AsText();

        c = x.SkipBlanks();
        if (c == u'=') {
            if (x.ReadChar() != u'>') x.StepBack();
        } else if (c != u':') {
            throw x.MakeError(QStringLiteral("Expected a \":\" after a key"));
        }
        // Appended without a lookup: a repeated key gives a second member.
        FMembers.emplace_back(std::move(key), x.ReadValue());

        c = x.SkipBlanks();
        if (c == u',' || c == u';') {
            if (x.SkipBlanks() == u'}') return;
            x.StepBack();
        } else if (c == u'}') {
            return;
        } else {
            throw x.MakeError(QStringLiteral("Expected a \",\" or \"}\""));
        }
    }
}

TJSONArray::TJSONArray(JSONTokener& x) {
    JSONTokener::TDepthGuard depth(x);
    if (x.SkipBlanks() != u'[') throw x.MakeError(QStringLiteral("A TJSONArray must start with \"[\""));
    while (x.SkipBlanks() != u']') {
        x.StepBack();
        if (x.SkipBlanks() == u',') {
            x.StepBack();
            FElements.push_back(nullptr);
        } else {
            x.StepBack();
            FElements.push_back(x.ReadValue());
        }
        QChar c = x.SkipBlanks();
        if (c == u']') return;
        if (c != u',' && c != u';') throw x.MakeError(QStringLiteral("Expected a \",\" or \"]\""));
    }
}

} // namespace kestrum
