#pragma once
#include <QString>
#include <cstdint>

namespace kestrum {

// Font styles as a bit set.
enum TOrvFontStyle : unsigned {
    fsBold = 1,
    fsItalic = 2,
    fsUnderline = 4,
    fsStrikeOut = 8,
};

// A localized font as the language packs describe it; the windows turn it into their own font objects.
class TOrvFontDesc {
public:
    // The window-text system colour: what a font has until a pack gives it one.
    static constexpr uint32_t DefaultColor = 0xFF000008;
    static constexpr int DefaultSize = 8;

    TOrvFontDesc() = default;
    TOrvFontDesc(QString name, unsigned style, int size, uint32_t color)
        : Name(std::move(name)), Style(style), Size(size), Color(color) {}
    virtual ~TOrvFontDesc() = default;

    QString Name = QStringLiteral("Tahoma");
    unsigned Style = 0;            // TOrvFontStyle bits
    int Size = DefaultSize;        // points
    uint32_t Color = DefaultColor; // 0x00BBGGRR; the high bit set names a system colour

    bool Bold() const { return Style & fsBold; }
    bool Italic() const { return Style & fsItalic; }
    bool Underline() const { return Style & fsUnderline; }
    bool StrikeOut() const { return Style & fsStrikeOut; }
    bool IsSystemColor() const { return Color & 0x80000000u; }
    int Red() const { return int(Color & 0xFF); }
    int Green() const { return int((Color >> 8) & 0xFF); }
    int Blue() const { return int((Color >> 16) & 0xFF); }

    // "face;BBGGRR;size;[fsBold,...]": each present part sets its property; a colour or size that is not
    // a number, and unknown style words, leave the default.
    static TOrvFontDesc FromDescription(const QString& value);
    QString ToDescription() const;

    bool operator==(const TOrvFontDesc& other) const {
        return Name == other.Name && Style == other.Style && Size == other.Size && Color == other.Color;
    }
};

} // namespace kestrum
