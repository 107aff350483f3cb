#include "QtPrint.h"
#include "i18n/OrvHashTable.h"

#include <gtest/gtest.h>

using namespace kestrum;

namespace {

// Counts live fonts so the test sees which ones the table frees.
struct TCountedFont : TOrvFontDesc {
    static inline int Alive = 0;
    TCountedFont() { ++Alive; }
    ~TCountedFont() override { --Alive; }
};

} // namespace

TEST(HashTable, HashRotatesAndXorsCodeUnits) {
    TOrvHashTable table;
    EXPECT_EQ(table.HashOf("abc"), 2043u);
    EXPECT_EQ(table.BucketOf("abc"), 3);
    EXPECT_EQ(table.HashOf(""), 0u);
    EXPECT_EQ(table.BucketOf(""), 0);
    EXPECT_EQ(table.HashOf(u"\u20AC"_qs), 0x20ACu); // one UTF-16 unit, not its UTF-8 bytes
    // Long keys wrap around the 32 bits instead of losing their first characters.
    const QString longKey = QString(40, u'x');
    EXPECT_NE(table.HashOf(longKey), table.HashOf(QString(39, u'x')));
}

TEST(HashTable, NewestEntryHidesOlderOnesAndKeysAreCaseSensitive) {
    TOrvHashTable table;
    table.AddValue("K", "one");
    table.AddValue("K", "two");
    EXPECT_EQ(table.GetValue("K"), "two");
    ASSERT_NE(*table.FindSlot("K"), nullptr);
    ASSERT_NE((*table.FindSlot("K"))->Next, nullptr);
    EXPECT_EQ((*table.FindSlot("K"))->Next->Value, "one"); // still there, hidden
    EXPECT_EQ(table.GetValue("k"), "");
    EXPECT_EQ(*table.FindSlot("missing"), nullptr);

    table.AddFont("F", new TOrvFontDesc);
    EXPECT_EQ(table.GetValue("F"), "");
    EXPECT_EQ(table.GetFont("K"), nullptr);
    EXPECT_NE(table.GetFont("F"), nullptr);
}

TEST(HashTable, KeysSharingABucketStayApart) {
    TOrvHashTable table;
    const QString a(QChar(65)), b(QChar(65 + 255)), c(QChar(65 + 2 * 255));
    ASSERT_EQ(table.BucketOf(a), table.BucketOf(b));
    ASSERT_EQ(table.BucketOf(a), table.BucketOf(c));
    table.AddValue(a, "a");
    table.AddValue(b, "b");
    table.AddValue(c, "c");
    EXPECT_EQ(table.GetValue(a), "a");
    EXPECT_EQ(table.GetValue(b), "b");
    EXPECT_EQ(table.GetValue(c), "c");
}

TEST(HashTable, ClearFreesOwnedFontsIncludingHiddenOnes) {
    TCountedFont::Alive = 0;
    {
        TOrvHashTable table;
        table.AddFont("0", new TCountedFont);
        table.AddFont("0", new TCountedFont);
        table.AddFont("1", new TCountedFont);
        EXPECT_EQ(TCountedFont::Alive, 3);
        table.Clear();
        EXPECT_EQ(TCountedFont::Alive, 0);
        EXPECT_EQ(table.GetFont("0"), nullptr);
        table.AddFont("2", new TCountedFont);
    } // destruction clears too
    EXPECT_EQ(TCountedFont::Alive, 0);

    TCountedFont kept;
    {
        TOrvHashTable borrowing(false);
        borrowing.AddFont("0", &kept);
    }
    EXPECT_EQ(TCountedFont::Alive, 1);
}
