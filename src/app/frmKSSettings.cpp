#include "app/frmKSSettings.h"

#include <QCheckBox>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>

#include "app/KSDialogSkin.h"
#include "app/KSGnomeShortcutOffer.h"
#include "app/KSHotKeyEdit.h"
#include "app/frmKSMain.h"
#include "desktop/PortalHotKey.h"
#include "i18n/OrvMultiLangs.h"
#include "skin/OrvImage.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvSkinManager.h"
#include "store/KSSettings.h"

namespace kestrum {

namespace {

constexpr int kWidth = 500, kHeight = 410;
constexpr int kModalCancel = 2;

template <class T>
T* Make(QWidget* parent, const char* name, int left, int top, int width = -1, int height = -1) {
    auto* w = new T(parent);
    w->setObjectName(QString::fromLatin1(name));
    if (width < 0)
        w->move(left, top);
    else
        w->setGeometry(left, top, width, height);
    return w;
}

// The line under the hotkey where the session has no key grabs: what holds the hotkey, or what to do instead.
// Red tells of a problem; a hotkey the desktop holds is said in the dialog's own colour.
void ShowHotKeyNotice(QLabel* label, int dialogWidth, const QString& text, bool held) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText,
                     held ? label->parentWidget()->palette().color(QPalette::WindowText) : QColor(Qt::red));
    label->setPalette(palette);
    label->setWordWrap(true);
    label->setFixedWidth(dialogWidth - label->x() - 16);
    label->setText(text);
    label->adjustSize();
    label->raise();
    label->show();
}

} // namespace

TFormKSSettings::TFormKSSettings(TFormKSMain* main, TKSSettings& settings, TOrvMultiLangs* langs,
                                 const QString& configPath)
    : QDialog(main), FMain(main), FSettings(settings), FLangs(langs), FConfigPath(configPath) {
    setObjectName(u"FormKSSettings"_qs);
    setFixedSize(kWidth, kHeight);
    QFont f(u"Tahoma"_qs);
    f.setPointSize(8);
    setFont(f);
    SkinMgr = new TOrvSkinManager(this);
    SkinMgr->setObjectName(u"SkinMgr"_qs);
    BuildControls();
    FormCreate();
}

TFormKSSettings::~TFormKSSettings() = default;

void TFormKSSettings::BuildControls() {
    auto separator = [this](const char* name, int top) {
        auto* img = Make<TOrvImage>(this, name, 32, top, 390, 12);
        img->SetTransparent(true);
        img->SetPicture(DialogArt(u"common/separator.png"_qs));
        return img;
    };
    // Created in tab order.
    chkAutoStart = Make<QCheckBox>(this, "chkAutoStart", 32, 40, 460, 17);
    chkAutoStart->hide();
    imgLine1 = separator("imgLine1", 63);
    chkTrayIcon = Make<QCheckBox>(this, "chkTrayIcon", 32, 81, 460, 17);
    rbTrayIconDynamic = Make<QRadioButton>(this, "rbTrayIconDynamic", 48, 104, 444, 17);
    rbTrayIconStatic = Make<QRadioButton>(this, "rbTrayIconStatic", 48, 123, 444, 17);
    imgLine2 = separator("imgLine2", 146);
    chkHotKey = Make<QCheckBox>(this, "chkHotKey", 32, 164, 460, 17);
    hkHotKey = Make<TKSHotKeyEdit>(this, "hkHotKey", 48, 187, 102, 21);
    lblHotKey = Make<QLabel>(this, "lblHotKey", 156, 191);
    QPalette red = lblHotKey->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblHotKey->setPalette(red);
    lblHotKey->hide();
    imgLine3 = separator("imgLine3", 214);
    chkSleep = Make<QCheckBox>(this, "chkSleep", 32, 232, 460, 17);
    seSleep = Make<QSpinBox>(this, "seSleep", 48, 255, 102, 22);
    seSleep->setRange(1, 120);
    seSleep->setValue(30);
    // Arrows only: the text cannot be typed into, so the value is always a number within its range.
    if (auto* text = seSleep->findChild<QLineEdit*>()) text->setReadOnly(true);
    lblSleepMin = Make<QLabel>(this, "lblSleepMin", 156, 259);
    imgLine4 = separator("imgLine4", 283);
    chkAntiDisturb = Make<QCheckBox>(this, "chkAntiDisturb", 32, 301, 460, 17);
    lblAntiDisturb = Make<QLabel>(this, "lblAntiDisturb", 48, 324);
    QPalette grey = lblAntiDisturb->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    lblAntiDisturb->setPalette(grey);
    lblAntiDisturb->setCursor(Qt::PointingHandCursor);
    lblAntiDisturb->setAttribute(Qt::WA_Hover);
    lblAntiDisturb->installEventFilter(this);

    auto button = [this](const char* name, int left) {
        auto* b = Make<TOrvImageButton>(this, name, left, 360, 70, 23);
        b->SetTransparent(true);
        b->SetPicNormal(DialogArt(u"buttons/button_normal.png"_qs));
        b->SetPicMouseHover(DialogArt(u"buttons/button_hover.png"_qs));
        b->SetPicMouseDown(DialogArt(u"buttons/button_pressed.png"_qs));
        b->SetPicDisabled(DialogArt(u"buttons/button_disabled.png"_qs));
        b->SetTabStop(true);
        return b;
    };
    btnOk = button("btnOk", 246);
    btnOk->SetDefault(true);
    btnCancel = button("btnCancel", 322);
    btnCancel->SetCancel(true);
    btnCancel->SetModalResult(kModalCancel);
    btnApply = button("btnApply", 398);
    // The hotkey part has no room to spare: the desktop's own shortcut dialog is opened from the free left
    // end of the button row.
    btnDesktopShortcut = Make<QPushButton>(this, "btnDesktopShortcut", 16, 359, 222, 25);
    btnDesktopShortcut->setAutoDefault(false);
    btnDesktopShortcut->hide();
    FGnomeOffer = new TKSGnomeShortcutOffer(this, btnDesktopShortcut->geometry(), FLangs);

    // The hint lies over the lower part of the dialog, buttons included, while the pointer is on its label.
    pnlAntiDisturbHint = Make<QFrame>(this, "pnlAntiDisturbHint", 16, 341, 465, 57);
    pnlAntiDisturbHint->setFrameStyle(QFrame::Box | QFrame::Plain);
    pnlAntiDisturbHint->setAutoFillBackground(true);
    QPalette tip = pnlAntiDisturbHint->palette();
    tip.setColor(QPalette::Window, tip.color(QPalette::ToolTipBase));
    tip.setColor(QPalette::WindowText, Qt::gray);
    pnlAntiDisturbHint->setPalette(tip);
    lblAntiDisturbHint = Make<QLabel>(pnlAntiDisturbHint, "lblAntiDisturbHint", 10, 6, 439, 47);
    lblAntiDisturbHint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (QLabel* l : findChildren<QLabel*>()) l->setTextFormat(Qt::PlainText); // pack texts are never markup
    pnlAntiDisturbHint->hide();

    QWidget* order[] = {chkAutoStart, chkTrayIcon, rbTrayIconDynamic, rbTrayIconStatic, chkHotKey,
                        hkHotKey,     chkSleep,    seSleep,           chkAntiDisturb,   btnDesktopShortcut,
                        btnOk,        btnCancel,   btnApply};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    connect(chkTrayIcon, &QCheckBox::clicked, this, [this] { chkTrayIconClick(); });
    connect(chkHotKey, &QCheckBox::clicked, this, [this] { chkHotKeyClick(); });
    connect(chkAntiDisturb, &QCheckBox::clicked, this, [this] { chkHotKeyClick(); });
    connect(hkHotKey, &TKSHotKeyEdit::OnChange, this, [this] { hkHotKeyChange(); });
    // Pressing the current hotkey in the edit records it instead of freeing memory.
    connect(hkHotKey, &TKSHotKeyEdit::CaptureChanged, this, [this](bool capturing) {
        if (FMain) FMain->PauseHotKey(capturing);
    });
    // The desktop's portal answers a binding later: the notice under the hotkey follows it.
    if (FMain)
        connect(FMain, &TFormKSMain::HotKeyNoticeChanged, this, [this] {
            const QString instead = FMain->HotKeyUnavailableText(FSettings.HotKeyValue);
            if (lblHotKey->isHidden() || FHotKeyFailed || instead.isEmpty()) return;
            ShowHotKeyNotice(lblHotKey, width(), instead, FMain->HotKeyHeld(FSettings.HotKeyValue));
        });
    if (FMain) connect(FMain, &TFormKSMain::HotKeyNoticeChanged, this, [this] { ShowDesktopShortcut(); });
    connect(btnDesktopShortcut, &QPushButton::clicked, this, [this] {
        if (FMain && FMain->PortalHotKey()) FMain->PortalHotKey()->Configure(QString());
    });
    connect(chkSleep, &QCheckBox::clicked, this, [this] { chkSleepClick(); });
    connect(btnOk, &TOrvImageButton::OnClick, this, [this] { btnOkClick(); });
    connect(btnCancel, &TOrvImageButton::OnClick, this, [this] { btnCancelClick(); });
    connect(btnApply, &TOrvImageButton::OnClick, this, [this] { btnApplyClick(); });
}

void TFormKSSettings::FormCreate() {
    ArrangeSkin();
    ApplyTexts();
    CenterOnOwner();
    LoadControls();
    chkAutoStart->hide(); // its value lives on in the hidden box; only the file or -regrun change it
}

void TFormKSSettings::ArrangeSkin() {
    ArrangeDialogSkin(*SkinMgr, *this);
}

// Centred on the main window; on its screen while it lives in the tray.
void TFormKSSettings::CenterOnOwner() {
    if (FMain && FMain->isVisible() && !FMain->isMinimized()) {
        move(FMain->x() + (FMain->width() - width()) / 2, FMain->y() + (FMain->height() - height()) / 2);
    } else if (QScreen* s = FMain ? FMain->screen() : screen()) {
        move(s->availableGeometry().center() - rect().center());
    }
}

void TFormKSSettings::ApplyTexts() {
    if (!FLangs) return;
    auto text = [this](const char16_t* key) { return FLangs->GetText(QString::fromUtf16(key)); };
    TOrvFont title;
    if (LookupFont(*FLangs, u"FormKSSettings.SkinMgr.Title.Font"_qs, title)) SkinMgr->Title().SetFont(title);
    setWindowTitle(text(u"FormKSSettings.Caption"));
    SkinMgr->Title().SetText(text(u"FormKSSettings.SkinMgr.Title.Text"));
    chkAutoStart->setText(text(u"FormKSSettings.chkAutoStart.Caption"));
    chkTrayIcon->setText(text(u"FormKSSettings.chkTrayIcon.Caption"));
    rbTrayIconDynamic->setText(text(u"FormKSSettings.rbTrayIconDynamic.Caption"));
    rbTrayIconStatic->setText(text(u"FormKSSettings.rbTrayIconStatic.Caption"));
    chkHotKey->setText(text(u"FormKSSettings.chkHotKey.Caption"));
    lblHotKey->setText(text(u"FormKSSettings.lblHotKey.Caption"));
    chkSleep->setText(text(u"FormKSSettings.chkSleep.Caption"));
    lblSleepMin->setText(text(u"FormKSSettings.lblSleepMin.Caption"));
    chkAntiDisturb->setText(text(u"FormKSSettings.chkAntiDisturb.Caption"));
    lblAntiDisturb->setText(text(u"FormKSSettings.lblAntiDisturb.Caption"));
    lblAntiDisturbHint->setText(
        ElideWrapped(text(u"FormKSSettings.lblAntiDisturbHint.Caption"), font(), lblAntiDisturbHint->size()));
    for (QLabel* l : {lblHotKey, lblSleepMin, lblAntiDisturb}) l->adjustSize();
    btnOk->SetCaption(text(u"String.Button.Ok"));
    btnCancel->SetCaption(text(u"String.Button.Cancel"));
    btnApply->SetCaption(text(u"String.Button.Apply"));
    btnDesktopShortcut->setText(text(u"FormKSSettings.btnDesktopShortcut.Caption"));
    FGnomeOffer->ApplyTexts();
    hkHotKey->SetHotKey(hkHotKey->HotKey()); // key names follow the language
}

void TFormKSSettings::LoadControls() {
    LoadSettings(FSettings, FConfigPath); // always from the file: an edit made while we run shows here
    chkAutoStart->setChecked(FSettings.AutoStart);
    chkTrayIcon->setChecked(FSettings.ShowTrayIcon);
    rbTrayIconDynamic->setChecked(FSettings.DynTrayIcon);
    rbTrayIconStatic->setChecked(!FSettings.DynTrayIcon);
    chkTrayIconClick();
    chkHotKey->setChecked(FSettings.UseHotKey);
    hkHotKey->SetHotKey(FSettings.HotKeyValue);
    FLastHotKey = FSettings.HotKeyValue;
    chkHotKeyClick(); // a ticked hotkey without a key (a hand-edited file) shows the default
    FRememberedHotKey = FSettings.HotKeyValue;
    chkSleep->setChecked(FSettings.SleepEnabled);
    chkSleepClick();
    seSleep->setValue(FSettings.SleepValue); // the control holds it within 1..120
    chkAntiDisturb->setChecked(FSettings.AntiDisturb);
    ApplyAutoStart();
    ApplyTrayIcon();
    ApplyHotKey();
    ShowDesktopShortcut(); // later changes of the portal's state arrive as notice changes
    ApplyAntiDisturb();
}

void TFormKSSettings::SaveControls() {
    FSettings.AutoStart = chkAutoStart->isChecked();
    FSettings.ShowTrayIcon = chkTrayIcon->isChecked();
    FSettings.DynTrayIcon = !rbTrayIconStatic->isChecked();
    FSettings.UseHotKey = chkHotKey->isChecked();
    if (FSettings.UseHotKey && hkHotKey->HotKey() == 0) chkHotKeyClick(); // never "on" without a key
    FSettings.HotKeyValue = FSettings.UseHotKey ? hkHotKey->HotKey() : 0;
    FSettings.SleepEnabled = chkSleep->isChecked();
    FSettings.SleepValue = seSleep->value();
    FSettings.AntiDisturb = chkAntiDisturb->isChecked();
    // A file that cannot be written still leaves the settings applied; the main window's status line says so.
    const TSettingsResult saved = SaveSettings(FSettings, FConfigPath);
    if (FMain) FMain->ReportSettingsProblem(saved.State == TSettingsResult::Failed ? saved.Message : QString());
    ApplyAutoStart();
    ApplyTrayIcon();
    ApplyHotKey();
    ApplyAntiDisturb();
}

void TFormKSSettings::ApplyAutoStart() {
    if (FMain) FMain->ApplyAutoStart();
}

void TFormKSSettings::ApplyTrayIcon() {
    if (!FMain) return;
    FMain->ApplyTrayIcon();
    if (FSettings.ShowTrayIcon || FMain->isVisible()) return;
    // The window lived in the tray that is gone now: bring it back, with the dialog in its middle.
    FMain->setWindowState(FMain->windowState() & ~Qt::WindowMinimized);
    FMain->show();
    move(FMain->x() + (FMain->width() - width()) / 2, FMain->y() + (FMain->height() - height()) / 2);
    raise();
    activateWindow();
}

void TFormKSSettings::ApplyHotKey() {
    if (!FMain) return;
    if (!FSettings.UseHotKey) {
        FMain->ApplyHotKey(FRememberedHotKey);                    // only releases it
        if (hkHotKey->HotKey()) FLastHotKey = hkHotKey->HotKey(); // offered again if ticked later
        hkHotKey->SetHotKey(0);
        return;
    }
    // Unchanged and really held: nothing to do. A key that is not held (refused at start-up, or lost by
    // an earlier failed attempt) is tried again, so the label tells the truth.
    if (FRememberedHotKey != 0 && hkHotKey->HotKey() == FRememberedHotKey && FMain->HotKeyHeld(FRememberedHotKey)) {
        // Held by the desktop's shortcut portal rather than a grab: say so.
        if (const QString holder = FMain->HotKeyUnavailableText(FSettings.HotKeyValue); !holder.isEmpty()) {
            ShowHotKeyNotice(lblHotKey, width(), holder, true);
            FHotKeyFailed = false;
        }
        return;
    }
    const bool ok = FMain->ApplyHotKey(FRememberedHotKey);
    if (ok) FRememberedHotKey = FSettings.HotKeyValue;
    lblHotKey->setVisible(!ok);
    FHotKeyFailed = !ok;
    // No combination can be had where the session grants no hotkeys: say what to do instead, and do not
    // hold the dialog open for it.
    if (const QString instead = FMain->HotKeyUnavailableText(FSettings.HotKeyValue); !ok && !instead.isEmpty()) {
        ShowHotKeyNotice(lblHotKey, width(), instead, false);
        FHotKeyFailed = false;
    }
}

// Offered only while the desktop holds the hotkey and has a dialog of its own for it.
void TFormKSSettings::ShowDesktopShortcut() {
    btnDesktopShortcut->setVisible(FMain && FMain->PortalHotKey() && FMain->PortalHotKey()->CanConfigure());
    // GNOME with no portal holding the stored key: the offer to add its own custom keybinding instead.
    FGnomeOffer->Update(FMain && FSettings.UseHotKey && !FMain->HotKeyUnavailableText(FSettings.HotKeyValue).isEmpty() &&
                            !FMain->HotKeyHeld(FSettings.HotKeyValue),
                        FSettings.HotKeyValue);
}

void TFormKSSettings::ApplyAntiDisturb() {
    if (FMain) FMain->ApplyAntiDisturb();
}

void TFormKSSettings::chkTrayIconClick() {
    rbTrayIconDynamic->setEnabled(chkTrayIcon->isChecked());
    rbTrayIconStatic->setEnabled(chkTrayIcon->isChecked());
}

// A ticked hotkey always shows a key: the last one chosen in this dialog, else the default.
void TFormKSSettings::chkHotKeyClick() {
    hkHotKey->setEnabled(chkHotKey->isChecked());
    if (chkHotKey->isChecked() && hkHotKey->HotKey() == 0)
        hkHotKey->SetHotKey(FLastHotKey ? FLastHotKey : DefaultHotKey);
}

// An emptied edit takes the remembered shortcut back (else the last or the default one), so it is never
// empty while ticked. A combination another program holds shows the conflict label as soon as it is typed.
void TFormKSSettings::hkHotKeyChange() {
    if (hkHotKey->HotKey() == 0)
        hkHotKey->SetHotKey(FRememberedHotKey ? FRememberedHotKey : FLastHotKey ? FLastHotKey : DefaultHotKey);
    FLastHotKey = hkHotKey->HotKey();
    if (FMain && !QGuiApplication::platformName().startsWith(u"wayland"_qs))
        lblHotKey->setVisible(!FMain->HotKeyFree(hkHotKey->HotKey()));
}

void TFormKSSettings::chkSleepClick() {
    seSleep->setEnabled(chkSleep->isChecked());
}

void TFormKSSettings::lblAntiDisturbMouseEnter() {
    pnlAntiDisturbHint->raise();
    pnlAntiDisturbHint->show();
}

void TFormKSSettings::lblAntiDisturbMouseLeave() {
    pnlAntiDisturbHint->hide();
}

void TFormKSSettings::btnOkClick() {
    SaveControls();
    if (!FHotKeyFailed) accept();
}

void TFormKSSettings::btnCancelClick() {
    reject();
}

void TFormKSSettings::btnApplyClick() {
    SaveControls();
}

bool TFormKSSettings::eventFilter(QObject* watched, QEvent* e) {
    if (watched == lblAntiDisturb) {
        if (e->type() == QEvent::Enter)
            lblAntiDisturbMouseEnter();
        else if (e->type() == QEvent::Leave)
            lblAntiDisturbMouseLeave();
    }
    return QDialog::eventFilter(watched, e);
}

} // namespace kestrum
