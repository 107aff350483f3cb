#include "PackFile.h"
#include "QtPrint.h"
#include "common/FileSizeLimit.h"
#include "common/TestHome.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "support/IniFile.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <QDir>
#include <QTemporaryDir>

using namespace kestrum;
using kestrum::test::FileBytes;
using kestrum::test::TTestHome;
using kestrum::test::WritePack;

namespace {

// A language component with the built-in defaults that counts its language-changed events.
struct TLangs {
    TOrvMultiLangs Langs;
    int Changed = 0;
    TLangs() {
        Langs.SetOnMakeDefault([](TOrvMultiLangs* l) { MultiLangsMakeDefault(l); });
        Langs.SetOnLanguageChanged([this](TOrvMultiLangs*) { ++Changed; });
        Changed = 0;
    }
};

} // namespace

TEST(DecodeText, AppliesTheEscapesInOrder) {
    struct Case {
        QString In, Out;
    } cases[] = {
        {"##N", "\n"}, // "#" made by the first rule takes part in the later ones
        {"#n#r", "\n\r"},
        {"#N#R", "\n\r"},
        {"CPU: %d %%#B#B#B#B", "CPU: %d %%    "},
        {"Usage: 50 ##", "Usage: 50 #"},
        {"#35T#9#32#10#13", "\t\t \n\r"},
        {"#(c) #169 #(R) #174 #(tm) #8482", u"© © ® ® ™ ™"_qs},
        {"no codes, 100% #", "no codes, 100% #"},
    };
    for (const Case& c : cases) EXPECT_EQ(TOrvMultiLangs::DecodeText(c.In), c.Out) << c.In.toStdString();
}

TEST(FontDescription, ReadsEveryPartThatIsValid) {
    struct Case {
        QString Value;
        TOrvFontDesc Font;
    } cases[] = {
        {"Tahoma;FFFFFF;12;[fsBold]", {"Tahoma", fsBold, 12, 0xFFFFFF}},
        {"Tahoma;ZZ;10", {"Tahoma", 0, 10, TOrvFontDesc::DefaultColor}},
        {"Arial;FF;x;[fsItalic,FSUNDERLINE, fsBold,fsStrikeOut]",
         {"Arial", fsItalic | fsUnderline | fsStrikeOut, TOrvFontDesc::DefaultSize, 0xFF}},
        {"Verdana", {"Verdana", 0, TOrvFontDesc::DefaultSize, TOrvFontDesc::DefaultColor}},
        {"Courier;;;[]", {"Courier", 0, TOrvFontDesc::DefaultSize, TOrvFontDesc::DefaultColor}},
    };
    for (const Case& c : cases) {
        const TOrvFontDesc f = TOrvFontDesc::FromDescription(c.Value);
        EXPECT_EQ(f.Name, c.Font.Name) << c.Value.toStdString();
        EXPECT_EQ(f.Style, c.Font.Style) << c.Value.toStdString();
        EXPECT_EQ(f.Size, c.Font.Size) << c.Value.toStdString();
        EXPECT_EQ(f.Color, c.Font.Color) << c.Value.toStdString();
    }
    const TOrvFontDesc red("Tahoma", fsBold | fsItalic, 9, 0x0000FF);
    EXPECT_EQ(red.Red(), 255);
    EXPECT_EQ(red.Blue(), 0);
    EXPECT_EQ(red.ToDescription(), "Tahoma;FF;9;[fsBold,fsItalic]");
    EXPECT_EQ(TOrvFontDesc::FromDescription(red.ToDescription()), red);
}

TEST(MultiLangs, AssigningHandlersRunsThemAtOnce) {
    TOrvMultiLangs langs;
    EXPECT_EQ(langs.ItemIndex(), -1);
    EXPECT_EQ(langs.FileExt(), "lng");
    QStringList calls;
    langs.SetOnMakeDefault([&](TOrvMultiLangs* sender) {
        EXPECT_EQ(sender, &langs);
        calls << "defaults";
        langs.AddText("K", "v");
    });
    langs.SetOnLanguageChanged([&](TOrvMultiLangs*) { calls << "changed:" + langs.GetText("K"); });
    EXPECT_EQ(calls, QStringList({"defaults", "changed:v"}));
    calls.clear();
    langs.SetOnMakeDefault([&](TOrvMultiLangs*) { calls << "defaults2"; });
    EXPECT_EQ(calls, QStringList({"defaults2", "changed:"})) << "new defaults replace the old ones";

    // Other listeners hear the event through the signal.
    int heard = 0;
    QObject::connect(&langs, &TOrvMultiLangs::OnLanguageChanged, [&] { ++heard; });
    TTestHome home;
    langs.LoadFromFile(WritePack(home.File("p.ini"), "[LANG_ITEMS]\nK=w\n"));
    EXPECT_EQ(heard, 2);
}

TEST(MultiLangs, LoadFromFileAppliesTwiceAndMarksThePackSelected) {
    TTestHome home;
    const QString pack = WritePack(home.File("Langs/1031/Kestrum.ini"),
                                   "[HEAD]\nLCID=1031\nCode=de\nName=Deutsch\n"
                                   "[LANG_ITEMS]\nFormKSMain.Caption=Kestrum#BDE\n");
    TLangs t;
    t.Langs.LoadFromFile(home.File("Langs/1036/Kestrum.ini")); // missing: nothing happens
    EXPECT_EQ(t.Changed, 0);
    EXPECT_EQ(t.Langs.LanguageCount(), 0);

    t.Langs.LoadFromFile(pack);
    EXPECT_EQ(t.Changed, 2);
    EXPECT_EQ(t.Langs.ItemIndex(), 0);
    ASSERT_EQ(t.Langs.LanguageCount(), 1);
    EXPECT_EQ(t.Langs.Languages(0)->LCID, "1031");
    EXPECT_EQ(t.Langs.Languages(0)->Name, "Deutsch");
    EXPECT_TRUE(t.Langs.Languages(0)->Selected);
    EXPECT_EQ(TIniFile(pack).ReadString("HEAD", "Selected", ""), "1");
    EXPECT_EQ(t.Langs.GetText("FormKSMain.Caption"), "Kestrum DE");
    EXPECT_EQ(t.Langs.GetText("FormKSMain.btnTabLogs.Caption"), "Logs"); // the default stays
}

TEST(MultiLangs, EachPackReplacesThePreviousOne) {
    TTestHome home;
    const QString a = WritePack(home.File("a.ini"),
                                "[FONT_RES]\n0=Verdana;FF0000;14;[fsItalic]\n01=Courier;0;9;\n2=   \n"
                                "[FONT_SET]\nFormKSMain.btnTabLogs.Font=0\nFormKSAbout.lblTitle.Font=abc\n"
                                "[LANG_ITEMS]\nFormKSMain.Caption=A caption\nFormKSMain.btnTabLogs.Caption=A logs\n"
                                "formksmain.btnTabOptimize.Caption=wrong case\n");
    const QString b = WritePack(home.File("b.ini"), "[LANG_ITEMS]\nFormKSMain.Caption=B caption\n");
    TLangs t;
    t.Langs.LoadFromFile(a);
    t.Langs.LoadFromFile(b);
    EXPECT_EQ(t.Langs.GetText("FormKSMain.Caption"), "B caption");
    EXPECT_EQ(t.Langs.GetText("FormKSMain.btnTabLogs.Caption"), "Logs"); // B lacks it: the default, not A's
    EXPECT_EQ(t.Langs.GetText("FormKSMain.btnTabOptimize.Caption"), "Optimize");
    EXPECT_EQ(t.Langs.GetText("No.Such.Key"), "");

    EXPECT_EQ(t.Langs.GetFontSet("FormKSMain.btnTabLogs.Font"), nullptr) << "A's font set went with A";

    t.Langs.LoadFromFile(a);
    ASSERT_NE(t.Langs.GetFontRes(0), nullptr);
    EXPECT_EQ(t.Langs.GetFontRes(0)->Name, "Verdana");
    EXPECT_EQ(t.Langs.GetFontRes(0)->Color, 0xFF0000u);
    EXPECT_EQ(t.Langs.GetFontRes(1)->Name, "Tahoma"); // "01" is never looked up
    EXPECT_EQ(t.Langs.GetFontRes(2)->Size, 12);       // a blank description is skipped
    EXPECT_EQ(t.Langs.GetFontRes(3), nullptr);
    ASSERT_NE(t.Langs.GetFontSet("FormKSMain.btnTabLogs.Font"), nullptr); // no default, the pack adds it
    EXPECT_EQ(t.Langs.GetFontSet("FormKSMain.btnTabLogs.Font")->Name, "Verdana");
    EXPECT_EQ(t.Langs.GetFontSet("FormKSAbout.lblTitle.Font"), nullptr);             // not a number
    EXPECT_EQ(t.Langs.GetFontSet("FormKSMain.SkinMgr.Title.Font")->Name, "Verdana"); // default ref, new font 0
}

TEST(MultiLangs, AThousandChangesKeepTheTableFlatAndOnePackMarked) {
    TTestHome home;
    // Each change rewrites two marks, flushed to disk: in memory where there is such a folder, so the
    // thousand changes take a second, not twenty.
    QTemporaryDir shm(QDir("/dev/shm").exists() ? "/dev/shm/kestrum-langs-XXXXXX" : home.File("langs-XXXXXX"));
    QString items;
    for (int i = 0; i < 300; ++i) items += QString("Key.%1=A text of some length for key %1\n").arg(i);
    const QString de = WritePack(shm.filePath("1031/Kestrum.ini"), "[HEAD]\nName=de\n[LANG_ITEMS]\n" + items);
    const QString fr = WritePack(shm.filePath("1036/Kestrum.ini"), "[HEAD]\nName=fr\n[LANG_ITEMS]\n" + items);
    TLangs t;
    auto inUse = [] { return mallinfo2().uordblks; };
    for (int i = 0; i < 20; ++i) t.Langs.LoadFromFile(i % 2 ? fr : de);
    const size_t before = inUse();
    for (int i = 0; i < 1000; ++i) t.Langs.LoadFromFile(i % 2 ? fr : de);
    const size_t after = inUse();
    // Growing with every change, this took tens of megabytes.
    EXPECT_LT(after, before + (1u << 20)) << before << " -> " << after << " bytes in use";
    EXPECT_EQ(t.Langs.GetText("Key.7"), "A text of some length for key 7");
    EXPECT_EQ(TIniFile(fr).ReadString("HEAD", "Selected", ""), "1"); // the last one loaded
    EXPECT_EQ(TIniFile(de).ReadString("HEAD", "Selected", ""), "0");
}

TEST(MultiLangs, SelectionFollowsTheHeadAndSetItemIndex) {
    TTestHome home;
    const QString p0 = WritePack(home.File("0.ini"), "[HEAD]\nName=zero\n[LANG_ITEMS]\nK=zero\n");
    const QString p1 = WritePack(home.File("1.ini"), "[HEAD]\nName=one\nSelected=1\n[LANG_ITEMS]\nK=one\n");
    const QString p2 = WritePack(home.File("2.ini"), "[HEAD]\nName=two\n[LANG_ITEMS]\nK=two\n");
    const QByteArray before0 = FileBytes(p0), before1 = FileBytes(p1);
    TLangs t;
    t.Langs.LoadLanguages({p0, p1, p2});
    EXPECT_EQ(t.Langs.ItemIndex(), 1);
    EXPECT_EQ(t.Langs.GetText("K"), "one");
    EXPECT_EQ(t.Changed, 1);
    EXPECT_EQ(FileBytes(p0), before0); // loading writes nothing
    EXPECT_EQ(FileBytes(p1), before1);

    t.Langs.SetItemIndex(5);
    t.Langs.SetItemIndex(-1);
    EXPECT_EQ(t.Changed, 1);
    EXPECT_EQ(t.Langs.ItemIndex(), 1);

    t.Langs.SetItemIndex(2);
    EXPECT_EQ(t.Changed, 2);
    EXPECT_EQ(t.Langs.GetText("K"), "two");
    EXPECT_FALSE(t.Langs.Languages(1)->Selected);
    EXPECT_EQ(TIniFile(p1).ReadString("HEAD", "Selected", ""), "0");
    EXPECT_EQ(TIniFile(p2).ReadString("HEAD", "Selected", ""), "1");

    // Without any selected entry the first one is applied, and nothing is written.
    const QString q0 = WritePack(home.File("q0.ini"), "[LANG_ITEMS]\nK=q0\n");
    const QByteArray beforeQ = FileBytes(q0);
    t.Langs.LoadLanguages({q0});
    EXPECT_EQ(t.Langs.ItemIndex(), 0);
    EXPECT_EQ(t.Langs.GetText("K"), "q0");
    EXPECT_EQ(FileBytes(q0), beforeQ);
}

TEST(MultiLangs, UnwritableSelectionMarkStillAppliesThePackAndKeepsItWhole) {
    TTestHome home;
    const QString pack = WritePack(home.File("Langs/1036/Kestrum.ini"),
                                   "[HEAD]\nName=Fran\xC3\xA7"
                                   "ais\n[LANG_ITEMS]\nFormKSMain.Caption=Kestrum FR\n");
    const QByteArray before = FileBytes(pack);
    TLangs t;
    {
        kestrum::test::TFileSizeLimit full(16); // an installed pack the user cannot write
        EXPECT_NO_THROW(t.Langs.LoadFromFile(pack));
    }
    EXPECT_EQ(FileBytes(pack), before);
    EXPECT_EQ(t.Changed, 2); // applied as from a writable pack
    EXPECT_EQ(t.Langs.ItemIndex(), 0);
    EXPECT_TRUE(t.Langs.Languages(0)->Selected);
    EXPECT_EQ(t.Langs.GetText("FormKSMain.Caption"), "Kestrum FR");
}

TEST(MultiLangs, FormatTextUsesTheCurrentTemplate) {
    TTestHome home;
    TLangs t;
    EXPECT_EQ(t.Langs.FormatText("FormKSMain.slineMEM.Title", {42}), "MEM: 42 %    ");
    EXPECT_EQ(
        t.Langs.FormatText("FormKSMain.TrayIcon.Hint", {37}) + t.Langs.GetText("FormKSMain.TrayIcon.Hint.AntiDist"),
        "Memory usage: 37 %\n\rDo-not-disturb...");
    EXPECT_EQ(t.Langs.FormatText("String.LogResult", {"1.00 GB", "1.50 GB", "512.00 MB"}),
              "1.00 GB -> 1.50 GB, +512.00 MB.");
    // A pack template that does not fit the arguments gives an empty text, not an error.
    t.Langs.LoadFromFile(WritePack(home.File("p.ini"), "[LANG_ITEMS]\nFormKSMain.TrayIcon.Hint=Speicher: %s\n"));
    EXPECT_EQ(t.Langs.FormatText("FormKSMain.TrayIcon.Hint", {37}), "");
    EXPECT_EQ(t.Langs.FormatText("No.Such.Key", {37}), "");
}

TEST(MultiLangs, APackAskingForHugeWidthsGivesEmptyTextsAtOnce) {
    test::TTestHome home;
    const QString path = home.File("Langs/1033/Kestrum.ini");
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(QFile::copy(QString(KESTRUM_FIXTURES) + "/i18n/hostile_widths.ini", path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    TOrvMultiLangs langs;
    langs.AddText("String.LogResult", "%s -> %s, +%s.");
    langs.LoadFromFile(path);
    EXPECT_EQ(langs.GetText("String.LogResult"), "%999999999s");
    EXPECT_EQ(langs.FormatText("String.LogResult", {"1.00 GB", "1.50 GB", "512.00 MB"}), "");
    EXPECT_EQ(langs.FormatText("FormKSMain.TrayIcon.Hint", {37}), "");
    EXPECT_EQ(langs.FormatText("String.Star", {4000000000LL, 1}), "");
}
