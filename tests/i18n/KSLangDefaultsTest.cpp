#include "PackFile.h"
#include "QtPrint.h"
#include "common/TestHome.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "support/IniFile.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

using namespace kestrum;
using kestrum::test::TTestHome;

namespace {

QString Key(const char16_t* key) {
    return QString::fromUtf16(key);
}

// The placeholders of a template in order, so a translation that drops or swaps one is caught.
QStringList Placeholders(const QString& text) {
    static const QRegularExpression re(QStringLiteral("%(\\d+:)?-?(\\*|\\d+)?(\\.(\\*|\\d+))?[A-Za-z%]"));
    QStringList out;
    for (auto it = re.globalMatch(text); it.hasNext();) out << it.next().captured();
    return out;
}

struct TDefaults {
    TOrvMultiLangs Langs;
    int Changed = 0;
    TDefaults() {
        Langs.SetOnLanguageChanged([this](TOrvMultiLangs*) { ++Changed; });
        Langs.SetOnMakeDefault([](TOrvMultiLangs* l) { MultiLangsMakeDefault(l); });
    }
};

} // namespace

TEST(Catalogue, DefaultsWithoutAnyPack) {
    TDefaults d;
    EXPECT_EQ(d.Changed, 2); // once on assignment, once more after the defaults were made
    const TOrvMultiLangs& l = d.Langs;
    EXPECT_EQ(l.GetText("FormKSMain.Caption"), "Kestrum");
    EXPECT_EQ(
        QStringList({l.GetText("FormKSMain.btnTabOverView.Caption"), l.GetText("FormKSMain.btnTabOptimize.Caption"),
                     l.GetText("FormKSMain.btnTabUpgrade.Caption"), l.GetText("FormKSMain.btnTabLogs.Caption")}),
        QStringList({"Usage", "Optimize", "Upgrade", "Logs"}));
    EXPECT_EQ(l.GetText("FormKSMain.lblStatusInfo.Caption"), "");
    for (const QString& key : KeysWithoutDefault()) EXPECT_EQ(l.GetText(key), "") << key.toStdString();
    EXPECT_TRUE(l.GetText("String.Copyright").contains(u'\u00A9'));
    EXPECT_EQ(l.FormatText("FormKSMain.lblStatusVersion.Caption", {"1.2.3.4"}), "Kestrum Version: 1.2.3.4");

    const QString mem = l.GetText("FormKSMain.pnlOverviewMEM.Caption");
    EXPECT_EQ(mem.count(u'\u2500'), 12);
    EXPECT_EQ(l.FormatText("FormKSMain.pnlOverviewMEM.Caption", {45, "7.8 GB", "4.3 GB", "1.1 GB"}),
              QString("Usage of Memory: 45 %\n\r") + QString(12, u'\u2500') +
                  "\n\rTotal MEM: 7.8 GB\n\rAvailable MEM: 4.3 GB\n\rSystem Cache: 1.1 GB\n\r");
    const QString desc = l.GetText("FormKSAbout.mmoDesc.Lines.Text");
    EXPECT_TRUE(desc.startsWith("\"Kestrum\" offers user")) << desc.toStdString();
    EXPECT_TRUE(desc.endsWith("enjoying a game or movie."));
    EXPECT_EQ(desc.count("\n\r"), 1);
    EXPECT_EQ(desc.count(u'\n'), 5);

    QSet<QString> keys;
    for (const TLangText& t : DefaultTexts()) {
        EXPECT_FALSE(keys.contains(Key(t.Key))) << "twice: " << Key(t.Key).toStdString();
        keys.insert(Key(t.Key));
    }
    // + memory pressure and the gains chart, + protection, + portal hotkey, + the desktop's shortcut dialog
    EXPECT_EQ(keys.size(), 113 + 10 + 40 + 2 + 1 + 4);
}

TEST(Catalogue, DefaultFonts) {
    TDefaults d;
    const TOrvFontDesc* title = d.Langs.GetFontSet("FormKSMain.SkinMgr.Title.Font");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(*title, TOrvFontDesc("Tahoma", fsBold, 12, 0xFFFFFF));
    EXPECT_EQ(*d.Langs.GetFontSet("FormKSMain.btnTabOverView.Font"), TOrvFontDesc("Tahoma", fsBold, 10, 0xFFFFFF));
    EXPECT_EQ(*d.Langs.GetFontSet("FormKSAbout.lblTitle.Font"), TOrvFontDesc("Tahoma", fsBold, 12, 0));
    for (const TLangFontSet& s : DefaultFontSets()) EXPECT_NE(d.Langs.GetFontSet(Key(s.Key)), nullptr);
    for (const QString& key : FontKeysWithoutDefault()) EXPECT_EQ(d.Langs.GetFontSet(key), nullptr);
    EXPECT_EQ(DefaultFontSets().size(), 10u);
}

TEST(Catalogue, PackPathNamesTheLanguageFolder) {
    EXPECT_EQ(LangPackFileName("/data/", 1036), "/data/Langs/1036/Kestrum.ini");
    EXPECT_EQ(LangPackFileName("/data/", 0), "/data/Langs/0/Kestrum.ini");
    TTestHome home;
    EXPECT_EQ(LangPackFileName(1031), home.Path() + "Langs/1031/Kestrum.ini");
}

class ShippedPack : public ::testing::TestWithParam<int> {};

TEST_P(ShippedPack, IsCompleteAndKeepsEveryPlaceholder) {
    const int number = GetParam();
    TTestHome home;
    const QString shipped = QStringLiteral(KESTRUM_SOURCE_DIR "/Langs/%1/Kestrum.ini").arg(number);
    const QString pack = LangPackFileName(home.Path(), number);
    QDir().mkpath(QFileInfo(pack).absolutePath());
    ASSERT_TRUE(QFile::copy(shipped, pack)) << shipped.toStdString(); // loading marks the file: use a copy

    const TIniFile ini(pack);
    EXPECT_EQ(ini.ReadString("HEAD", "LCID", ""), QString::number(number));
    const QStringList itemKeys = ini.ReadSection("LANG_ITEMS"), fontSetKeys = ini.ReadSection("FONT_SET");
    const QSet<QString> items(itemKeys.begin(), itemKeys.end()), fontSets(fontSetKeys.begin(), fontSetKeys.end());
    for (const TLangText& t : DefaultTexts())
        EXPECT_TRUE(items.contains(Key(t.Key))) << "missing " << Key(t.Key).toStdString();
    for (const QString& key : KeysWithoutDefault()) EXPECT_TRUE(items.contains(key)) << "missing " << key.toStdString();
    for (const TLangFontSet& s : DefaultFontSets())
        EXPECT_TRUE(fontSets.contains(Key(s.Key))) << Key(s.Key).toStdString();
    for (const QString& key : FontKeysWithoutDefault()) EXPECT_TRUE(fontSets.contains(key)) << key.toStdString();

    TDefaults d;
    d.Changed = 0;
    d.Langs.LoadFromFile(pack);
    EXPECT_EQ(d.Changed, 2);
    for (const TLangText& t : DefaultTexts()) {
        const QString english = TOrvMultiLangs::DecodeText(Key(t.Text));
        const QString text = d.Langs.GetText(Key(t.Key));
        EXPECT_EQ(Placeholders(text), Placeholders(english)) << Key(t.Key).toStdString();
        EXPECT_EQ(text.isEmpty(), english.isEmpty()) << Key(t.Key).toStdString();
        EXPECT_FALSE(text.contains(u'#')) << "undecoded escape in " << Key(t.Key).toStdString();
    }
    for (const QString& key : {QStringLiteral("String.Upgrade"), QStringLiteral("String.MsgText.Upgrade")})
        EXPECT_FALSE(d.Langs.GetText(key).isEmpty()) << key.toStdString();
    for (const TLangFontSet& s : DefaultFontSets()) EXPECT_NE(d.Langs.GetFontSet(Key(s.Key)), nullptr);
    for (const QString& key : FontKeysWithoutDefault()) EXPECT_NE(d.Langs.GetFontSet(key), nullptr);
    EXPECT_EQ(d.Langs.FormatText("FormKSMain.slineCPU.Title", {12}).right(4), "    ");
}

INSTANTIATE_TEST_SUITE_P(Langs, ShippedPack, ::testing::Values(1031, 1036));
