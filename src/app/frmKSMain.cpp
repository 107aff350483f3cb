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
#include <QUrl>
#include <QVBoxLayout>
#include <cstdio>
#include <optional>
#include <utility>

#include "app/KSActivationToken.h"
#include "app/KSArt.h"
#include "app/KSBalloon.h"
#include "app/KSCaptionFit.h"
#include "app/KSCmdLine.h"
#include "app/KSLatencyProbe.h"
#include "app/KSOptimizeFlow.h"
#include "app/KSTrayGesture.h"
#include "app/KSPressureMonitor.h"
#include "app/KSProtection.h"
#include "app/frmKSAbout.h"
#include "app/frmKSSettings.h"
#include "app/pages/KSLogsPage.h"
#include "app/pages/KSOptimizePage.h"
#include "app/pages/KSOverviewPage.h"
#include "desktop/DndSourceSet.h"
#include "desktop/HotKeyText.h"
#include "desktop/LanguageBroadcast.h"
#include "desktop/OrvAntiDisturb.h"
#include "desktop/OrvHotKeyManager.h"
#include "desktop/PortalHotKey.h"
#include "desktop/WatchedDesktop.h"
#include "desktop/X11Connection.h"
#include "desktop/X11LanguageBroadcast.h"
#include "desktop/X11WindowWatch.h"
#include "engine/KSOptiMonPolicy.h"
#include "engine/KSSharedSample.h"
#include "engine/KSSystemOpti.h"
#include "engine/MemoryOptimize.h"
#include "engine/SystemStatus.h"
#include "i18n/KSLangDefaults.h"
#include "i18n/OrvMultiLangs.h"
#include "platform/Platform.h"
#include "skin/OrvColor.h"
#include "skin/OrvImage.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvSkinManager.h"
#include "skin/OrvTabControl.h"
#include "skin/OrvWindowShape.h"
#include "store/KSAutoStart.h"
#include "store/KSLogMgr.h"
#include "store/KSSettings.h"
#include "support/IniFile.h"
#include "support/KSUtils.h"

namespace kestrum {

namespace {

// RGB(230, 240, 255) as the toolkit's colour value (red in the low byte).
constexpr uint32_t kBackground = 16773350;
// The language broadcast's id when there is no X server to intern it: nothing can arrive then, but the
// check value keeps its meaning for in-process callers. In the range Windows gives registered messages.
constexpr uint32_t kLanguageMessageWithoutX = 0xC0DE;

QIcon LoadTrayPicture(int index) {
    // Decoded by the program's own reader, like the rest of the artwork: the toolkit's would first load every
    // image plugin it has, at start-up.
    const TOrvPicture picture = Art(QStringLiteral("tray/tray%1.png").arg(index, 2, 10, QLatin1Char('0')));
    if (!picture.IsEmpty()) return QIcon(QPixmap::fromImage(picture.DisplayImage()));
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
    FPlatform.SystemInfo->SetCountsWanted(false); // the window shows no handle, thread or process count
    FDesktop = std::make_unique<TWatchedDesktop>(*FPlatform.Desktop);
    FKSCore = new TMemoryOptimize(*FDesktop, *FPlatform.Processes, this);
    FHotKeyManager = new TOrvHotKeyManager(*FPlatform.HotKeys, this);
    FAntiDisturb = new TOrvAntiDisturb(*FDesktop, *FPlatform.Processes, this);
    // A game under GameMode and the desktop's own do-not-disturb count beside the full-screen check.
    connect(TDndSourceSet::CreateForDesktop(this), &TDndSourceSet::ActiveChanged, FAntiDisturb,
            &TOrvAntiDisturb::SetSourceState);
    FTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    FMultiLangs = new TOrvMultiLangs(this);
    SkinMgr = new TOrvSkinManager(this);
    TabCtrl = new TOrvTabControl(this);
    connect(FHotKeyManager, &TOrvHotKeyManager::OnHotKeyPressed, this,
            [this](uint32_t value, uint16_t) { HotKeyPressed(value); });
    // Wayland grants no key grabs; where the desktop's portal offers global shortcuts it holds the hotkey.
    if (QGuiApplication::platformName().startsWith(u"wayland"_qs))
        FPortalHotKey = TPortalHotKey::CreateForSession(u"kestrum"_qs, this);
    if (FPortalHotKey) {
        connect(FPortalHotKey, &TPortalHotKey::Activated, this, [this] {
            if (!FHotKeyPaused) HotKeyPressed(FSettings.HotKeyValue);
        });
        connect(FPortalHotKey, &TPortalHotKey::StateChanged, this, [this] {
            ApplyStatusInfo();
            emit HotKeyNoticeChanged();
        });
    }
    connect(FAntiDisturb, &TOrvAntiDisturb::OnStateChanged, this, [this] { AntiDisturbStateChanged(); });
    BuildControls();
    BuildTrayIcon();
    // The refresh runs from the window's creation to the end of the program, shown or hidden.
    tmrRefreshOverview = new QTimer(this);
    tmrRefreshOverview->setObjectName(u"tmrRefreshOverview"_qs);
    tmrRefreshOverview->setInterval(1000);
    connect(tmrRefreshOverview, &QTimer::timeout, this, &TFormKSMain::tmrRefreshOverviewTimer);
    tmrRefreshOverview->start();
    BuildMainMenu();
    FUpdaterPath = GetProgramDir() + u"Fetchup"_qs;
    FLanguageBroadcast = std::make_unique<TX11LanguageBroadcast>(
        QtX11Connection(), [this](uint32_t message, uint32_t wParam, uint32_t lParam) {
            LanguageBroadcastMessage(message, wParam, lParam);
        });
    FLanguageMessage = FLanguageBroadcast->MessageId() ? FLanguageBroadcast->MessageId() : kLanguageMessageWithoutX;
    // Window changes wake the do-not-disturb check, which otherwise waits long while nothing is full-screen,
    // and tell the active window, which the usage tracking and the protection would otherwise ask for.
    FWindowWatch = std::make_unique<TX11WindowWatch>(QtX11Connection(), [this] {
        FDesktop->ActiveWindowReported(FWindowWatch->ActiveWindowId());
        FAntiDisturb->WindowsChanged();
    });
    FAntiDisturb->SetWindowEventsWatched(FWindowWatch->Active());
    if (FWindowWatch->Active()) FDesktop->ActiveWindowReported(FWindowWatch->ActiveWindowId());
    BuildOptimizeFlow();
}

TFormKSMain::~TFormKSMain() {
    // First: a run still under way uses the engine and the platform, which go with the window. It stops
    // trimming at once instead of finishing a run nobody will see.
    FKSCore->SetCancelled(true);
    delete FOptimizeFlow;
    FOptimizeFlow = nullptr;
}

QString TFormKSMain::ConfigPath() const {
    return GetAppDir() + u"Config/Config.ini"_qs;
}

void TFormKSMain::FormCreate() {
    MakeLanguageGlobal();                        // 1
    ArrangeSkin();                               // 2
    ApplySettings();                             // 3
    ApplyCommandLine();                          // 4
    LoadLanguage();                              // 5
    if (FHotKeyFailed) BindPortalHotKey();
    RegisterTabs();                              // 6
    ResetChecklist();                            // 7
    InitLogsRange();                             // 8
    StartSmartMode();                            // 9
    SelectTabByCode(ParsePopupCode(FArguments)); // 10
    ShowAdvertising();                           // 11
    // 12: centred on the screen when first shown. An automatic start with the tray icon on stays in
    // the notification area instead of popping a minimized window onto the taskbar.
    if (QScreen* s = screen(); s && !isVisible()) move(s->availableGeometry().center() - rect().center());
    // "-optimize" with no copy running starts one out of sight that frees memory at once.
    const bool optimize = HasSwitch(FArguments, u"-optimize"_qs);
    if ((HasSwitch(FArguments, u"-autostart"_qs) && FSettings.ShowTrayIcon) || optimize) {
        if (!TrayUsable()) HideToTray(); // no notification area: a minimized window, not a lost one
        Trace(u"hidden"_qs);
    } else {
        show();
        Trace(u"shown"_qs);
    }
    // 13: after the window has painted.
    QTimer::singleShot(0, this, [this] { OfferUpgrade(); });
    // A second start that came in meanwhile is answered now, with the window complete.
    FCreating = false;
    if (optimize) QTimer::singleShot(0, this, [this] { HandOver(EncodeHandOver(THandOver{0, true})); });
    for (long long code : std::exchange(FPendingHandOvers, {})) HandOver(code);
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
    // "Upgrade" is a command, not a tab: its page stays as it is. Its caption may take two lines.
    FTabButtons[2]->SetMultiLines(true);
    connect(FTabButtons[2], &TOrvCustomButton::OnClick, this, [this] { UpgradeCommand(); });
    imgAD = new TOrvImage(this);
    imgAD->setObjectName(u"imgAD"_qs);
    imgAD->setGeometry(560, 39, 230, 75);
    imgAD->SetTransparent(true);
    imgAD->SetPicture(Art(u"main/banner.png"_qs));
    imgAD->setCursor(Qt::PointingHandCursor);
    imgAD->setVisible(false); // until step 11
    connect(imgAD, &TOrvImage::OnMouseUp, this, [this](QMouseEvent* e) {
        if (e->button() == Qt::LeftButton && imgAD->rect().contains(e->position().toPoint())) UpgradeCommand();
    });
    pgcMain = new QStackedWidget(this);
    pgcMain->setObjectName(u"pgcMain"_qs);
    pgcMain->setGeometry(15, 126, 770, 435);
    FOverviewPage = new TKSOverviewPage(pgcMain);
    FOptimizePage = new TKSOptimizePage(pgcMain);
    FLogsPage = new TKSLogsPage(pgcMain);
    pgcMain->addWidget(FOverviewPage);
    pgcMain->addWidget(FOptimizePage);
    pgcMain->addWidget(FLogsPage);
    // The tab switcher shows and hides the pages itself, so the stack's layout never sizes the pages it did not
    // start with: every page takes the whole page area from the start (the window has a fixed size).
    for (int i = 0; i < pgcMain->count(); ++i) pgcMain->widget(i)->setGeometry(pgcMain->rect());
    lblStatusVersion = new QLabel(this);
    lblStatusVersion->setObjectName(u"lblStatusVersion"_qs);
    lblStatusVersion->move(15, 575);
    lblStatusInfo = new QLabel(this);
    lblStatusInfo->setObjectName(u"lblStatusInfo"_qs);
}

namespace {

QAction* MenuItem(QMenu* menu, const char* name, void (TFormKSMain::*command)(), TFormKSMain* window) {
    QAction* a = menu->addAction(QString());
    a->setObjectName(QString::fromLatin1(name));
    QObject::connect(a, &QAction::triggered, window, [window, command] { (window->*command)(); });
    return a;
}

// F1 shown beside a menu's Help item; it acts only while that menu is open (the window's own F1 is actHelp).
void ShowHelpKey(QAction* item) {
    item->setShortcut(QKeySequence(Qt::Key_F1));
    item->setShortcutContext(Qt::WidgetShortcut);
}

} // namespace

void TFormKSMain::BuildTrayIcon() {
    FTrayIcon = new QSystemTrayIcon(this);
    FTrayIcon->setToolTip(u"Bramblin - Kestrum"_qs);
    pmTrayIcon = new QMenu(this);
    pmTrayIcon->setObjectName(u"pmTrayIcon"_qs);
    pmTrayIcon->setSeparatorsCollapsible(false);
    mniTrayIconShowHide = MenuItem(pmTrayIcon, "mniTrayIconShowHide", &TFormKSMain::mniTrayIconShowHideClick, this);
    QFont bold = pmTrayIcon->font();
    bold.setBold(true);
    mniTrayIconShowHide->setFont(bold); // the default item
    mniTrayIconOptimize = MenuItem(pmTrayIcon, "mniTrayIconOptimize", &TFormKSMain::mniTrayIconOptimizeClick, this);
    pmTrayIcon->addSeparator()->setObjectName(u"mniTrayIconLine1"_qs);
    mniTrayIconSettings = MenuItem(pmTrayIcon, "mniTrayIconSettings", &TFormKSMain::SettingsCommand, this);
    mniTrayIconHelp = MenuItem(pmTrayIcon, "mniTrayIconHelp", &TFormKSMain::HelpCommand, this);
    ShowHelpKey(mniTrayIconHelp);
    mniTrayIconHomePage = MenuItem(pmTrayIcon, "mniTrayIconHomePage", &TFormKSMain::HomePageCommand, this);
    mniTrayIconAbout = MenuItem(pmTrayIcon, "mniTrayIconAbout", &TFormKSMain::AboutCommand, this);
    pmTrayIcon->addSeparator()->setObjectName(u"mniTrayIconLine2"_qs);
    mniTrayIconExit = MenuItem(pmTrayIcon, "mniTrayIconExit", &TFormKSMain::mniTrayIconExitClick, this);
    FTrayIcon->setContextMenu(pmTrayIcon);
    // A single click and a double click each show or hide the window once, whatever the tray host sends.
    FTrayGesture = new TKSTrayGesture([this] { mniTrayIconShowHideClick(); }, this);
    connect(FTrayIcon, &QSystemTrayIcon::activated, FTrayGesture, &TKSTrayGesture::Activated);
}

// The caption's menu button with its menu, and F1 for help whenever the window has the keyboard.
void TFormKSMain::BuildMainMenu() {
    btnMainMenu = new TOrvImageButton(this);
    btnMainMenu->setObjectName(u"btnMainMenu"_qs);
    btnMainMenu->setGeometry(width() - 80, 5, 25, 24);
    btnMainMenu->SetTransparent(true);
    btnMainMenu->SetPicNormal(Art(u"skin/caption/menu_normal.png"_qs));
    btnMainMenu->SetPicMouseHover(Art(u"skin/caption/menu_hover.png"_qs));
    btnMainMenu->SetPicMouseDown(Art(u"skin/caption/menu_pressed.png"_qs));
    btnMainMenu->SetPicDisabled(Art(u"skin/caption/menu_disabled.png"_qs));
    connect(btnMainMenu, &TOrvCustomButton::OnClick, this, [this] { btnMainMenuClick(); });

    pmMain = new QMenu(this);
    pmMain->setObjectName(u"pmMain"_qs);
    pmMain->setSeparatorsCollapsible(false);
    mniMainSettings = MenuItem(pmMain, "mniMainSettings", &TFormKSMain::SettingsCommand, this);
    mniMainHelp = MenuItem(pmMain, "mniMainHelp", &TFormKSMain::HelpCommand, this);
    ShowHelpKey(mniMainHelp);
    mniMainHomePage = MenuItem(pmMain, "mniMainHomePage", &TFormKSMain::HomePageCommand, this);
    mniMainAbout = MenuItem(pmMain, "mniMainAbout", &TFormKSMain::AboutCommand, this);

    actHelp = new QAction(this);
    actHelp->setObjectName(u"actHelp"_qs);
    actHelp->setShortcut(QKeySequence(Qt::Key_F1));
    actHelp->setShortcutContext(Qt::WindowShortcut);
    connect(actHelp, &QAction::triggered, this, [this] { HelpCommand(); });
    addAction(actHelp);
}

// The menu opens with its top-left corner under the button's bottom-left corner.
void TFormKSMain::btnMainMenuClick() {
    pmMain->popup(mapToGlobal(QPoint(btnMainMenu->x(), btnMainMenu->y() + btnMainMenu->height())));
}

// Step 1. The language component gets its English defaults; it is the catalogue of every window the main
// window opens (they are handed MultiLangs()), and re-applies the texts whenever the language changes.
void TFormKSMain::MakeLanguageGlobal() {
    FMultiLangs->SetOnMakeDefault([](TOrvMultiLangs* langs) { MultiLangsMakeDefault(langs); });
    FMultiLangs->SetOnLanguageChanged([this](TOrvMultiLangs*) { ApplyLanguage(); });
}

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
    // The title's text and font come from the catalogue (applied in step 1, again with every language).
    SkinMgr->ApplySkin();
    btnMainMenu->move(width() - 80, 5);
    btnMainMenu->raise(); // above the frame pictures the skin has just laid
    QCoreApplication::processEvents();
}

// Step 3.
void TFormKSMain::ApplySettings() {
    // A settings file that cannot be used is said in the status line (the program runs on the defaults and
    // leaves the file alone).
    const TSettingsResult loaded = LoadSettings(FSettings, ConfigPath());
    FSettingsProblem = loaded.State == TSettingsResult::Failed ? loaded.Message : QString();
    ApplyAutoStart(); // "/add" or "/del" at every start
    ApplyTrayIcon();
    // A hotkey that cannot be registered (another program holds it, or there is no X server) does not stop
    // the start; the status line and the tray tooltip say so (ApplyLanguage), the settings dialog reports
    // conflicts when the user picks one.
    FHotKeyFailed =
        FSettings.UseHotKey && FSettings.HotKeyValue && FHotKeyManager->AddHotKey(FSettings.HotKeyValue) == 0;
    // The portal is asked once the language is loaded (FormCreate), so the desktop lists it in that language.
    if (FHotKeyFailed || !FSettingsProblem.isEmpty()) ApplyStatusInfo();
    FAntiDisturb->SetEnabled(FSettings.AntiDisturb);
}

void TFormKSMain::ApplyAutoStart() {
    RegisterAutoStart(*FPlatform.Shell, FSettings.AutoStart);
}

void TFormKSMain::ApplyTrayIcon() {
    SetTrayPicture(FSettings.DynTrayIcon ? 1 : (FAntiDisturb->State() ? 12 : 0));
    FTrayIcon->setVisible(FSettings.ShowTrayIcon);
}

void TFormKSMain::SetTrayPicture(int index) {
    if (index < 0 || index >= int(FTrayPictures.size())) return;
    // The tray host is told only about real changes: most ticks leave the picture as it is.
    if (index == FTrayPictureIndex && !FTrayIcon->icon().isNull()) return;
    FTrayPictureIndex = index;
    if (FTrayPictures[index].isNull()) FTrayPictures[index] = LoadTrayPicture(index);
    FTrayIcon->setIcon(FTrayPictures[index]);
}

QString TFormKSMain::TrayToolTip() const {
    return FTrayIcon->toolTip();
}

bool TFormKSMain::TrayUsable() const {
    return FSettings.ShowTrayIcon && FTrayAvailable && FTrayAvailable();
}

void TFormKSMain::HideToTray() {
    if (TrayUsable()) {
        FMinimizedForNoTray = false;
        // Hidden as it is, not minimized first: on X11 the window manager's late word on the minimized
        // state would otherwise come back when the window is shown again and minimize it anew.
        hide();
    } else {
        FMinimizedForNoTray = true;
        if (!isVisible()) show();
        TOrvWindowShape::MinimizeShownWindow(*this);
    }
}

// A notification area may come (a panel started late) or go (the panel ended) while Kestrum runs.
void TFormKSMain::FollowTrayAvailability() {
    const bool available = TrayUsable();
    if (available == FTrayWasAvailable) return;
    FTrayWasAvailable = available;
    if (!available && !isVisible() && !FExitRequested) {
        // The icon the hidden window waited behind is gone: put the window on the taskbar instead.
        HideToTray();
    } else if (available && FMinimizedForNoTray && isMinimized()) {
        HideToTray();
    }
}

void TFormKSMain::TrayHostChanged() {
    // News from the host counts whatever the last tick saw (it may not have ticked since the start).
    FTrayWasAvailable = !TrayUsable();
    FollowTrayAvailability();
}

bool TFormKSMain::QuietForRestart() const {
    return !FExitRequested && !(FOptimizeFlow && FOptimizeFlow->Busy()) && !QApplication::activeModalWidget() &&
           (!isVisible() || isMinimized());
}

// Once a second, shown or hidden: sample, then the Usage page, the tray picture and the tooltip.
void TFormKSMain::tmrRefreshOverviewTimer() {
    FSysStatus->RefreshCPU();
    FSysStatus->RefreshMemory();
    FSysStatus->RefreshPressure();
    FUsage.Update(*FSysStatus);
    FOverviewPage->Refresh(*FMultiLangs, *FSysStatus, FUsage);
    if (FPressureMonitor) FPressureMonitor->Sample(*FMultiLangs);
    const bool dnd = FAntiDisturb->State();
    SetTrayPicture(TrayPictureForTick(dnd, FSettings.ShowTrayIcon, FSettings.DynTrayIcon, FUsage.MemUsagePercent,
                                      FTrayPictureIndex));
    QString hint = TrayHint(*FMultiLangs, FUsage.MemUsagePercent, dnd);
    if (const QString notice = StartupNotice(); !notice.isEmpty()) hint += u"\n"_qs + notice;
    if (hint != FTrayIcon->toolTip()) FTrayIcon->setToolTip(hint);
    // Only a window that waits behind the tray icon, or in its stead, follows the tray: without a tray the
    // question is a round trip to the X server each second.
    if (!isVisible() || FMinimizedForNoTray) FollowTrayAvailability();
    // The automatic policy every 5 s, on this sample rather than one of its own.
    if (++FRefreshTicks % (TKSOptiMonPolicy::TickInterval / tmrRefreshOverview->interval()) == 0) {
        FOptiMonSampler->SetFresh(true);
        tmrOptiMonTimer();
        FOptiMonSampler->SetFresh(false);
    }
}

bool TFormKSMain::ApplyHotKey(uint16_t previous) {
    if (previous) FHotKeyManager->RemoveHotKey(previous);
    if (FPortalHotKey) FPortalHotKey->Release();
    FPausedHotKey = 0;
    if (!FSettings.UseHotKey || FSettings.HotKeyValue == 0) {
        // No key wanted: nothing to grab, and nothing failed any more.
        if (std::exchange(FHotKeyFailed, false)) ApplyStatusInfo();
        return true;
    }
    // Grabbed to find out whether it is free; during a pause let go again until the pause ends.
    const bool ok = FHotKeyManager->AddHotKey(FSettings.HotKeyValue) != 0;
    if (!ok && FPortalHotKey) {
        FHotKeyFailed = true; // the notice follows the portal's answer
        BindPortalHotKey();
    }
    if (ok && FHotKeyPaused) {
        FHotKeyManager->RemoveHotKey(FSettings.HotKeyValue);
        FPausedHotKey = FSettings.HotKeyValue;
    }
    if (ok && FHotKeyFailed) {
        FHotKeyFailed = false; // the start-up notice is out of date now
        ApplyStatusInfo();
    }
    return ok;
}

void TFormKSMain::BindPortalHotKey() {
    if (FPortalHotKey)
        FPortalHotKey->Bind(FSettings.HotKeyValue, FMultiLangs->GetText(u"String.HotKeyPortalDescription"_qs));
}

QString TFormKSMain::HotKeyUnavailableText(uint16_t value) const {
    if (!QGuiApplication::platformName().startsWith(u"wayland"_qs)) return {};
    if (FPortalHotKey && FPortalHotKey->State() == TPortalHotKey::TState::Bound) {
        const QString trigger = FPortalHotKey->Trigger();
        return FMultiLangs->FormatText(u"String.HotKeyPortal"_qs,
                                       {trigger.isEmpty() ? HotKeyToText(value, false) : trigger});
    }
    return FMultiLangs->FormatText(u"String.HotKeyWayland"_qs, {HotKeyToText(value, false)});
}

bool TFormKSMain::HotKeyHeld(uint16_t value) const {
    const bool portal =
        FPortalHotKey && FPortalHotKey->State() == TPortalHotKey::TState::Bound && value == FSettings.HotKeyValue;
    return value && (FHotKeyManager->HasHotKey(value) || value == FPausedHotKey || portal);
}

void TFormKSMain::PauseHotKey(bool paused) {
    if (paused == FHotKeyPaused) return;
    FHotKeyPaused = paused;
    const uint16_t value = FSettings.HotKeyValue;
    if (paused) {
        if (FSettings.UseHotKey && value && FHotKeyManager->HasHotKey(value)) {
            FHotKeyManager->RemoveHotKey(value);
            FPausedHotKey = value;
        }
        return;
    }
    const uint16_t back = std::exchange(FPausedHotKey, 0);
    if (back && !FHotKeyManager->HasHotKey(back) && FHotKeyManager->AddHotKey(back) == 0) {
        // Another program took it meanwhile: said where a refused start-up hotkey is said.
        FHotKeyFailed = true;
        ApplyStatusInfo();
    }
}

bool TFormKSMain::HotKeyFree(uint16_t value) {
    if (!value || HotKeyHeld(value)) return true;
    if (FHotKeyManager->AddHotKey(value) == 0) return false;
    FHotKeyManager->RemoveHotKey(value);
    return true;
}

void TFormKSMain::ApplyAntiDisturb() {
    FAntiDisturb->SetEnabled(FSettings.AntiDisturb);
}

// Step 4.
void TFormKSMain::ApplyCommandLine() {
    if (HasSwitch(FArguments, u"-regrun"_qs)) {
        FSettings.AutoStart = true;
        FSettings.ShowTrayIcon = true;
        if (const TSettingsResult saved = SaveSettings(FSettings, ConfigPath());
            saved.State == TSettingsResult::Failed && FSettingsProblem.isEmpty()) {
            FSettingsProblem = saved.Message;
            ApplyStatusInfo(); // now: without a language pack nothing else redraws the status line
        }
        ApplyAutoStart(); // again, now with "/add"
        // The tray icon follows the new setting at once rather than at the next start.
        ApplyTrayIcon();
    }
    if (HasSwitch(FArguments, u"-autostart"_qs)) {
        // Placed before it is shown: on X11 moving a window mapped minimized brings it back whole.
        if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
        setWindowState(windowState() | Qt::WindowMinimized);
        setVisible(!TrayUsable());
    }
}

// Step 5.
void TFormKSMain::LoadLanguage() {
    TIniFile ini(ConfigPath());
    SetLanguage(static_cast<uint16_t>(ini.ReadInteger(u"LANGUAGE"_qs, u"Language"_qs, 0) & 0xFFFF));
}

// The language number, its folder and pack; the pack is applied when there is one.
void TFormKSMain::SetLanguage(uint16_t id) {
    FLanguageId = id;
    FLanguageFolder = QString::number(FLanguageId) + u'/';
    FLanguagePackPath = GetAppDir() + u"Langs/"_qs + FLanguageFolder + u"Kestrum.ini"_qs;
    // The shipped packs lie beside the executable when the data folder has none of its own.
    if (!QFileInfo::exists(FLanguagePackPath)) {
        QString shipped = GetProgramDir() + u"Langs/"_qs + FLanguageFolder + u"Kestrum.ini"_qs;
        if (QFileInfo::exists(shipped)) FLanguagePackPath = shipped;
    }
    if (QFileInfo::exists(FLanguagePackPath)) FMultiLangs->LoadFromFile(FLanguagePackPath);
}

void TFormKSMain::LanguageBroadcastMessage(uint32_t message, uint32_t wParam, uint32_t lParam) {
    const std::optional<uint16_t> id = LanguageFromBroadcast(FLanguageMessage, message, wParam, lParam);
    if (!id) return;
    Trace(u"language %1"_qs.arg(*id));
    const QString before = FLanguagePackPath;
    SetLanguage(*id);
    // A language without a pack means the built-in English: packs only ever add texts, so the previous
    // language's would otherwise stay. Registering the defaults again applies them as the newest entries.
    if (!QFileInfo::exists(FLanguagePackPath) && QFileInfo::exists(before))
        FMultiLangs->SetOnMakeDefault([](TOrvMultiLangs* langs) { MultiLangsMakeDefault(langs); });
}

// Every text and font of this window from the catalogue; runs again on every language change. The pages
// apply their own; the open dialogs follow at the end.
void TFormKSMain::ApplyLanguage() {
    auto text = [this](const char16_t* key) { return FMultiLangs->GetText(QString::fromUtf16(key)); };
    // 1. Fonts; a key without a font leaves the control's own.
    if (const TOrvFontDesc* f = FMultiLangs->GetFontSet(u"FormKSMain.SkinMgr.Title.Font"_qs))
        SkinMgr->Title().SetFont(TOrvFont{FontFromDesc(f, font()), ToQColor(f->Color)});
    const char16_t* tabFonts[] = {u"FormKSMain.btnTabOverView.Font", u"FormKSMain.btnTabOptimize.Font",
                                  u"FormKSMain.btnTabUpgrade.Font", u"FormKSMain.btnTabLogs.Font"};
    for (int i = 0; i < 4; ++i)
        if (const TOrvFontDesc* f = FMultiLangs->GetFontSet(QString::fromUtf16(tabFonts[i])))
            FTabButtons[i]->SetFont(TOrvFont{FontFromDesc(f, font()), ToQColor(f->Color)});
    // 2. Addresses.
    FHomeAddress = text(u"String.URL.Home").trimmed();
    FHelpAddress = text(u"String.URL.Help").trimmed();
    // 3. Titles: the skin's (which is also the window's), then the window's own.
    SkinMgr->Title().SetText(text(u"FormKSMain.SkinMgr.Title.Text"));
    setWindowTitle(text(u"FormKSMain.Caption"));
    // 4. Tab buttons.
    const std::pair<TOrvImageButton*, const char16_t*> tabs[] = {
        {FTabButtons[0], u"FormKSMain.btnTabOverView.Caption"},
        {FTabButtons[1], u"FormKSMain.btnTabOptimize.Caption"},
        {FTabButtons[2], u"FormKSMain.btnTabUpgrade.Caption"},
        {FTabButtons[3], u"FormKSMain.btnTabLogs.Caption"},
    };
    for (auto& [button, key] : tabs) button->SetCaption(text(key));
    // 5. Status line; a start-up notice stays beside the catalogue's text.
    QString version = GetFileVersionString(*FPlatform.FileVersion);
    lblStatusVersion->setText(FMultiLangs->FormatText(u"FormKSMain.lblStatusVersion.Caption"_qs, {version}));
    lblStatusVersion->adjustSize();
    ApplyStatusInfo();
    // 6. Menus.
    const std::pair<QAction*, const char16_t*> items[] = {
        {mniMainSettings, u"FormKSMain.mniMainSettings.Caption"},
        {mniMainHelp, u"FormKSMain.mniMainHelp.Caption"},
        {mniMainHomePage, u"FormKSMain.mniMainHomePage.Caption"},
        {mniMainAbout, u"FormKSMain.mniMainAbout.Caption"},
        {mniTrayIconShowHide, u"FormKSMain.mniTrayIconShowHide.Caption"},
        {mniTrayIconOptimize, u"FormKSMain.mniTrayIconOptimize.Caption"},
        {mniTrayIconSettings, u"FormKSMain.mniTrayIconSettings.Caption"},
        {mniTrayIconAbout, u"FormKSMain.mniTrayIconAbout.Caption"},
        {mniTrayIconHelp, u"FormKSMain.mniTrayIconHelp.Caption"},
        {mniTrayIconHomePage, u"FormKSMain.mniTrayIconHomePage.Caption"},
        {mniTrayIconExit, u"FormKSMain.mniTrayIconExit.Caption"},
    };
    for (auto& [item, key] : items) item->setText(text(key));
    // 7.-9. The pages.
    FOverviewPage->ApplyLanguage(*FMultiLangs);
    FOptimizePage->ApplyLanguage(*FMultiLangs);
    FOptimizeFlow->ApplyLanguage(); // a finished run or a running stage keeps its status line
    FLogsPage->SetLanguageId(FLanguageId);
    FLogsPage->ApplyLanguage(*FMultiLangs);
    // 10. The notice sits right of the version.
    lblStatusInfo->move(lblStatusVersion->x() + lblStatusVersion->width() + 6, lblStatusVersion->y());
    // 11. The dialogs that are open.
    ApplyLanguageToOpenDialogs();
    // 12. A caption of "Upgrade" that takes two lines (the French one, in the original font) starts higher.
    FTabButtons[2]->SetTextY(TKSCaptionFit::TabCaptionY(*FTabButtons[2], FTabButtons[2]->Caption()));
}

// The settings dialog and the about box, when open, apply their texts again.
void TFormKSMain::ApplyLanguageToOpenDialogs() {
    if (FFormSettings) FFormSettings->ApplyLanguage();
    if (FFormAbout) FFormAbout->ApplyLanguage();
    emit LanguageApplied();
}

// The status line's text, with the start-up notice beside it; the notice goes to the tray tooltip too.
void TFormKSMain::ApplyStatusInfo() {
    const QString notice = StartupNotice();
    // Do-not-disturb takes the catalogue caption's place while it is on.
    QStringList info{FMultiLangs->GetText(FAntiDisturb->State() ? u"String.AntiDistState"_qs
                                                                : u"FormKSMain.lblStatusInfo.Caption"_qs),
                     notice};
    info.removeAll(QString());
    lblStatusInfo->setText(info.join(u"  "_qs));
    lblStatusInfo->adjustSize();
    lblStatusInfo->move(lblStatusVersion->x() + lblStatusVersion->width() + 6, lblStatusVersion->y());
    if (!notice.isEmpty())
        FTrayIcon->setToolTip(FMultiLangs->GetText(u"FormKSMain.TrayIcon.BalloonTitle"_qs) + u'\n' + notice);
}

void TFormKSMain::ReportSettingsProblem(const QString& message) {
    if (message == FSettingsProblem) return;
    FSettingsProblem = message;
    ApplyStatusInfo();
}

QString TFormKSMain::StartupNotice() const {
    QStringList notices{FSettingsProblem};
    if (FHotKeyFailed) {
        // A Wayland session grants no key grabs at all: say what works there instead of blaming another program.
        const QString unavailable = HotKeyUnavailableText(FSettings.HotKeyValue);
        notices << (!unavailable.isEmpty() ? unavailable
                                           : FMultiLangs->FormatText(u"String.HotKeyFailed"_qs,
                                                                     {HotKeyToText(FSettings.HotKeyValue, false)}));
    }
    notices.removeAll(QString());
    return notices.join(u"  "_qs);
}

// A direct optimization with a tray balloon, only for the hotkey the settings name.
void TFormKSMain::HotKeyPressed(uint32_t value) {
    Trace(u"hotkey %1"_qs.arg(value));
    if (FSettings.UseHotKey && value == FSettings.HotKeyValue) OptimizeNow(true, true);
}

// The state shows in the status line and the tray picture at once; the tooltip follows at the next tick.
void TFormKSMain::AntiDisturbStateChanged() {
    const bool on = FAntiDisturb->State();
    ApplyStatusInfo();
    SetTrayPicture(TrayPictureForStateChange(on, FSettings.ShowTrayIcon, FSettings.DynTrayIcon));
    Trace(u"do-not-disturb %1"_qs.arg(on ? 1 : 0));
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

// Step 7. Progress bar width 0, checklist pictures pending.
void TFormKSMain::ResetChecklist() {
    FOptimizeFlow->ResetChecklist();
}
// Step 8. The logs page shows the history: the "last 3 days" range and its first fill.
void TFormKSMain::InitLogsRange() {
    FLogsPage->SetHistory(FHistory);
    FLogsPage->InitLogsRange();
}
// Step 9. From here on every freeing run spares the programs the user works with most.
void TFormKSMain::StartSmartMode() {
    FKSCore->SetSmartMode(true);
    new TKSProtection(*this); // the user's own protection choices, the protection dialog and its entries
}
// Step 11. The advertising picture, which starts the updater (or says how to update).
void TFormKSMain::ShowAdvertising() {
    imgAD->setVisible(true);
    imgAD->raise();
}

// Step 13. Only offered when the updater is really there: asking without one would start nothing.
void TFormKSMain::OfferUpgrade() {
    if (!QFileInfo(FUpdaterPath).isFile()) return;
    int answer = ShowMessageBox(this, FMultiLangs->GetText(u"String.MsgText.Upgrade"_qs),
                                FMultiLangs->GetText(u"String.Upgrade"_qs), 0x44, 0);
    if (answer == 6) LaunchProcess(*FPlatform.Shell, u'"' + FUpdaterPath + u'"', 1);
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

void TFormKSMain::HandOver(long long code, const QString& activationToken) {
    if (!activationToken.isEmpty()) FActivationToken = activationToken;
    if (FCreating) {
        FPendingHandOvers << code;
        return;
    }
    const THandOver handOver = DecodeHandOver(code);
    if (handOver.Optimize) {
        // What a desktop's own shortcut runs where no global hotkey can be had: the hotkey's path exactly,
        // without raising the window.
        Trace(u"optimize requested"_qs);
        OptimizeNow(true, true);
        if (TabIndexForPopupCode(handOver.PopupCode) < 0) return;
    }
    SelectTabByCode(handOver.PopupCode);
    BringMainWindowToFront();
}

void TFormKSMain::BringMainWindowToFront() {
    TKSActivationToken::Use(this, std::exchange(FActivationToken, QString()));
    if (!TOrvWindowShape::CanUnminimize() && (isMinimized() || FMinimizedForNoTray || !isVisible())) {
        // The compositor does not tell a client whether it is still minimized nor lets it un-minimize
        // itself: a window mapped anew is shown and placed by the compositor.
        FMinimizedForNoTray = false;
        hide();
        setWindowState(windowState() & ~Qt::WindowMinimized);
        show();
        Trace(u"front remapped"_qs);
    } else {
        if (!isVisible()) show();
        if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    raise();
    activateWindow();
    Trace(u"front"_qs);
}

void TFormKSMain::mniTrayIconShowHideClick() {
    if (isVisible() && !isMinimized()) {
        HideToTray();
    } else {
        FMinimizedForNoTray = false;
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
        HideToTray();
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
    // Give back what start-up or the hidden time made resident; the pages come back as they are used. Not
    // before the window has painted, which would only fault them back at once: after the first paint, or a
    // second on if none comes (a window shown minimized).
    FOwnTrimPending = true;
    QTimer::singleShot(1000, this, [this] { TrimOwnWorkingSet(); });
}

void TFormKSMain::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (FOwnTrimPending) QTimer::singleShot(0, this, [this] { TrimOwnWorkingSet(); });
}

void TFormKSMain::TrimOwnWorkingSet() {
    if (!std::exchange(FOwnTrimPending, false) || !FPlatform.Processes) return;
    // On a thread of its own: with swap on a disk the page-out takes a tenth of a second and more, which the
    // window would spend frozen. At its normal priority, since it holds our own memory map while it works.
    if (FOwnTrimBusy.exchange(true)) return; // the last one is still at it
    if (FOwnTrim.joinable()) FOwnTrim.join();
    platform::IProcesses* processes = FPlatform.Processes.get();
    try {
        FOwnTrim = std::jthread([this, processes] {
            processes->TrimWorkingSet(processes->CurrentProcessId());
            FOwnTrimBusy = false;
        });
    } catch (const std::system_error&) {
        FOwnTrimBusy = false; // no thread to be had: the pages stay, nothing else is lost
    }
}

void TFormKSMain::Trace(const QString& line) const {
    // A line per state change on stderr when KESTRUM_TRACE is set, for the tests that drive the program.
    static const bool on = qEnvironmentVariableIsSet("KESTRUM_TRACE");
    if (on) std::fprintf(stderr, "kestrum: %s\n", qPrintable(line));
}

} // namespace kestrum
