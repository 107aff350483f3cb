#include "desktop/GnomeStringList.h"

namespace kestrum {

std::optional<QStringList> TGnomeStringList::Parse(const QString& text) {
    QString t = text.trimmed();
    if (t.startsWith(u"@as"_qs)) t = t.mid(3).trimmed();
    if (!t.startsWith(u'[') || !t.endsWith(u']')) return std::nullopt;
    QStringList items;
    qsizetype i = 1;
    const qsizetype end = t.size() - 1;
    auto skipSpace = [&] {
        while (i < end && t[i].isSpace()) ++i;
    };
    skipSpace();
    if (i == end) return items;
    while (true) {
        skipSpace();
        if (i >= end || (t[i] != u'\'' && t[i] != u'"')) return std::nullopt;
        const QChar quote = t[i++];
        QString item;
        while (i < end && t[i] != quote) {
            if (t[i] == u'\\' && i + 1 < end) ++i;
            item += t[i++];
        }
        if (i >= end) return std::nullopt; // unterminated
        ++i;
        items << item;
        skipSpace();
        if (i == end) return items;
        if (t[i] != u',') return std::nullopt;
        ++i;
    }
}

QString TGnomeStringList::Quoted(QString s) {
    s.replace(u'\\', u"\\\\"_qs);
    s.replace(u'\'', u"\\'"_qs);
    return u'\'' + s + u'\'';
}

QString TGnomeStringList::Format(const QStringList& items) {
    if (items.isEmpty()) return u"@as []"_qs;
    QStringList quoted;
    for (const QString& s : items) quoted << Quoted(s);
    return u'[' + quoted.join(u", "_qs) + u']';
}

} // namespace kestrum
