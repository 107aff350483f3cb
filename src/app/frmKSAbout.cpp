#include "app/frmKSAbout.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

#include "app/KSDialogSkin.h"
#include "i18n/OrvMultiLangs.h"
#include "skin/OrvColor.h"
#include "skin/OrvImage.h"
#include "skin/OrvSkinManager.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {
constexpr int kWidth = 500, kHeight = 360;

// The catalogue's line breaks ("#N" and "#R", in either order) as the memo's lines: each of CR, LF and
// CR LF ends a line, so "LF CR" leaves an empty line between paragraphs.
QString MemoLines(QString text) {
    text.replace(u"\r\n"_qs, u"\n"_qs);
    text.replace(u'\r', u'\n');
    return text;
}
} // namespace

TFormKSAbout::TFormKSAbout(QWidget* owner, TOrvMultiLangs* langs, platform::IFileVersion& versions,
                           platform::IShell& shell)
    : QDialog(owner), FLangs(langs), FVersions(versions), FShell(shell) {
    setObjectName(u"FormKSAbout"_qs);
    setFixedSize(kWidth, kHeight);
    QFont f(u"Tahoma"_qs);
    f.setPointSize(8);
    setFont(f);
    SkinMgr = new TOrvSkinManager(this);
    SkinMgr->setObjectName(u"SkinMgr"_qs);
    BuildControls();
    FormCreate();
}

TFormKSAbout::~TFormKSAbout() = default;

void TFormKSAbout::BuildControls() {
    imgLogo = new TOrvImage(this);
    imgLogo->setObjectName(u"imgLogo"_qs);
    imgLogo->setGeometry(32, 48, 128, 128);
    imgLogo->SetTransparent(true);
    imgLogo->SetPicture(DialogArt(u"about/logo.png"_qs));

    auto label = [this](const char* name, int top) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->move(176, top);
        return l;
    };
    lblTitle = label("lblTitle", 64);
    lblTitle->setFont(QFont(u"Tahoma"_qs, 12, QFont::Bold));
    lblVersion = label("lblVersion", 92);
    lblCopyright = label("lblCopyright", 111);
    lblHome = label("lblHome", 130);
    QFont link = font();
    link.setUnderline(true);
    lblHome->setFont(link);
    QPalette blue = lblHome->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    lblHome->setPalette(blue);
    lblHome->setCursor(Qt::PointingHandCursor);
    lblHome->installEventFilter(this);
    for (QLabel* l : findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText); // pack texts are never markup

    // Only there for Escape: the description is created after it and lies over it.
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(u"btnCancel"_qs);
    btnCancel->setGeometry(208, 240, 75, 25);
    btnCancel->setText(u"Cancel"_qs);
    btnCancel->setAutoDefault(false);
    btnCancel->setFocusPolicy(Qt::NoFocus); // covered, so never the invisible focus
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });

    mmoDesc = new QPlainTextEdit(this);
    mmoDesc->setObjectName(u"mmoDesc"_qs);
    mmoDesc->setGeometry(32, 182, 433, 147);
    mmoDesc->setReadOnly(true);
    mmoDesc->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette back = mmoDesc->palette();
    back.setColor(QPalette::Base, ToQColor(DialogBackColor));
    mmoDesc->setPalette(back);
}

void TFormKSAbout::FormCreate() {
    ArrangeSkin();
    ApplyTexts();
    if (QWidget* owner = parentWidget(); owner && owner->isVisible() && !owner->isMinimized()) {
        move(owner->x() + (owner->width() - width()) / 2, owner->y() + (owner->height() - height()) / 2);
    } else if (QScreen* s = owner ? owner->screen() : screen()) {
        move(s->availableGeometry().center() - rect().center());
    }
}

void TFormKSAbout::ArrangeSkin() {
    ArrangeDialogSkin(*SkinMgr, *this);
}

void TFormKSAbout::ApplyTexts() {
    if (!FLangs) return;
    auto text = [this](const char16_t* key) { return FLangs->GetText(QString::fromUtf16(key)); };
    TOrvFont font;
    if (LookupFont(*FLangs, u"FormKSAbout.SkinMgr.Title.Font"_qs, font)) SkinMgr->Title().SetFont(font);
    if (LookupFont(*FLangs, u"FormKSAbout.lblTitle.Font"_qs, font)) {
        lblTitle->setFont(font.Font);
        QPalette p = lblTitle->palette();
        p.setColor(QPalette::WindowText, font.Color);
        lblTitle->setPalette(p);
    }
    const QString caption = text(u"FormKSAbout.Caption");
    SkinMgr->Title().SetText(caption);
    setWindowTitle(caption);
    lblTitle->setText(text(u"FormKSAbout.lblTitle.Caption"));
    lblVersion->setText(FLangs->FormatText(u"FormKSAbout.lblVersion.Caption"_qs, {GetFileVersionString(FVersions)}));
    lblCopyright->setText(text(u"String.Copyright"));
    lblHome->setText(text(u"FormKSAbout.lblHome.Caption"));
    FHomePage = text(u"String.URL.Home");
    lblHome->setToolTip(FHomePage.isEmpty() && FHomeFallbackAddress ? FHomeFallbackAddress() : FHomePage);
    // A line longer than the room right of the logo wraps instead of running off the box, and the link
    // moves down below it.
    const int room = width() - lblCopyright->x() - 16;
    for (QLabel* l : {lblTitle, lblVersion, lblCopyright, lblHome}) {
        l->setWordWrap(false);
        l->adjustSize();
        if (l->width() > room) {
            l->setWordWrap(true);
            l->resize(room, l->heightForWidth(room));
        }
    }
    lblHome->move(lblHome->x(), std::max(130, lblCopyright->geometry().bottom() + 6));
    mmoDesc->setPlainText(MemoLines(text(u"FormKSAbout.mmoDesc.Lines.Text")));
}

void TFormKSAbout::lblHomeClick() {
    if (FHomePage.isEmpty() && FHomeFallbackOpen) {
        FHomeFallbackOpen();
        return;
    }
    ShellOpen(FShell, FHomePage); // a page that cannot be opened is not reported
}

void TFormKSAbout::SetHomeFallback(std::function<QString()> address, std::function<void()> open) {
    FHomeFallbackAddress = std::move(address);
    FHomeFallbackOpen = std::move(open);
    ApplyLanguage();
}

void TFormKSAbout::btnCancelClick() {
    reject();
}

bool TFormKSAbout::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lblHome && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton &&
        lblHome->rect().contains(static_cast<QMouseEvent*>(e)->position().toPoint()))
        lblHomeClick();
    return QDialog::eventFilter(watched, e);
}

} // namespace kestrum
