#include "store/KSRunPrograms.h"

#include <QStringList>
#include <QUrl>

namespace kestrum {

namespace {
// Everything else of a program name stays as it is, so the record stays readable.
const QByteArray kKeep = QByteArrayLiteral(" !\"#$&'()*+,/:<>?@[\\]^`{}~");
} // namespace

QString TKSRunPrograms::Encode(const TList& programs) {
    QStringList parts;
    for (const auto& [name, bytes] : programs) {
        if (parts.size() >= MaxPrograms) break;
        if (name.isEmpty()) continue;
        parts << QString::fromLatin1(QUrl::toPercentEncoding(name, kKeep)) + u'=' + QString::number(bytes);
    }
    return parts.join(u';');
}

TKSRunPrograms::TList TKSRunPrograms::Decode(const QString& text) {
    TList out;
    for (const QString& part : text.split(u';', Qt::SkipEmptyParts)) {
        if (static_cast<int>(out.size()) >= MaxPrograms) break;
        const qsizetype eq = part.lastIndexOf(u'=');
        if (eq <= 0) continue;
        bool ok = false;
        const uint64_t bytes = part.mid(eq + 1).toULongLong(&ok);
        if (!ok) continue;
        const QString name = QUrl::fromPercentEncoding(part.left(eq).toUtf8());
        if (!name.isEmpty()) out.emplace_back(name, bytes);
    }
    return out;
}

} // namespace kestrum
