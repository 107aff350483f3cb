#pragma once
// What the settings dialog and the about box share: their picture frame and the fonts of the language packs.
#include <QString>

#include "skin/OrvFont.h"
#include "skin/OrvPicture.h"

class QFont;
class QSize;
class QWidget;

namespace kestrum {

class TOrvSkinManager;
class TOrvFontDesc;
class TOrvMultiLangs;

// The dialogs' background, RGB(230, 240, 255).
inline constexpr uint32_t DialogBackColor = 16773350;

// An embedded picture of the artwork (":/assets/<name>"); empty when missing, which draws nothing.
TOrvPicture DialogArt(const QString& name);

// The fixed-size dialog frame: frame pictures, caption icon at (9, 9), title at (30, 7) in white bold
// Tahoma, close button at (width - 30, 5), no minimize or maximize button, corners cut by the key colour.
// Labels are made transparent and pending events processed, so the form is laid out when it returns.
void ArrangeDialogSkin(TOrvSkinManager& skin, QWidget& form);

// The text word-wrapped into lines that fit the box, the last line that fits cut with an ellipsis when
// more would follow; lines joined by line breaks.
QString ElideWrapped(const QString& text, const QFont& font, const QSize& box);

// A pack's font description as the toolkit's font with its colour (system colours resolved).
TOrvFont ToOrvFont(const TOrvFontDesc& desc);
// The font set under `key`, when the catalogue has one.
bool LookupFont(const TOrvMultiLangs& langs, const QString& key, TOrvFont& font);

} // namespace kestrum
