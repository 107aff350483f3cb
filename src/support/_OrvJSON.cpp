#include "support/_OrvJSON.h"

#include <cmath>
#include <string>

#include "support/KSUtils.h"
#include "support/_OrvJSONNumbers.h"
#include "support/_OrvJSONTokener.h"

namespace kestrum {

namespace {

// Constant-initialised, so they exist before any other code of the program runs.
constinit _Boolean gFalse(false);
constinit _Boolean gTrue(true);
constinit _NULL gNull;

// A stored text escapes these characters as a backslash followed by the code at the same index.
constexpr char16_t kStoredChars[] = u"\\/\"\r\n\t";
constexpr char16_t kStoredCodes[] = u"\\/\"rnt";
constexpr qsizetype kStoredCount = 6;

const char16_t* FindIn(const char16_t* set, QChar c) {
    return std::char_traits<char16_t>::find(set, kStoredCount, c.unicode());
}

QString EscapeText(const QString& text) {
    QString out;
    qsizetype run = 0; // start of the characters not copied yet
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t* hit = FindIn(kStoredChars, text[i]);
        if (!hit) continue;
        if (run == 0) out.reserve(text.size() + 16);
        out.append(text.constData() + run, i - run);
        out += u'\\';
        out += QChar(kStoredCodes[hit - kStoredChars]);
        run = i + 1;
    }
    if (run == 0) return text; // nothing to escape: share the text
    out.append(text.constData() + run, text.size() - run);
    return out;
}

// The exact inverse of EscapeText, in one pass: replacing one escape after the other would turn a stored
// backslash followed by "n" (a text "\n") into a line feed.
QString UnescapeText(const QString& text) {
    qsizetype i = text.indexOf(u'\\');
    if (i < 0) return text;
    QString out;
    out.reserve(text.size());
    qsizetype run = 0;
    for (; i >= 0 && i + 1 < text.size(); i = text.indexOf(u'\\', i)) {
        const char16_t* hit = FindIn(kStoredCodes, text[i + 1]);
        if (!hit) {
            ++i;
            continue;
        }
        out.append(text.constData() + run, i - run);
        out += QChar(kStoredChars[hit - kStoredCodes]);
        i += 2;
        run = i;
    }
    out.append(text.constData() + run, text.size() - run);
    return out;
}

void AppendQuoted(QString& out, const QString& text) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    if (text.isEmpty()) {
        out += u"\"\"";
        return;
    }
    out += u'"';
    const QChar* s = text.constData();
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t u = s[i].unicode();
        bool plain;
        if (u < 32)
            plain = u == 8 || u == 9 || u == 10 || u == 12 || u == 13; // copied unchanged
        else
            // Only "</" is escaped, so the text can sit inside an HTML script element.
            plain = u != u'"' && u != u'\\' && !(u == u'/' && i > 0 && s[i - 1] == u'<');
        if (plain) continue;
        out.append(s + run, i - run);
        if (u < 32) {
            out += u"\\u00";
            out += QChar(kHex[u >> 4]);
            out += QChar(kHex[u & 15]);
        } else {
            out += u'\\';
            out += s[i];
        }
        run = i + 1;
    }
    out.append(s + run, text.size() - run);
    out += u'"';
}

} // namespace

// Shared constants and ownership --------------------------------------------------------------------------

_Boolean* JSONFalse() noexcept {
    return &gFalse;
}
_Boolean* JSONTrue() noexcept {
    return &gTrue;
}
_NULL* JSONNull() noexcept {
    return &gNull;
}

void TJSONValueDeleter::operator()(TZAbstractObject* value) const noexcept {
    if (value && !value->IsShared()) delete value;
}

bool TZAbstractObject::IsShared() const noexcept {
    return this == &gFalse || this == &gTrue || this == &gNull;
}

// Scalars -------------------------------------------------------------------------------------------------

bool TZAbstractObject::IsSame(const TZAbstractObject* other) const {
    return other == this;
}

TJSONValuePtr TZAbstractObject::Duplicate() const {
    throw NotImplmentedFeature(QStringLiteral("JSON: Not Implmented!"));
}

QString TZAbstractObject::AsText() const {
    QString address = QString::number(quintptr(this), 16).toUpper().rightJustified(int(sizeof(void*) * 2), u'0');
    return ClassName() + QStringLiteral(" <") + address + u'>';
}

TJSONValuePtr _Integer::Duplicate() const {
    return TJSONValuePtr(new _Integer(FValue));
}
QString _Integer::AsText() const {
    return QString::number(FValue);
}

TJSONValuePtr _Double::Duplicate() const {
    return TJSONValuePtr(new _Double(FValue));
}
QString _Double::AsText() const {
    return json::FormatFloat(FValue);
}
int32_t _Double::AsInt() const {
    return json::SaturateToInt(std::trunc(FValue));
}

TJSONValuePtr _Boolean::Duplicate() const {
    return TJSONValuePtr(new _Boolean(FValue));
}
QString _Boolean::AsText() const {
    return FValue ? QStringLiteral("true") : QStringLiteral("false");
}

_String::_String(const QString& text) : FText(EscapeText(text)) {}

bool _String::IsSame(const TZAbstractObject* other) const {
    auto* s = dynamic_cast<const _String*>(other);
    return s && s->FText == FText;
}

TJSONValuePtr _String::Duplicate() const {
    return TJSONValuePtr(new _String(FText, TStored{}));
}

bool _NULL::IsSame(const TZAbstractObject* other) const {
    return !other || dynamic_cast<const _NULL*>(other) != nullptr;
}

// Serializer ----------------------------------------------------------------------------------------------

QString QuoteText(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    AppendQuoted(out, text);
    return out;
}

void AppendValueText(QString& out, const TZAbstractObject* value) {
    if (!value || dynamic_cast<const _NULL*>(value)) {
        out += u"null";
    } else if (auto* s = dynamic_cast<const _String*>(value)) {
        AppendQuoted(out, s->AsText());
    } else if (auto* o = dynamic_cast<const TJSONObject*>(value)) {
        o->AppendText(out);
    } else if (auto* a = dynamic_cast<const TJSONArray*>(value)) {
        a->AppendText(out);
    } else if (dynamic_cast<const _Number*>(value) || dynamic_cast<const _Boolean*>(value)) {
        out += value->AsText();
    } else {
        AppendQuoted(out, value->AsText());
    }
}

// TJSONObject ---------------------------------------------------------------------------------------------

TJSONObject::TJSONObject() = default;
TJSONObject::~TJSONObject() = default;

std::vector<TJSONObject::TMember>::const_iterator TJSONObject::Find(const QString& key) const {
    for (auto it = FMembers.cbegin(); it != FMembers.cend(); ++it)
        if (it->first.compare(key, Qt::CaseInsensitive) == 0) return it;
    return FMembers.cend();
}

std::vector<TJSONObject::TMember>::iterator TJSONObject::Find(const QString& key) {
    for (auto it = FMembers.begin(); it != FMembers.end(); ++it)
        if (it->first.compare(key, Qt::CaseInsensitive) == 0) return it;
    return FMembers.end();
}

TZAbstractObject* TJSONObject::Lookup(const QString& key) const {
    if (key.isEmpty()) throw NullPointerException(QStringLiteral("Null key"));
    auto it = Find(key);
    return it == FMembers.cend() ? nullptr : it->second.get();
}

TZAbstractObject& TJSONObject::Fetch(const QString& key) const {
    TZAbstractObject* value = Lookup(key);
    if (!value)
        throw NoSuchElementException(QStringLiteral("TJSONObject[") + QuoteText(key) + QStringLiteral("] not found."));
    return *value;
}

bool TJSONObject::HasKey(const QString& key) const {
    return Lookup(key) != nullptr;
}

bool TJSONObject::IsNullAt(const QString& key) const {
    return gNull.IsSame(Lookup(key));
}

bool TJSONObject::FetchBool(const QString& key) const {
    TZAbstractObject& value = Fetch(key);
    // Any Boolean counts, not only the shared constants: a duplicated Boolean is still a Boolean.
    if (auto* b = dynamic_cast<const _Boolean*>(&value)) return b->Value();
    if (dynamic_cast<const _String*>(&value)) {
        QString text = value.AsText();
        if (text.compare(u"false", Qt::CaseInsensitive) == 0) return false;
        if (text.compare(u"true", Qt::CaseInsensitive) == 0) return true;
    }
    throw ClassCastException(QStringLiteral("TJSONObject[") + QuoteText(key) + QStringLiteral("] is not a Boolean."));
}

double TJSONObject::FetchFloat(const QString& key) const {
    TZAbstractObject& value = Fetch(key);
    if (auto* n = dynamic_cast<const _Number*>(&value)) return n->AsFloat();
    if (dynamic_cast<const _String*>(&value)) {
        QString text = json::TrimBlanks(value.AsText()).toString();
        double result = 0;
        if (!json::ReadFloat(text, result))
            throw EConvertError(("'" + text + "' is not a valid floating point value").toStdString());
        return result;
    }
    throw NumberFormatException(QStringLiteral("TJSONObject[") + QuoteText(key) + QStringLiteral("] is not a number."));
}

int32_t TJSONObject::FetchInt(const QString& key) const {
    if (auto* n = dynamic_cast<const _Number*>(Lookup(key))) return n->AsInt();
    return json::SaturateToInt(json::RoundHalfEven(FetchFloat(key)));
}

TJSONObject& TJSONObject::FetchObject(const QString& key) const {
    auto* o = dynamic_cast<TJSONObject*>(&Fetch(key));
    if (!o)
        throw NoSuchElementException(QStringLiteral("TJSONObject[") + QuoteText(key) +
                                     QStringLiteral("] is not a TJSONObject."));
    return *o;
}

QString TJSONObject::FetchText(const QString& key) const {
    return UnescapeText(Fetch(key).AsText());
}

QStringList TJSONObject::KeyNames() const {
    QStringList names;
    names.reserve(qsizetype(FMembers.size()));
    for (const auto& m : FMembers) names.append(m.first);
    return names;
}

TJSONObject& TJSONObject::StoreBool(const QString& key, bool value) {
    return StoreValue(key, TJSONValuePtr(value ? JSONTrue() : JSONFalse()));
}

TJSONObject& TJSONObject::StoreInt(const QString& key, int32_t value) {
    return StoreValue(key, TJSONValuePtr(new _Integer(value)));
}

TJSONObject& TJSONObject::StoreText(const QString& key, const QString& text) {
    return StoreValue(key, TJSONValuePtr(new _String(text)));
}

TJSONObject& TJSONObject::StoreValue(const QString& key, TJSONValuePtr value) {
    if (key.isEmpty()) throw NullPointerException(QStringLiteral("Null key."));
    if (!value) {
        Detach(key); // the detached value is released here, unless it is a shared constant
        return *this;
    }
    auto it = Find(key);
    if (it != FMembers.end())
        it->second = std::move(value);
    else
        FMembers.emplace_back(key, std::move(value));
    return *this;
}

TJSONValuePtr TJSONObject::Detach(const QString& key) {
    auto it = Find(key);
    if (it == FMembers.end()) return nullptr;
    TJSONValuePtr value = std::move(it->second);
    FMembers.erase(it);
    return value;
}

void TJSONObject::AppendText(QString& out) const {
    out += u'{';
    bool first = true;
    // Each member with its own value: a repeated key keeps every value it was given.
    for (const auto& m : FMembers) {
        if (!first) out += u',';
        first = false;
        AppendQuoted(out, m.first);
        out += u':';
        AppendValueText(out, m.second.get());
    }
    out += u'}';
}

QString TJSONObject::AsText() const {
    QString out;
    AppendText(out);
    return out;
}

// Copies member by member: a round trip through the text would escape the stored strings a second time,
// turn integers into doubles and lose the values of repeated keys.
TJSONValuePtr TJSONObject::Duplicate() const {
    auto copy = std::make_unique<TJSONObject>();
    copy->FMembers.reserve(FMembers.size());
    for (const auto& m : FMembers) copy->FMembers.emplace_back(m.first, CopyValue(m.second.get()));
    return TJSONValuePtr(copy.release());
}

// TJSONArray ----------------------------------------------------------------------------------------------

TJSONArray::~TJSONArray() = default;

QString TJSONArray::JoinValues(const QString& separator) const {
    QString out;
    for (size_t i = 0; i < FElements.size(); ++i) {
        if (i) out += separator;
        AppendValueText(out, FElements[i].get());
    }
    return out;
}

void TJSONArray::AppendText(QString& out) const {
    out += u'[';
    for (size_t i = 0; i < FElements.size(); ++i) {
        if (i) out += u',';
        AppendValueText(out, FElements[i].get());
    }
    out += u']';
}

QString TJSONArray::AsText() const {
    QString out;
    AppendText(out);
    return out;
}

TJSONValuePtr TJSONObject::CopyValue(const TZAbstractObject* value) {
    if (!value) return nullptr;
    if (value->IsShared()) return TJSONValuePtr(const_cast<TZAbstractObject*>(value));
    if (dynamic_cast<const _NULL*>(value)) return TJSONValuePtr(JSONNull());
    if (auto* a = dynamic_cast<const TJSONArray*>(value)) {
        std::unique_ptr<TJSONArray> copy(new TJSONArray());
        copy->FElements.reserve(a->FElements.size());
        for (const auto& e : a->FElements) copy->FElements.push_back(CopyValue(e.get()));
        return TJSONValuePtr(copy.release());
    }
    return value->Duplicate();
}

} // namespace kestrum
