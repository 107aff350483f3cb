#pragma once
#include <QString>
#include <stdexcept>

namespace kestrum {

// A profile file could not be written ("Unable to write to <path>").
class EIniFileException : public std::runtime_error {
public:
    explicit EIniFileException(const QString& path)
        : std::runtime_error(QStringLiteral("Unable to write to %1").arg(path).toStdString()), FPath(path) {}
    const QString& Path() const { return FPath; }

private:
    QString FPath;
};

} // namespace kestrum
