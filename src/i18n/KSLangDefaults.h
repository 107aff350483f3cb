#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

namespace kestrum {

class TOrvMultiLangs;

// The interface text catalogue: every key the windows and the program logic ask for, with its built-in
// English default (written with the escape codes of the language packs), and the built-in fonts.

struct TLangText {
    const char16_t* Key;
    const char16_t* Text;
};
struct TLangFontRes {
    int Number;
    const char16_t* Name;
    unsigned Style;
    int Size;
    uint32_t Color;
};
struct TLangFontSet {
    const char16_t* Key;
    int Number;
};

// In registration order.
std::span<const TLangFontRes> DefaultFontRes();
std::span<const TLangFontSet> DefaultFontSets();
std::span<const TLangText> DefaultTexts();
// Keys the program asks for that have no default: empty unless a language pack supplies them.
QStringList KeysWithoutDefault();
// Font keys the main window asks for beyond the default references.
QStringList FontKeysWithoutDefault();

// The OnMakeDefault handler: registers the fonts, the font references and the texts, in that order.
void MultiLangsMakeDefault(TOrvMultiLangs* langs);

// "<appDir>Langs/<number>/Kestrum.ini"; appDir ends with "/".
QString LangPackFileName(const QString& appDir, int languageNumber);
// The same below the data folder GetAppDir() names.
QString LangPackFileName(int languageNumber);

} // namespace kestrum
