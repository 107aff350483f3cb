#include "i18n/OrvFontDesc.h"

#include "support/KSUtils.h"

#include <QStringList>

namespace kestrum {

namespace {

struct TStyleWord {
    const char16_t* Word;
    TOrvFontStyle Style;
};
constexpr TStyleWord StyleWords[] = {
    {u"fsBold", fsBold}, {u"fsItalic", fsItalic}, {u"fsUnderline", fsUnderline}, {u"fsStrikeOut", fsStrikeOut}};

bool IsHexDigits(const QString& text) {
    if (text.isEmpty() || text.size() > 8) return false;
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) return false;
    return true;
}

} // namespace

TOrvFontDesc TOrvFontDesc::FromDescription(const QString& value) {
    TOrvFontDesc font;
    QStringList parts;
    SplitText(value, u';', parts);
    if (parts.size() > 0) font.Name = parts[0];
    if (parts.size() > 1 && IsHexDigits(parts[1])) font.Color = parts[1].toUInt(nullptr, 16);
    if (parts.size() > 2) {
        bool ok = false;
        const int size = parts[2].toInt(&ok, 10);
        if (ok) font.Size = size;
    }
    if (parts.size() > 3) {
        font.Style = 0;
        QString words = parts[3];
        words.remove(u'[').remove(u']');
        QStringList pieces;
        SplitText(words, u',', pieces);
        for (const QString& piece : pieces)
            for (const TStyleWord& w : StyleWords)
                if (piece.compare(QString::fromUtf16(w.Word), Qt::CaseInsensitive) == 0) font.Style |= w.Style;
    }
    return font;
}

QString TOrvFontDesc::ToDescription() const {
    QStringList words;
    for (const TStyleWord& w : StyleWords)
        if (Style & w.Style) words << QString::fromUtf16(w.Word);
    return QStringLiteral("%1;%2;%3;[%4]")
        .arg(Name, QString::number(Color, 16).toUpper(), QString::number(Size), words.join(u','));
}

} // namespace kestrum
