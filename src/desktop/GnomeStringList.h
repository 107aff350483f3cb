#pragma once
#include <QString>
#include <QStringList>
#include <optional>

namespace kestrum {

// gsettings' printed string lists ("@as []", "['/a/', '/b/']") read and written; kept apart from the
// command that uses them so that the parser can be tried on any text alone.
class TGnomeStringList {
public:
    // Nothing where the text is no such list.
    static std::optional<QStringList> Parse(const QString& text);
    static QString Format(const QStringList& items);
    // A GVariant string, so gsettings reads a name or command as it is written.
    static QString Quoted(QString s);
};

} // namespace kestrum
