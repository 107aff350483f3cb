#include "app/KSArt.h"

#include <QHash>

#include "i18n/OrvFontDesc.h"

namespace kestrum {

TOrvPicture Art(const QString& name) {
    // The artwork is embedded and never changes: each picture is decoded once (several controls share
    // some, and dialogs come and go); copies share the decoded frames.
    static QHash<QString, TOrvPicture> decoded;
    auto it = decoded.constFind(name);
    if (it != decoded.constEnd()) return *it;
    TOrvPicture p;
    p.LoadFromFile(QStringLiteral(":/assets/") + name);
    decoded.insert(name, p);
    return p;
}

QFont FontFromDesc(const TOrvFontDesc* desc, const QFont& fallback) {
    if (!desc) return fallback;
    QFont f(desc->Name);
    f.setPointSize(desc->Size > 0 ? desc->Size : TOrvFontDesc::DefaultSize);
    f.setBold(desc->Bold());
    f.setItalic(desc->Italic());
    f.setUnderline(desc->Underline());
    f.setStrikeOut(desc->StrikeOut());
    return f;
}

} // namespace kestrum
