#include "app/pages/KSOptimizePage.h"

#include <QLabel>
#include <QRegularExpression>
#include <algorithm>

#include "app/KSArt.h"
#include "app/KSCaptionFit.h"
#include "i18n/OrvMultiLangs.h"
#include "skin/OrvColor.h"
#include "skin/OrvImage.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvImagePanel.h"

namespace kestrum {

namespace {

const char* const kRowNames[TKSOptimizePage::ChecklistRows] = {"Smart",         "AutoFree",      "CPUProtection",
                                                               "MEMAllocation", "CPUAllocation", "FreeNow"};
const int kRowY[TKSOptimizePage::ChecklistRows] = {20, 49, 79, 108, 138, 168};

TOrvPicture OptimizeArt(const QString& name) {
    return Art(u"optimize/"_qs + name);
}

TOrvImagePanel* WhitePanel(QWidget* parent, const char* name, QRect r) {
    auto* p = new TOrvImagePanel(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->SetTransparent(false); // a plain white panel
    p->SetColor(clWhite);
    p->SetBorderSingle(true);
    p->setGeometry(r);
    return p;
}

QLabel* Label(QWidget* parent, const QString& name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    return l;
}

} // namespace

TKSOptimizePage::TKSOptimizePage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("tsOptimize"));
    FStars[0] = OptimizeArt(u"star_pending.png"_qs);
    FStars[1] = OptimizeArt(u"star_done.png"_qs);

    lblOptimizeTitle = Label(this, u"lblOptimizeTitle"_qs);
    lblOptimizeTitle->move(38, 10);

    pnlOptimizeProc = WhitePanel(this, "pnlOptimizeProc", {38, 35, 685, 150});
    FBtnOptimize = new TOrvImageButton(pnlOptimizeProc);
    FBtnOptimize->setObjectName(u"btnOptimize"_qs);
    FBtnOptimize->setGeometry(25, 21, 105, 105);
    FBtnOptimize->setCursor(Qt::PointingHandCursor);
    FBtnOptimize->SetTransparent(true);
    FBtnOptimize->SetPicNormal(OptimizeArt(u"freenow_normal.png"_qs));
    FBtnOptimize->SetPicMouseHover(OptimizeArt(u"freenow_hover.png"_qs));
    FBtnOptimize->SetPicMouseDown(OptimizeArt(u"freenow_pressed.png"_qs));
    FBtnOptimize->SetPicDisabled(OptimizeArt(u"freenow_disabled.png"_qs));
    FBtnOptimize->setFont(QFont(u"Tahoma"_qs, 10, QFont::Bold));
    FBtnOptimize->SetFontColor(Qt::white);
    FBtnOptimize->SetTextAlign(OrvAlign_MiddleCenter);
    FBtnOptimize->SetCaption(u"Free Now"_qs);
    connect(FBtnOptimize, &TOrvImageButton::OnClick, this, &TKSOptimizePage::OptimizeClicked);

    FImgOptimze = new TOrvImage(pnlOptimizeProc);
    FImgOptimze->setObjectName(u"imgOptimze"_qs);
    FImgOptimze->setGeometry(25, 21, 105, 105);
    FImgOptimze->SetTransparent(true);
    // The artwork's frames are timed for speed 100; the control's default (1000) spins it ten times too fast.
    FImgOptimze->SetGIFAnimationSpeed(100);
    FImgOptimze->hide(); // its animation is decoded when the first run starts, not at every program start

    FLblOptimize = Label(pnlOptimizeProc, u"lblOptimize"_qs);
    FLblOptimize->setGeometry(25, 99, 105, 19);
    FLblOptimize->setAlignment(Qt::AlignCenter);
    FLblOptimize->setFont(QFont(u"Tahoma"_qs, 10, QFont::Bold));
    FLblOptimize->setStyleSheet(u"color: white"_qs);
    FLblOptimize->hide();

    FImgProc2 = new TOrvImage(pnlOptimizeProc);
    FImgProc2->setObjectName(u"imgOptimizeProc2"_qs);
    FImgProc2->setGeometry(146, 51, 500, 45);
    FImgProc2->SetPicture(OptimizeArt(u"progress_empty.png"_qs));
    // The filled track is drawn at its own size and shows as much as the control's width lets through.
    FImgProc1 = new TOrvImage(pnlOptimizeProc);
    FImgProc1->setObjectName(u"imgOptimizeProc1"_qs);
    FImgProc1->setGeometry(146, 51, 0, 45);
    FImgProc1->SetPicture(OptimizeArt(u"progress_full.png"_qs));

    FLblOptimizeProc = Label(pnlOptimizeProc, u"lblOptimizeProc"_qs);
    FLblOptimizeProc->setGeometry(160, 28, 473, 37);
    FLblOptimizeProc->setWordWrap(true);
    FLblOptimizeProc->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Left of where the result figure grows, under the track.
    FLblOptimizeNote = Label(pnlOptimizeProc, u"lblOptimizeNote"_qs);
    FLblOptimizeNote->setGeometry(160, 98, 340, 48); // the whole remark is its tooltip
    FLblOptimizeNote->setWordWrap(true);
    FLblOptimizeNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FLblOptimizeNote->setTextFormat(Qt::PlainText);
    FLblOptimizeNote->setStyleSheet(u"color: #505050"_qs);
    FLblOptimizeNote->hide();

    FLblOptimizeResult = Label(pnlOptimizeProc, u"lblOptimizeResult"_qs);
    FLblOptimizeResult->move(ResultX, ResultY);
    FLblOptimizeResult->setStyleSheet(u"color: blue"_qs);
    SetResultFontHeight(10);
    FLblOptimizeResult->hide();

    pnlOptimizeItems = WhitePanel(this, "pnlOptimizeItems", {38, 198, 685, 211});
    for (int k = 0; k < ChecklistRows; ++k) {
        const QString suffix = QString::fromLatin1(kRowNames[k]);
        auto* img = new TOrvImage(pnlOptimizeItems);
        img->setObjectName(u"imgOptimize"_qs + suffix);
        img->setGeometry(63, kRowY[k], 16, 16);
        img->SetPicture(FStars[0]);
        FChecklistImages[k] = img;
        QLabel* l = Label(pnlOptimizeItems, u"lblOptimize"_qs + suffix);
        l->move(97, kRowY[k] + 2);
        FChecklistLabels[k] = l;
    }
}

TKSOptimizePage::~TKSOptimizePage() = default;

void TKSOptimizePage::ApplyLanguage(TOrvMultiLangs& langs) {
    auto text = [&langs](const QString& key) { return langs.GetText(u"FormKSMain."_qs + key + u".Caption"_qs); };
    QFont captionFont(u"Tahoma"_qs, 10, QFont::Bold); // not the button's: that may have been made smaller
    if (const TOrvFontDesc* f = langs.GetFontSet(u"FormKSMain.btnOptimize.Font"_qs)) {
        captionFont = FontFromDesc(f, font());
        FBtnOptimize->SetFontColor(ToQColor(f->Color));
    }
    if (const TOrvFontDesc* f = langs.GetFontSet(u"FormKSMain.lblOptimize.Font"_qs)) {
        FLblOptimize->setFont(FontFromDesc(f, font()));
        FLblOptimize->setStyleSheet(u"color: "_qs + ToQColor(f->Color).name());
    }
    lblOptimizeTitle->setText(text(u"lblOptimizeTitle"_qs));
    lblOptimizeTitle->adjustSize();
    TKSCaptionFit::FitRoundButton(*FBtnOptimize, text(u"btnOptimize"_qs), captionFont);
    FLblOptimize->setText(text(u"lblOptimize"_qs));
    FLblOptimizeProc->setText(text(u"lblOptimizeProc"_qs));
    SetResultText(text(u"lblOptimizeResult"_qs));
    for (int k = 0; k < ChecklistRows; ++k) {
        FChecklistLabels[k]->setText(text(u"lblOptimize"_qs + QString::fromLatin1(kRowNames[k])));
        FChecklistLabels[k]->adjustSize();
    }
}

void TKSOptimizePage::SetProgressWidth(int width) {
    FImgProc1->resize(std::clamp(width, 0, FImgProc2->width()), FImgProc1->height());
}

void TKSOptimizePage::SetChecklistDone(int k, bool done) {
    if (k < 0 || k >= ChecklistRows) return;
    FChecklistDone[k] = done;
    FChecklistImages[k]->SetPicture(FStars[done ? 1 : 0]);
    FChecklistLabels[k]->setStyleSheet(QString());
    FChecklistLabels[k]->setToolTip(QString());
}

void TKSOptimizePage::SetChecklistSkipped(int k, const QString& why) {
    if (k < 0 || k >= ChecklistRows) return;
    FChecklistDone[k] = false;
    FChecklistImages[k]->SetPicture(FStars[0]);
    FChecklistLabels[k]->setStyleSheet(u"color: #808080"_qs);
    FChecklistLabels[k]->setToolTip(why);
}

bool TKSOptimizePage::ChecklistDone(int k) const {
    return k >= 0 && k < ChecklistRows && FChecklistDone[k];
}

QString TKSOptimizePage::ChecklistText(int k) const {
    return k >= 0 && k < ChecklistRows ? FChecklistLabels[k]->text() : QString();
}

void TKSOptimizePage::SetNoteText(const QString& text) {
    // The box holds a few lines: whole lines only, the last one cut after a word with an ellipsis, rather
    // than a line cut through its letters at the box's bottom. The whole remark is the tooltip.
    const QStringList lines =
        TOrvImagePanel::LayoutCaption(text, FLblOptimizeNote->font(), FLblOptimizeNote->contentsRect().size());
    FLblOptimizeNote->setText(lines.join(u'\n'));
    FLblOptimizeNote->setToolTip(text);
    FLblOptimizeNote->setVisible(!text.isEmpty());
}

void TKSOptimizePage::SetStatusText(const QString& text) {
    // A size never wraps between its number and its unit.
    static const QRegularExpression size(u"(\\d) (B|KB|MB|GB|TB)\\b"_qs);
    FLblOptimizeProc->setText(QString(text).replace(size, u"\\1\u00A0\\2"_qs));
}

void TKSOptimizePage::SetRunning(bool running) {
    if (running && FImgOptimze->Picture().IsEmpty()) FImgOptimze->SetPicture(OptimizeArt(u"freenow.gif"_qs));
    FImgOptimze->SetGIFAnimation(running);
    FImgOptimze->setVisible(running);
    FLblOptimize->setVisible(running);
    FBtnOptimize->setVisible(!running);
    if (running) FLblOptimize->raise();
}

void TKSOptimizePage::SetResultText(const QString& text) {
    FLblOptimizeResult->setText(text);
    PlaceResult();
}

// At its place, unless the grown figure would run past the panel's right border: then it ends just inside it.
void TKSOptimizePage::PlaceResult() {
    FLblOptimizeResult->adjustSize();
    const int right = pnlOptimizeProc->width() - 4;
    FLblOptimizeResult->move(std::min(ResultX, right - FLblOptimizeResult->width()), ResultY);
}

void TKSOptimizePage::SetResultVisible(bool visible) {
    FLblOptimizeResult->setVisible(visible);
}

void TKSOptimizePage::SetResultFontHeight(int height) {
    QFont f = FLblOptimizeResult->font();
    f.setBold(true);
    f.setPixelSize(height);
    FLblOptimizeResult->setFont(f);
    PlaceResult();
}

} // namespace kestrum
