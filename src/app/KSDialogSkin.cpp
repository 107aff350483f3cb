#include "app/KSDialogSkin.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QTextLayout>

#include "i18n/OrvFontDesc.h"
#include "i18n/OrvMultiLangs.h"
#include "skin/OrvColor.h"
#include "skin/OrvSkinManager.h"

namespace kestrum {

TOrvPicture DialogArt(const QString& name) {
    TOrvPicture p;
    p.LoadFromFile(u":/assets/"_qs + name);
    return p;
}

void ArrangeDialogSkin(TOrvSkinManager& skin, QWidget& form) {
    skin.SetBackColor(DialogBackColor);
    skin.SetTransColor(true);
    skin.SetFormStyle(fsFixed);
    const char* pieces[8] = {"topleft", "top", "topright", "left", "right", "bottomleft", "bottom", "bottomright"};
    for (int i = 0; i < 8; ++i)
        skin.Frame().SetPicture(TFramePiece(i),
                                DialogArt(u"skin/dialog/frame_"_qs + QLatin1String(pieces[i]) + u".png"_qs));
    skin.Icon().SetPicNormal(DialogArt(u"skin/caption/icon_dialog.png"_qs));
    skin.Icon().SetPosX(9);
    skin.Icon().SetPosY(9);
    TSkinButton& close = skin.BtnClose();
    close.SetPicNormal(DialogArt(u"skin/caption/close_normal.png"_qs));
    close.SetPicMouseHover(DialogArt(u"skin/caption/close_hover.png"_qs));
    close.SetPicMouseDown(DialogArt(u"skin/caption/close_pressed.png"_qs));
    close.SetPicDisabled(DialogArt(u"skin/caption/close_disabled.png"_qs));
    close.SetPosX(form.width() - 30);
    close.SetPosY(5);
    skin.BtnMin().SetVisible(false);
    skin.BtnMax().SetVisible(false);
    skin.Title().SetPosX(30);
    skin.Title().SetPosY(7);
    TOrvFont title = skin.Title().Font();
    title.Font = QFont(u"Tahoma"_qs, 8, QFont::Bold);
    title.Color = Qt::white;
    skin.Title().SetFont(title);
    skin.ApplySkin();
    for (QLabel* label : form.findChildren<QLabel*>()) label->setAutoFillBackground(false);
    QCoreApplication::processEvents();
}

QString ElideWrapped(const QString& text, const QFont& font, const QSize& box) {
    QFontMetrics fm(font);
    const int maxLines = std::max(1, box.height() / std::max(1, fm.lineSpacing()));
    QStringList lines;
    const QStringList paragraphs = text.split(u'\n');
    for (qsizetype p = 0; p < paragraphs.size(); ++p) {
        QTextLayout layout(paragraphs[p], font);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(box.width());
            const QString part = paragraphs[p].mid(line.textStart(), line.textLength());
            if (int(lines.size()) == maxLines - 1) {
                // The last line that fits takes the rest of the text, cut at the end.
                QString rest = paragraphs[p].mid(line.textStart());
                for (qsizetype q = p + 1; q < paragraphs.size(); ++q) rest += u' ' + paragraphs[q];
                lines << fm.elidedText(rest.trimmed(), Qt::ElideRight, box.width());
                layout.endLayout();
                return lines.join(u'\n');
            }
            lines << part.trimmed();
        }
        layout.endLayout();
    }
    return lines.join(u'\n');
}

TOrvFont ToOrvFont(const TOrvFontDesc& d) {
    TOrvFont f;
    f.Font = QFont(d.Name, d.Size);
    f.Font.setBold(d.Bold());
    f.Font.setItalic(d.Italic());
    f.Font.setUnderline(d.Underline());
    f.Font.setStrikeOut(d.StrikeOut());
    f.Color = ToQColor(d.Color);
    return f;
}

bool LookupFont(const TOrvMultiLangs& langs, const QString& key, TOrvFont& font) {
    const TOrvFontDesc* d = langs.GetFontSet(key);
    if (!d) return false;
    font = ToOrvFont(*d);
    return true;
}

} // namespace kestrum
