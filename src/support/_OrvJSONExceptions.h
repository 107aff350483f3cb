#pragma once
// The JSON library's errors. Every one carries its message as text; what() gives it in UTF-8.
#include <QString>
#include <stdexcept>

namespace kestrum {

class JSONException : public std::runtime_error {
public:
    explicit JSONException(const QString& message) : std::runtime_error(message.toStdString()), FMessage(message) {}
    const QString& Message() const noexcept { return FMessage; }

private:
    QString FMessage;
};

// A syntax error; the message names the reason, the position and the text around it.
class ParseException : public JSONException {
public:
    using JSONException::JSONException;
};

// A missing member, or a member that is not an object where one is asked for.
class NoSuchElementException : public JSONException {
public:
    using JSONException::JSONException;
};

// A member that is not a Boolean where one is asked for.
class ClassCastException : public JSONException {
public:
    using JSONException::JSONException;
};

// A member that is not a number where one is asked for.
class NumberFormatException : public JSONException {
public:
    using JSONException::JSONException;
};

// An empty member key.
class NullPointerException : public JSONException {
public:
    using JSONException::JSONException;
};

// Duplicate of a value that has no copy of its own.
class NotImplmentedFeature : public JSONException {
public:
    using JSONException::JSONException;
};

} // namespace kestrum
