#pragma once
// JSON documents: a tree of value objects, a lenient parser (JSONTokener) and a compact serializer.
//
// Two escaping layers are part of the format: a _String keeps its text already escaped ("/" as "\/",
// line feed as "\n" ...), and the serializer escapes that stored text once more when it writes it.
//
// Ownership: a TJSONObject or TJSONArray owns its values. Values travel as TJSONValuePtr, whose deleter
// never frees the three shared constants (JSONFalse, JSONTrue, JSONNull), so a shared constant can sit in
// any number of containers.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "support/_OrvJSONExceptions.h"

namespace kestrum {

class TZAbstractObject;
class JSONTokener;

struct TJSONValueDeleter {
    void operator()(TZAbstractObject* value) const noexcept;
};
using TJSONValuePtr = std::unique_ptr<TZAbstractObject, TJSONValueDeleter>;

// Base of every value and of the tokenizer.
class TZAbstractObject {
public:
    constexpr TZAbstractObject() = default;
    TZAbstractObject(const TZAbstractObject&) = delete;
    TZAbstractObject& operator=(const TZAbstractObject&) = delete;
    virtual ~TZAbstractObject() = default;

    // True only for the very same instance unless a class says otherwise.
    virtual bool IsSame(const TZAbstractObject* other) const;
    // A new independent value; raises NotImplmentedFeature where a class has no copy of its own.
    virtual TJSONValuePtr Duplicate() const;
    // Class name and address ("%s <%p>") unless a class says otherwise.
    virtual QString AsText() const;
    virtual QString ClassName() const { return QStringLiteral("TZAbstractObject"); }

    // One of the three shared constants, which no container ever releases.
    bool IsShared() const noexcept;
};

class _Number : public TZAbstractObject {
public:
    virtual double AsFloat() const = 0;
    virtual int32_t AsInt() const = 0;
    QString ClassName() const override { return QStringLiteral("_Number"); }
};

class _Integer : public _Number {
public:
    explicit _Integer(int32_t value) : FValue(value) {}
    TJSONValuePtr Duplicate() const override;
    QString AsText() const override;
    QString ClassName() const override { return QStringLiteral("_Integer"); }
    double AsFloat() const override { return FValue; }
    int32_t AsInt() const override { return FValue; }

private:
    int32_t FValue;
};

class _Double : public _Number {
public:
    explicit _Double(double value) : FValue(value) {}
    TJSONValuePtr Duplicate() const override;
    // General format, up to 15 significant digits, "." as decimal separator ("1.5", "1E20", "1E-5").
    QString AsText() const override;
    QString ClassName() const override { return QStringLiteral("_Double"); }
    double AsFloat() const override { return FValue; }
    // Truncated toward zero; values beyond the 32-bit range saturate, NaN gives 0.
    int32_t AsInt() const override;

private:
    double FValue;
};

class _Boolean : public TZAbstractObject {
public:
    constexpr explicit _Boolean(bool value) : FValue(value) {}
    TJSONValuePtr Duplicate() const override;
    QString AsText() const override;
    QString ClassName() const override { return QStringLiteral("_Boolean"); }
    bool Value() const { return FValue; }

private:
    bool FValue;
};

// A text, stored escaped: "\" "\\", "/" "\/", double quote "\"", CR "\r", LF "\n", tab "\t".
class _String : public TZAbstractObject {
public:
    explicit _String(const QString& text);
    // Same stored text (case-sensitive).
    bool IsSame(const TZAbstractObject* other) const override;
    TJSONValuePtr Duplicate() const override;
    // The stored, escaped text.
    QString AsText() const override { return FText; }
    QString ClassName() const override { return QStringLiteral("_String"); }

private:
    struct TStored {};
    _String(const QString& stored, TStored) : FText(stored) {}
    QString FText;
};

// The JSON null. (The system names this class NULL, which C++ reserves for its null-pointer macro.)
class _NULL : public TZAbstractObject {
public:
    constexpr _NULL() = default;
    // True for no object and for any null value.
    bool IsSame(const TZAbstractObject* other) const override;
    QString AsText() const override { return QStringLiteral("null"); }
    QString ClassName() const override { return QStringLiteral("NULL"); }
};

// The shared constants, alive for the whole program run.
_Boolean* JSONFalse() noexcept;
_Boolean* JSONTrue() noexcept;
_NULL* JSONNull() noexcept;

// The serializer's quoting of one text.
QString QuoteText(const QString& text);

class TJSONObject : public TZAbstractObject {
public:
    TJSONObject();
    // Parses text as an object; anything after the closing brace is ignored. Raises ParseException.
    explicit TJSONObject(const QString& text);
    explicit TJSONObject(JSONTokener& tokener);
    ~TJSONObject() override;

    // The value of the first member with the key (case-insensitive), or nullptr. Empty key: NullPointerException.
    TZAbstractObject* Lookup(const QString& key) const;
    // Lookup, raising NoSuchElementException when missing.
    TZAbstractObject& Fetch(const QString& key) const;
    bool HasKey(const QString& key) const;
    // True when the member is missing or null.
    bool IsNullAt(const QString& key) const;
    bool FetchBool(const QString& key) const;
    double FetchFloat(const QString& key) const;
    int32_t FetchInt(const QString& key) const;
    TJSONObject& FetchObject(const QString& key) const;
    // The value's text with the storage escapes undone.
    QString FetchText(const QString& key) const;
    QStringList KeyNames() const;

    TJSONObject& StoreBool(const QString& key, bool value);
    TJSONObject& StoreInt(const QString& key, int32_t value);
    TJSONObject& StoreText(const QString& key, const QString& text);
    // Replaces the first member with the key in place, or appends one; no value removes the member.
    TJSONObject& StoreValue(const QString& key, TJSONValuePtr value);
    // Removes the first member with the key and hands its value to the caller; nullptr when absent.
    TJSONValuePtr Detach(const QString& key);

    QString AsText() const override;
    // A deep copy: same keys, member order and values.
    TJSONValuePtr Duplicate() const override;
    QString ClassName() const override { return QStringLiteral("TJSONObject"); }

    // Appends the serialized form to out (the serializer's building block).
    void AppendText(QString& out) const;

private:
    using TMember = std::pair<QString, TJSONValuePtr>;
    std::vector<TMember>::const_iterator Find(const QString& key) const;
    std::vector<TMember>::iterator Find(const QString& key);
    static TJSONValuePtr CopyValue(const TZAbstractObject* value);

    std::vector<TMember> FMembers;
};

class TJSONArray : public TZAbstractObject {
public:
    explicit TJSONArray(JSONTokener& tokener);
    ~TJSONArray() override;

    int Count() const { return int(FElements.size()); }
    // The elements' value texts joined by the separator; an empty element gives "null".
    QString JoinValues(const QString& separator) const;
    QString AsText() const override;
    QString ClassName() const override { return QStringLiteral("TJSONArray"); }

    void AppendText(QString& out) const;

private:
    friend class TJSONObject; // deep copy of the arrays inside a duplicated object
    TJSONArray() = default;

    std::vector<TJSONValuePtr> FElements; // nullptr = empty element
};

// Appends the serializer's text for one value (nullptr and null give "null").
void AppendValueText(QString& out, const TZAbstractObject* value);

} // namespace kestrum
