#pragma once
#include "i18n/OrvFontDesc.h"

#include <QString>
#include <array>
#include <cstdint>

namespace kestrum {

// One entry: a text value or a font.
struct TOrvHashItem {
    TOrvHashItem* Next = nullptr; // next older entry of the same bucket
    QString Key;
    QString Value;
    TOrvFontDesc* Font = nullptr;
};

// String-keyed table with 255 chained buckets. Entries are only ever added, at the head of their chain,
// so a newer entry hides an older one with the same key: that is how a language pack overrides the
// defaults while every key it leaves out keeps its earlier value. Keys compare case-sensitively.
class TOrvHashTable {
public:
    static constexpr int BucketCount = 255;

    TOrvHashTable() : TOrvHashTable(true) {}
    // With ownsFonts the table frees the fonts of its entries on Clear.
    explicit TOrvHashTable(bool ownsFonts);
    virtual ~TOrvHashTable();
    TOrvHashTable(const TOrvHashTable&) = delete;
    TOrvHashTable& operator=(const TOrvHashTable&) = delete;

    // Rotate left by 2 and xor, over the UTF-16 code units.
    virtual uint32_t HashOf(const QString& key) const;
    int BucketOf(const QString& key) const { return int(HashOf(key) % BucketCount); }

    // The link that holds the newest entry with this key, or the empty link at the end of its chain.
    TOrvHashItem** FindSlot(const QString& key);

    QString GetValue(const QString& key) const;
    // Stays owned by the table.
    const TOrvHashItem* Find(const QString& key) const;
    const TOrvFontDesc* GetFont(const QString& key) const;

    void AddValue(const QString& key, const QString& value);
    // Takes the font over when the table owns fonts.
    void AddFont(const QString& key, TOrvFontDesc* font);
    void Clear();

    bool OwnsFonts() const { return FOwnsFonts; }

private:
    void AddItem(TOrvHashItem* item);

    bool FOwnsFonts;
    std::array<TOrvHashItem*, BucketCount> FBuckets{};
};

} // namespace kestrum
