// libFuzzer target for language packs: any pack file loads, every text it holds formats with the program's
// arguments without a hang or a huge allocation, and its fonts read without a crash.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "i18n/EIniFileException.h"
#include "i18n/OrvMultiLangs.h"
#include "support/IniFile.h"

using namespace kestrum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const QString path = fuzz::Folder() + QStringLiteral("Kestrum.ini");
    fuzz::WriteFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    TOrvMultiLangs langs;
    try {
        langs.LoadFromFile(path);
    } catch (const EIniFileException&) {
        return 0; // the selection mark could not be written: the documented error
    }
    const TIniFile ini(path);
    for (const auto& [key, value] : ini.ReadSectionValues(QStringLiteral("LANG_ITEMS"))) {
        const QString text = langs.GetText(key);
        // The program's argument shapes: a percentage, sizes as text, a version.
        (void)langs.FormatText(key, {37});
        (void)langs.FormatText(key, {u"1.00 GB"_qs, u"1.50 GB"_qs, u"512.00 MB"_qs});
        (void)langs.FormatText(key, {37, u"16.00 GB"_qs, u"8.00 GB"_qs, u"2.00 GB"_qs});
        (void)text;
    }
    for (const auto& [key, value] : ini.ReadSectionValues(QStringLiteral("FONT_SET"))) (void)langs.GetFontSet(key);
    for (int i = 0; i < 4; ++i) (void)langs.GetFontRes(i);
    (void)TOrvMultiLangs::DecodeText(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
