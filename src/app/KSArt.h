#pragma once
#include <QFont>
#include <QString>

#include "skin/OrvPicture.h"

namespace kestrum {

class TOrvFontDesc;

// A picture of the embedded artwork (":/assets/<name>"); an empty picture, which draws nothing, when absent.
TOrvPicture Art(const QString& name);

// A localized font description as a font object; `fallback` when there is none.
QFont FontFromDesc(const TOrvFontDesc* desc, const QFont& fallback);

} // namespace kestrum
