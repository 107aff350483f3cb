#include "app/KSArt.h"

#include "i18n/OrvFontDesc.h"

namespace kestrum {

TOrvPicture Art(const QString& name) {
    TOrvPicture p;
    p.LoadFromFile(QStringLiteral(":/assets/") + name);
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
