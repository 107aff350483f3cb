#include "app/frmKSMain.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

#include "app/KSCmdLine.h"
#include "desktop/OrvAntiDisturb.h"
#include "desktop/OrvHotKeyManager.h"
#include "engine/MemoryOptimize.h"
#include "engine/SystemStatus.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/Platform.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvSkinManager.h"
#include "skin/OrvTabControl.h"
#include "store/KSSettings.h"
#include "support/IniFile.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {

// RGB(230, 240, 255) as the toolkit's colour value (red in the low byte).
constexpr uint32_t kBackground = 16773350;

TOrvPicture Art(const QString& name) {
    TOrvPicture p;
    p.LoadFromFile(u":/assets/"_qs + name); // embedded; an empty picture draws nothing
    return p;
}

QIcon TrayPicture(int index) {
    QString path = QStringLiteral(":/assets/tray/tray%1.png").arg(index, 2, 10, QLatin1Char('0'));
    if (QFileInfo::exists(path)) return QIcon(path);
    // Without the artwork a plain gauge square still marks the program in the tray.
    QPixmap pm(16, 16);
    pm.fill(QColor(40, 90, 170));
    return QIcon(pm);
}

} // namespace

TFormKSMain::TFormKSMain(platform::TPlatform& platform, TKSSettings& settings, QStringList arguments, QWidget* parent)
    : QWidget(parent), FPlatform(platform), FSettings(settings), FArguments(std::move(arguments)) {
    setObjectName(u"FormKSMain"_qs);
    setWindowTitle(u"Kestrum"_qs);
    setFixedSize(800, 600);
    FSysStatus = new TSystemStatus(*FPlatform.SystemInfo, this);
    FKSCore = new TMemoryOptimize(*FPlatform.Desktop, *FPlatform.Processes, this);
    FHotKeyManager = new TOrvHotKeyManager(*FPlatform.HotKeys, this);
    FAntiDisturb = new TOrvAntiDisturb(*FPlatform.Desktop, *FPlatform.Processes, this);
    FMultiLangs = new TOrvMultiLangs(this);
    SkinMgr = new TOrvSkinManager(this);
    TabCtrl = new TOrvTabControl(this);
    connect(FHotKeyManager, &TOrvHotKeyManager::OnHotKeyPressed, this,
            [this](uint32_t value, uint16_t) { HotKeyPressed(value); });
    connect(FAntiDisturb, &TOrvAntiDisturb::OnStateChanged, this, [this] { AntiDisturbStateChanged(); });
    BuildControls();
    BuildTrayIcon();
}

TFormKSMain::~TFormKSMain() = default;

QString TFormKSMain::ConfigPath() const {
    return GetAppDir() + u"Config/Config.ini"_qs;
}

void TFormKSMain::FormCreate() {
    MakeLanguageGlobal();                        // 1
    ArrangeSkin();                               // 2
    ApplySettings();                             // 3
    ApplyCommandLine();                          // 4
    LoadLanguage();                              // 5
    RegisterTabs();                              // 6
    ResetChecklist();                            // 7
    InitLogsRange();                             // 8
    StartSmartMode();                            // 9
    SelectTabByCode(ParsePopupCode(FArguments)); // 10
    ShowAdvertising();                           // 11
    // 12: centred on the screen when first shown. An automatic start with the tray icon on stays in
    // the notification area instead of popping a minimized window onto the taskbar.
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    if (HasSwitch(FArguments, u"-autostart"_qs) && FSettings.ShowTrayIcon) {
        Trace(u"hidden"_qs);
    } else {
        show();
        Trace(u"shown"_qs);
    }
    // 13: after the window has painted.
    QTimer::singleShot(0, this, [this] { OfferUpgrade(); });
}

void TFormKSMain::BuildControls() {
    QFont f(u"Tahoma"_qs);
    f.setPointSize(8);
    setFont(f);

    const char* captions[] = {"Usage", "Optimize", "Upgrade", "Logs"};
    const char* names[] = {"btnTabOverview", "btnTabOptimize", "btnTabUpgrade", "btnTabLogs"};
    const int xs[] = {24, 107, 190, 273};
    const char* pictures[] = {"usage", "optimize", "upgrade", "logs"};
    for (int i = 0; i < 4; ++i) {
        auto* b = new TOrvImageButton(this);
        b->setObjectName(QString::fromLatin1(names[i]));
        b->setGeometry(xs[i], 36, 77, 80);
        b->setCursor(Qt::PointingHandCursor);
        b->SetTransparent(true);
        QString base = u"tabs/"_qs + QLatin1String(pictures[i]);
        b->SetPicNormal(Art(base + u"_normal.png"_qs));
        b->SetPicMouseHover(Art(base + u"_hover.png"_qs));
        b->SetPicMouseDown(Art(base + u"_pressed.png"_qs));
        b->SetPicDisabled(Art(base + u"_disabled.png"_qs));
        QFont bf(u"Tahoma"_qs);
        bf.setPointSize(10);
        bf.setBold(true);
        b->setFont(bf);
        b->SetFontColor(Qt::white);
        b->SetTextAlign(OrvAlign_CustomCenter);
        b->SetTextY(57);
        b->SetCaption(QString::fromLatin1(captions[i]));
        FTabButtons << b;
    }
    pgcMain = new QStackedWidget(this);
    pgcMain->setObjectName(u"pgcMain"_qs);
    pgcMain->setGeometry(15, 126, 770, 435);
    for (const char* page : {"tsOverview", "tsOptimize", "tsLogs"}) {
        auto* w = new QWidget(pgcMain);
        w->setObjectName(QString::fromLatin1(page));
        pgcMain->addWidget(w);
    }
    lblStatusVersion = new QLabel(this);
    lblStatusVersion->setObjectName(u"lblStatusVersion"_qs);
    lblStatusVersion->move(15, 575);
    lblStatusInfo = new QLabel(this);
    lblStatusInfo->setObjectName(u"lblStatusInfo"_qs);
}

void TFormKSMain::BuildTrayIcon() {
    FTrayIcon = new QSystemTrayIcon(this);
    FTrayIcon->setToolTip(u"Kestrum"_qs);
    pmTrayIcon = new QMenu(this);
    mniTrayIconShowHide = pmTrayIcon->addAction(u"Show/Hide Window"_qs);
    QFont bold = pmTrayIcon->font();
    bold.setBold(true);
    mniTrayIconShowHide->setFont(bold); // the default item
    pmTrayIcon->addSeparator();
    mniTrayIconExit = pmTrayIcon->addAction(u"Exit"_qs);
    connect(mniTrayIconShowHide, &QAction::triggered, this, [this] { mniTrayIconShowHideClick(); });
    connect(mniTrayIconExit, &QAction::triggered, this, [this] { mniTrayIconExitClick(); });
    FTrayIcon->setContextMenu(pmTrayIcon);
    connect(FTrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger) mniTrayIconShowHideClick();
    });
}

// Step 1. The language component gets its English defaults; it is the catalogue of every window the main
// window opens (they are handed MultiLangs()), and re-applies the texts whenever the language changes.
void TFormKSMain::MakeLanguageGlobal() {
    FMultiLangs->SetOnMakeDefault([](TOrvMultiLangs* langs) { MultiLangsMakeDefault(langs); });
    FMultiLangs->SetOnLanguageChanged([this](TOrvMultiLangs*) { ApplyLanguage(); });
}

// Step 2. Seam: the skin manager's caption parts are placed here; until then the window system's frame.
// Step 2. The picture frame, caption icon, title and the minimize and close buttons (no maximize: the
// window has a fixed size).
void TFormKSMain::ArrangeSkin() {
    SkinMgr->SetBackColor(kBackground);
    SkinMgr->SetTransColor(true);
    SkinMgr->SetFormStyle(fsFixed);
    SkinMgr->Bounds().MinWidth = 800;
    SkinMgr->Bounds().MinHeight = 600;
    const char* pieces[8] = {"topleft", "top", "topright", "left", "right", "bottomleft", "bottom", "bottomright"};
    for (int i = 0; i < 8; ++i)
        SkinMgr->Frame().SetPicture(TFramePiece(i),
                                    Art(u"skin/main/frame_"_qs + QLatin1String(pieces[i]) + u".png"_qs));
    SkinMgr->Icon().SetPicNormal(Art(u"skin/caption/icon_main.png"_qs));
    SkinMgr->Icon().SetPosX(8);
    SkinMgr->Icon().SetPosY(5);
    const std::pair<TSkinButton*, const char*> buttons[] = {
        {&SkinMgr->BtnMin(), "min"}, {&SkinMgr->BtnMax(), "max"}, {&SkinMgr->BtnClose(), "close"}};
    for (auto& [button, name] : buttons) {
        QString b = u"skin/caption/"_qs + QLatin1String(name);
        button->SetPicNormal(Art(b + u"_normal.png"_qs));
        button->SetPicMouseHover(Art(b + u"_hover.png"_qs));
        button->SetPicMouseDown(Art(b + u"_pressed.png"_qs));
        button->SetPicDisabled(Art(b + u"_disabled.png"_qs));
    }
    SkinMgr->BtnMax().SetVisible(false);
    SkinMgr->BtnClose().SetPosX(width() - 30);
    SkinMgr->BtnClose().SetPosY(5);
    SkinMgr->BtnMin().SetPosX(width() - 55);
    SkinMgr->BtnMin().SetPosY(5);
    SkinMgr->Title().SetPosX(35);
    SkinMgr->Title().SetPosY(5);
    TOrvFont titleFont = SkinMgr->Title().Font();
    titleFont.Color = Qt::white;
    titleFont.Font = QFont(u"Tahoma"_qs, 8, QFont::Bold);
    SkinMgr->Title().SetFont(titleFont);
    SkinMgr->Title().SetText(u"Kestrum"_qs);
    SkinMgr->ApplySkin();
    QCoreApplication::processEvents();
}

// Step 3.
void TFormKSMain::ApplySettings() {
    // A settings file that cannot be used is said once, after the creation sequence has filled the status line.
    TSettingsResult loaded = LoadSettings(FSettings, ConfigPath());
    if (loaded.State == TSettingsResult::Failed)
        QTimer::singleShot(0, this, [this, text = loaded.Message] {
            lblStatusInfo->setText(text);
            lblStatusInfo->adjustSize();
        });
    // Seam: auto-start registration ("/add" or "/del") runs here at every start.
    ApplyTrayIcon();
    // A hotkey another program holds is ignored here; the settings dialog reports conflicts.
    if (FSettings.UseHotKey) FHotKeyManager->AddHotKey(FSettings.HotKeyValue);
    FAntiDisturb->SetEnabled(FSettings.AntiDisturb);
}

void TFormKSMain::ApplyTrayIcon() {
    FTrayPictureIndex = FSettings.DynTrayIcon ? 1 : (FAntiDisturb->State() ? 12 : 0);
    FTrayIcon->setIcon(TrayPicture(FTrayPictureIndex));
    FTrayIcon->setVisible(FSettings.ShowTrayIcon);
}

// Step 4.
void TFormKSMain::ApplyCommandLine() {
    if (HasSwitch(FArguments, u"-regrun"_qs)) {
        FSettings.AutoStart = true;
        FSettings.ShowTrayIcon = true;
        SaveSettings(FSettings, ConfigPath());
        // Seam: auto-start registration again, now with "/add".
        // The tray icon follows the new setting at once rather than at the next start.
        ApplyTrayIcon();
    }
    if (HasSwitch(FArguments, u"-autostart"_qs)) {
        setWindowState(windowState() | Qt::WindowMinimized);
        setVisible(!FSettings.ShowTrayIcon);
    }
}

// Step 5.
void TFormKSMain::LoadLanguage() {
    TIniFile ini(ConfigPath());
    FLanguageId = static_cast<uint16_t>(ini.ReadInteger(u"LANGUAGE"_qs, u"Language"_qs, 0) & 0xFFFF);
    FLanguageFolder = QString::number(FLanguageId) + u'/';
    FLanguagePackPath = GetAppDir() + u"Langs/"_qs + FLanguageFolder + u"Kestrum.ini"_qs;
    // The shipped packs lie beside the executable when the data folder has none of its own.
    if (!QFileInfo::exists(FLanguagePackPath)) {
        QString shipped = GetProgramDir() + u"Langs/"_qs + FLanguageFolder + u"Kestrum.ini"_qs;
        if (QFileInfo::exists(shipped)) FLanguagePackPath = shipped;
    }
    if (QFileInfo::exists(FLanguagePackPath)) FMultiLangs->LoadFromFile(FLanguagePackPath);
}

// The texts of this window from the catalogue; runs again on every language change.
void TFormKSMain::ApplyLanguage() {
    auto text = [this](const char16_t* key) { return FMultiLangs->GetText(QString::fromUtf16(key)); };
    const std::pair<TOrvImageButton*, const char16_t*> tabs[] = {
        {FTabButtons[0], u"FormKSMain.btnTabOverView.Caption"},
        {FTabButtons[1], u"FormKSMain.btnTabOptimize.Caption"},
        {FTabButtons[2], u"FormKSMain.btnTabUpgrade.Caption"},
        {FTabButtons[3], u"FormKSMain.btnTabLogs.Caption"},
    };
    for (auto& [button, key] : tabs)
        if (QString t = text(key); !t.isEmpty()) button->SetCaption(t);
    mniTrayIconShowHide->setText(text(u"FormKSMain.mniTrayIconShowHide.Caption"));
    mniTrayIconExit->setText(text(u"FormKSMain.mniTrayIconExit.Caption"));
    QString version = GetFileVersionString(*FPlatform.FileVersion);
    lblStatusVersion->setText(FMultiLangs->FormatText(u"FormKSMain.lblStatusVersion.Caption"_qs, {version}));
    lblStatusVersion->adjustSize();
    lblStatusInfo->setText(text(u"FormKSMain.lblStatusInfo.Caption"));
    lblStatusInfo->adjustSize();
    lblStatusInfo->move(lblStatusVersion->x() + lblStatusVersion->width() + 6, lblStatusVersion->y());
}

// Seam: a hotkey press starts a direct optimization with a tray balloon.
void TFormKSMain::HotKeyPressed(uint32_t value) {
    Trace(u"hotkey %1"_qs.arg(value));
}

// Seam: the overview's refresh shows the state in the status line; the static tray picture follows it here.
void TFormKSMain::AntiDisturbStateChanged() {
    if (!FSettings.DynTrayIcon) ApplyTrayIcon();
    Trace(u"do-not-disturb %1"_qs.arg(FAntiDisturb->State() ? 1 : 0));
}

// Step 6. The first registered tab is the active one; "Upgrade" is not a tab. The active tab's button
// shows its selected (disabled) picture.
void TFormKSMain::RegisterTabs() {
    connect(TabCtrl, &TOrvTabControl::OnActivated, this, [this](TOrvTabItem* item) {
        item->Button()->setEnabled(false);
        pgcMain->setCurrentWidget(item->Page());
        int index = pgcMain->currentIndex(); // pages were registered in tab order
        Trace(u"tab %1"_qs.arg(index));
        emit TabSelected(index);
    });
    connect(TabCtrl, &TOrvTabControl::OnInactivated, this, [](TOrvTabItem* item) { item->Button()->setEnabled(true); });
    TabCtrl->AddTab(FTabButtons[0], pgcMain->widget(0));
    TabCtrl->AddTab(FTabButtons[1], pgcMain->widget(1));
    TabCtrl->AddTab(FTabButtons[3], pgcMain->widget(2));
}

// Step 7. Seam: progress bar width 0, checklist pictures pending.
void TFormKSMain::ResetChecklist() {}
// Step 8. Seam: the logs page's "last 3 days" range and first fill.
void TFormKSMain::InitLogsRange() {}
// Step 9. From here on every freeing run spares the programs the user works with most.
void TFormKSMain::StartSmartMode() {
    FKSCore->SetSmartMode(true);
}
// Step 11. Seam: the advertising picture becomes visible.
void TFormKSMain::ShowAdvertising() {}

// Step 13. Only offered when the updater is really there: asking without one would start nothing.
void TFormKSMain::OfferUpgrade() {
    QString updater = GetProgramDir() + u"Fetchup"_qs;
    if (!QFileInfo(updater).isFile()) return;
    int answer = ShowMessageBox(this, QString(), QString(), 0x44, 0); // texts come from a language pack
    if (answer == 6) LaunchProcess(*FPlatform.Shell, u'"' + updater + u'"', 1);
}

void TFormKSMain::SelectTab(int index) {
    if (index >= 0) TabCtrl->SelectTab(index);
}

int TFormKSMain::ActiveTabIndex() const {
    return pgcMain->currentIndex();
}

void TFormKSMain::SelectTabByCode(long long code) {
    SelectTab(TabIndexForPopupCode(code));
}

void TFormKSMain::HandOver(long long code) {
    SelectTabByCode(code);
    BringMainWindowToFront();
}

void TFormKSMain::BringMainWindowToFront() {
    if (!isVisible()) show();
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
    Trace(u"front"_qs);
}

void TFormKSMain::mniTrayIconShowHideClick() {
    if (isVisible() && !isMinimized()) {
        setWindowState(windowState() | Qt::WindowMinimized);
        hide();
    } else {
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        raise();
        activateWindow();
    }
}

void TFormKSMain::mniTrayIconExitClick() {
    FExitRequested = true;
    close();
}

void TFormKSMain::closeEvent(QCloseEvent* event) {
    if (!FExitRequested && FSettings.ShowTrayIcon) {
        setWindowState(windowState() | Qt::WindowMinimized);
        hide();
        event->ignore();
        Trace(u"hidden"_qs);
        return;
    }
    event->accept();
    Trace(u"closing"_qs);
    FTrayIcon->hide();
    QCoreApplication::quit();
}

void TFormKSMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Give back what start-up or the hidden time made resident; the pages come back as they are used.
    if (FPlatform.Processes) FPlatform.Processes->TrimWorkingSet(FPlatform.Processes->CurrentProcessId());
}

void TFormKSMain::Trace(const QString& line) const {
    // A line per state change on stderr when KESTRUM_TRACE is set, for the tests that drive the program.
    static const bool on = qEnvironmentVariableIsSet("KESTRUM_TRACE");
    if (on) std::fprintf(stderr, "kestrum: %s\n", qPrintable(line));
}

} // namespace kestrum
