#include "QtPrint.h"
#include "i18n/OrvFormat.h"

#include <gtest/gtest.h>

using namespace kestrum;

TEST(FormatTemplate, FillsPlaceholdersOrGivesEmptyText) {
    struct Case {
        const char* Format;
        TFormatArgs Args;
        const char* Expected;
        bool Ok;
    } cases[] = {
        {"Memory usage: %d %%", {37}, "Memory usage: 37 %", true},
        {"%s -> %s, +%s.", {"1.00 GB", "1.50 GB", "512.00 MB"}, "1.00 GB -> 1.50 GB, +512.00 MB.", true},
        {"plain", {}, "plain", true},
        {"%d items", {-5}, "-5 items", true},
        {"%5d|%-4s|%.3d|%.2s", {42, "ab", 7, "abc"}, "   42|ab  |007|ab", true},
        {"%*d", {4, 7}, "   7", true},
        {"%1:s %0:s %s", {"a", "b"}, "b a b", true},
        {"%x %u %D", {255, -1, 3}, "FF 4294967295 3", true},
        {"%s and more", {"x", "surplus", 1}, "x and more", true},
        {"%s", {5}, "", false},    // a number where a text is wanted
        {"%d", {"x"}, "", false},  // a text where a number is wanted
        {"%d %d", {1}, "", false}, // too few arguments
        {"%f", {1}, "", false},    // no floating-point arguments here
        {"100%", {}, "", false},   // a lone percent sign at the end
        {"%2:s", {"a", "b"}, "", false},
        // Widths, precisions and indexes past the bound do not fit, however they are written.
        {"%999999999s", {"a"}, "", false},
        {"%3333333333d", {1}, "", false},
        {"%.3333333333d", {1}, "", false},
        {"%3333333333:s", {"a"}, "", false},
        {"%*d", {4000000000LL, 1}, "", false},
        {"%*d", {-4000000000LL, 1}, "", false},
        {"%.*s", {1025, "a"}, "", false},
        {"%1025s", {"a"}, "", false},
        {"%-*d|", {-3, 1}, "1|", true}, // a negative width from the arguments pads nothing
    };
    for (const Case& c : cases) {
        bool ok = !c.Ok;
        EXPECT_EQ(FormatTemplate(QString::fromUtf8(c.Format), c.Args, &ok), QString::fromUtf8(c.Expected)) << c.Format;
        EXPECT_EQ(ok, c.Ok) << c.Format;
    }
}

TEST(FormatTemplate, WidthUpToTheBoundStillPads) {
    bool ok = false;
    const QString wide = FormatTemplate(u"%1024s|%.1024d"_qs, {"a", 7}, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(wide.size(), 1024 + 1 + 1024);
    EXPECT_TRUE(wide.startsWith(QString(1023, u' ') + u"a|0"_qs));
}
