#include <gtest/gtest.h>

#include <QDialog>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/KSGnomeShortcutOffer.h"
#include "common/QtApp.h"
#include "desktop/HotKeyText.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "support/KSUtils.h"

using namespace kestrum;

namespace {

// Sets an environment variable for one test and puts the old value back.
struct TEnv {
    QByteArray Name, Old;
    bool Had;
    TEnv(const char* name, const QByteArray& value)
        : Name(name), Old(qgetenv(name)), Had(qEnvironmentVariableIsSet(name)) {
        qputenv(name, value);
    }
    ~TEnv() {
        if (Had)
            qputenv(Name, Old);
        else
            qunsetenv(Name);
    }
};

} // namespace

// Shown on GNOME only, where nothing holds the hotkey; the keybinding is written only after a yes.
TEST(GnomeShortcutOffer, OfferedOnGnomeOnlyAndWrittenOnlyAfterConsent) {
    test::EnsureQtApp();
    QTemporaryDir bin;
    QFile script(bin.filePath("gsettings"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"$*\" >> \"$(dirname \"$0\")/calls\"\n[ \"$1\" = get ] && echo '@as []'\nexit 0\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    TEnv path("PATH", bin.path().toLocal8Bit() + ':' + qgetenv("PATH"));

    TOrvMultiLangs langs;
    langs.SetOnMakeDefault([](TOrvMultiLangs* l) { MultiLangsMakeDefault(l); });
    QDialog dialog;
    TKSGnomeShortcutOffer offer(&dialog, QRect(16, 359, 222, 25), &langs);
    offer.ApplyTexts();
    EXPECT_FALSE(offer.Button()->text().isEmpty());
    const uint32_t altM = HotKey_Alt | 'M';
    {
        TEnv desktop("XDG_CURRENT_DESKTOP", "KDE");
        offer.Update(true, altM);
        EXPECT_TRUE(offer.Button()->isHidden());
    }
    TEnv desktop("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    offer.Update(false, altM); // a portal or the X11 grab holds it
    EXPECT_TRUE(offer.Button()->isHidden());
    offer.Update(true, HotKey_Ctrl | 0xFF); // no key GNOME could name
    EXPECT_TRUE(offer.Button()->isHidden());
    offer.Update(true, altM);
    EXPECT_FALSE(offer.Button()->isHidden());

    QStringList asked;
    int answer = 7;
    SetMessageBoxHook([&](void*, const QString& text, const QString&, unsigned, unsigned) {
        asked << text;
        return answer;
    });
    EXPECT_FALSE(offer.Offer());
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].contains(u"Alt+M"_qs) && asked[0].contains(u"-optimize"_qs)) << asked[0].toStdString();
    EXPECT_FALSE(QFile::exists(bin.filePath("calls"))); // a no writes nothing

    answer = 6;
    EXPECT_TRUE(offer.Offer());
    SetMessageBoxHook({});
    QFile calls(bin.filePath("calls"));
    ASSERT_TRUE(calls.open(QIODevice::ReadOnly));
    const QString recorded = QString::fromUtf8(calls.readAll());
    EXPECT_EQ(recorded.count(u'\n'), 5) << recorded.toStdString();
    EXPECT_TRUE(recorded.contains(u"binding '<Alt>m'"_qs)) << recorded.toStdString();
    EXPECT_TRUE(recorded.contains(u"-optimize'"_qs)) << recorded.toStdString();
    EXPECT_EQ(asked.size(), 3); // the question again, then the confirmation
}
