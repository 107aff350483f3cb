#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>

#include "app/frmKSAbout.h"
#include "common/DialogFixture.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/fake/FakeFileVersion.h"
#include "skin/OrvSkinManager.h"

using namespace kestrum;

namespace {

struct AboutBox : test::TDialogFixture {
    std::unique_ptr<TFormKSMain> Main;

    void Start() {
        Main = std::make_unique<TFormKSMain>(Plat, Settings, QStringList{"Kestrum"});
        Main->SetTrayAvailableProbe([] { return true; }); // a notification area to hide in
        Main->FormCreate();
    }
    static QString Text(QDialog* d, const char* label) {
        return d->findChild<QLabel*>(QString::fromLatin1(label))->text();
    }
};

} // namespace

TEST_F(AboutBox, ShowsTitleVersionCopyrightLinkAndDescription) {
    Start();
    Main->MultiLangs()->AddText("String.URL.Home", "https://kestrum.example.org/"); // a pack naming a site
    TFormKSAbout box(Main.get(), Main->MultiLangs(), *Plat.FileVersion, *Plat.Shell);
    box.show();
    EXPECT_EQ(box.size(), QSize(500, 360));
    EXPECT_EQ(box.windowTitle(), "About Kestrum");
    EXPECT_EQ(box.findChild<TOrvSkinManager*>("SkinMgr")->Title().Text(), "About Kestrum");
    EXPECT_EQ(Text(&box, "lblTitle"), "Kestrum");
    EXPECT_EQ(Text(&box, "lblVersion"), "Version 1.2.3.4");
    EXPECT_TRUE(Text(&box, "lblCopyright").startsWith(QString::fromUtf8("Copyright \u00A9 ")));
    EXPECT_EQ(box.findChild<QLabel*>("lblHome")->toolTip(), "https://kestrum.example.org/");
    // Every line stays inside the box; the link lies below the copyright however long it is.
    for (const char* name : {"lblTitle", "lblVersion", "lblCopyright", "lblHome"})
        EXPECT_LE(box.findChild<QLabel*>(name)->geometry().right(), 500 - 16) << name;
    EXPECT_GT(box.findChild<QLabel*>("lblHome")->y(), box.findChild<QLabel*>("lblCopyright")->geometry().bottom());
    EXPECT_EQ(box.findChild<QLabel*>("lblTitle")->font().pointSize(), 12);
    EXPECT_TRUE(box.findChild<QLabel*>("lblTitle")->font().bold());
    auto* memo = box.findChild<QPlainTextEdit*>("mmoDesc");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->geometry(), QRect(32, 182, 433, 147));
    // The first paragraph is followed by an empty line, the list items by plain line breaks.
    const QStringList lines = memo->toPlainText().split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[1].isEmpty()) << memo->toPlainText().toStdString();
    EXPECT_FALSE(lines[2].isEmpty());
    EXPECT_FALSE(memo->toPlainText().contains('\r'));

    // The link opens the home page; a press that ends outside the label does not.
    auto* home = box.findChild<QLabel*>("lblHome");
    QMouseEvent inside(QEvent::MouseButtonRelease, QPointF(2, 2), home->mapToGlobal(QPointF(2, 2)), Qt::LeftButton,
                       Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(home, &inside);
    QMouseEvent outside(QEvent::MouseButtonRelease, QPointF(-5, 2), home->mapToGlobal(QPointF(-5, 2)), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(home, &outside);
    EXPECT_EQ(Fakes.Shell->Opened, std::vector<std::string>{"https://kestrum.example.org/"});
}

TEST_F(AboutBox, VersionThatCannotBeReadLeavesTheTextEmpty) {
    Start();
    Fakes.FileVersion->Own.clear();
    TFormKSAbout box(Main.get(), Main->MultiLangs(), *Plat.FileVersion, *Plat.Shell);
    EXPECT_EQ(Text(&box, "lblVersion"), "Version ");
}

TEST_F(AboutBox, EscapeClosesIt) {
    Start();
    TFormKSAbout box(Main.get(), Main->MultiLangs(), *Plat.FileVersion, *Plat.Shell);
    box.show();
    test::PressKey(box.findChild<QPlainTextEdit*>("mmoDesc"), Qt::Key_Escape);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Rejected);
}

// Opened the way the menus open it, and re-labelled at once (the version line too) by a language change.
TEST_F(AboutBox, MenuCommandOpensItModallyAndALanguageChangeRelabelsIt) {
    // The shipped French pack, with its own version wording.
    QFile shipped(KESTRUM_SOURCE_DIR "/Langs/1036/Kestrum.ini");
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    QByteArray text = shipped.readAll();
    ASSERT_TRUE(text.contains("FormKSAbout.lblVersion.Caption=Version %s"));
    text.replace("FormKSAbout.lblVersion.Caption=Version %s", "FormKSAbout.lblVersion.Caption=Edition %s");
    QDir().mkpath(Home.File("Langs/1036"));
    QFile pack(Home.File("Langs/1036/Kestrum.ini"));
    ASSERT_TRUE(pack.open(QIODevice::WriteOnly));
    pack.write(text);
    pack.close();
    Start();
    QString version, home;
    bool modal = false;
    test::WhenReady([&] { return Main->FormAbout() && Main->FormAbout()->isVisible(); },
                    [&] {
                        TFormKSAbout* open = Main->FormAbout();
                        modal = open->isModal();
                        Main->MultiLangs()->LoadFromFile(pack.fileName());
                        version = Text(open, "lblVersion");
                        home = Text(open, "lblHome");
                        test::PressKey(open, Qt::Key_Escape);
                    });
    Main->AboutCommand();
    EXPECT_TRUE(modal);
    EXPECT_EQ(version, "Edition 1.2.3.4");
    EXPECT_EQ(home, "Site web");
    EXPECT_EQ(Main->FormAbout(), nullptr);
}
