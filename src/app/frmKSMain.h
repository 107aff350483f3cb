#pragma once
#include <QIcon>
#include <QList>
#include <QStringList>
#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "app/pages/KSOverviewTexts.h"

class QLabel;
class QMenu;
class QAction;
class QStackedWidget;
class QSystemTrayIcon;
class QTimer;

namespace kestrum {

struct TKSSettings;
class TSystemStatus;
class TMemoryOptimize;
class TOrvHotKeyManager;
class TPortalHotKey;
class TOrvAntiDisturb;
class TOrvMultiLangs;
class TKSLogMgr;
class TOrvSkinManager;
class TOrvTabControl;
class TOrvImageButton;
class TOrvImage;
class TX11LanguageBroadcast;
class TX11WindowWatch;
class TWatchedDesktop;
class TKSOverviewPage;
class TKSOptimizePage;
class TKSLogsPage;
class TFormKSSettings;
class TFormKSAbout;
class TKSOptimizeFlow;
class TKSOptiMonPolicy;
class TKSSharedSample;
class TKSBalloon;
class TKSLatencyProbe;
class TKSTrayGesture;
class TKSPressureMonitor;
class TKSPressureNotice;
class TKSRunCostWatch;
namespace platform {
struct TPlatform;
}

// The main window: the hub that owns the engine, the sampler, the hotkey manager, the do-not-disturb
// detector, the language component, the skin and the tabs. Its creation sequence (FormCreate) is the one
// place where the parts meet, in a fixed order.
class TFormKSMain : public QWidget {
    Q_OBJECT
public:
    TFormKSMain(platform::TPlatform& platform, TKSSettings& settings, QStringList arguments, QWidget* parent = nullptr);
    ~TFormKSMain() override;

    // Runs the creation sequence, shows the window and makes the upgrade offer.
    void FormCreate();

    // Hand-over from a second start: select the tab the code names, then come to the front with the
    // starter's activation token (may be empty); or, for "-optimize", free memory as the hotkey does.
    void HandOver(long long code, const QString& activationToken = {});
    void SelectTabByCode(long long code);
    void BringMainWindowToFront();

    // Tray menu commands.
    void mniTrayIconShowHideClick();
    void mniTrayIconOptimizeClick();
    void mniTrayIconExitClick();

    // Frees memory (queued when a run is under way); manual: started by the user; showBalloon: the tray
    // balloon tells the result.
    void OptimizeNow(bool manual, bool showBalloon);
    // The automatic optimization check (every 5 s, on the figures of the refresh tick that runs it; called
    // on its own, it samples first).
    void tmrOptiMonTimer();
    TKSOptimizeFlow* OptimizeFlow() const { return FOptimizeFlow; }
    TKSOptiMonPolicy* OptiMon() const { return FOptiMon.get(); }
    TKSBalloon* Balloon() const { return FBalloon; }
    TKSTrayGesture* TrayGesture() const { return FTrayGesture; }
    TKSPressureMonitor* PressureMonitor() const { return FPressureMonitor; }
    TKSPressureNotice* PressureNotice() const { return FPressureNotice; }
    TKSRunCostWatch* RunCostWatch() const { return FRunCostWatch; }

    // The commands of the menus; each dialog is opened through exactly one of these.
    void SettingsCommand();
    void AboutCommand();
    void HelpCommand();
    void HomePageCommand();
    void UpgradeCommand();

    // The language broadcast as the window receives it (message id, wParam, lParam): a valid one loads
    // the announced language's pack and applies every text again; anything else changes nothing.
    void LanguageBroadcastMessage(uint32_t message, uint32_t wParam, uint32_t lParam);
    // The broadcast's message id (the X atom; a stand-in without an X server).
    uint32_t LanguageMessageId() const { return FLanguageMessage; }
    // The help page of the current language (Langs/<language>/Help.html in the data folder, else beside
    // the program); empty when there is none.
    QString HelpFilePath() const;
    // Where the home page commands go: the catalogue's address, or the installed help page while the
    // project has no site of its own.
    QString HomeAddress() const;
    // The product family's updater (beside the program); tests point it elsewhere.
    QString UpdaterPath() const { return FUpdaterPath; }
    void SetUpdaterPath(const QString& path) { FUpdaterPath = path; }
    // The start-up notice of the status line and tray tooltip (a hotkey that could not be registered).
    QString StartupNotice() const;

    // The pages, in tab order (0 Usage, 1 Optimize, 2 Logs).
    TKSOverviewPage* OverviewPage() const { return FOverviewPage; }
    TKSOptimizePage* OptimizePage() const { return FOptimizePage; }
    TKSLogsPage* LogsPage() const { return FLogsPage; }

    int ActiveTabIndex() const;
    bool ExitRequested() const { return FExitRequested; }
    uint16_t LanguageId() const { return FLanguageId; }
    const QString& LanguagePackPath() const { return FLanguagePackPath; }
    QSystemTrayIcon* TrayIcon() const { return FTrayIcon; }
    int TrayPictureIndex() const { return FTrayPictureIndex; }
    QString TrayToolTip() const;
    // The usage figures kept between refresh ticks.
    const TKSUsagePercents& Usage() const { return FUsage; }
    QTimer* RefreshTimer() const { return tmrRefreshOverview; }
    // One refresh: the Usage page, the tray picture and the tooltip (what tmrRefreshOverview does each second).
    void tmrRefreshOverviewTimer();
    // Whether a notification area can take the tray icon now; tests replace the answer.
    void SetTrayAvailableProbe(std::function<bool()> probe) { FTrayAvailable = std::move(probe); }
    // For a tray host that comes or goes: whether the icon sits in a tray now, the window follows at once,
    // and whether nothing would be lost by ending now (no run, no dialog, the window not in use).
    bool InTray() const { return TrayUsable(); }
    void TrayHostChanged();
    bool QuietForRestart() const;
    // Where Config.ini lives.
    QString ConfigPath() const;

    // The settings applied to the running program (start-up and the settings dialog).
    // The launcher with "/add" or "/del" after AutoStart; not waited for.
    void ApplyAutoStart();
    // The tray icon shown or hidden after ShowTrayIcon, with its picture.
    void ApplyTrayIcon();
    // Moves the grab from `previous` (0: none) to HotKeyValue, or only releases it when UseHotKey is off or
    // no key is set. False when another program holds the new combination.
    bool ApplyHotKey(uint16_t previous);
    // Whether the grab of this value is held now (or only let go while the hotkey edit records).
    bool HotKeyHeld(uint16_t value) const;
    // Where the session grants no global hotkey at all (Wayland): what to do instead, with `value`'s keys;
    // empty where hotkeys can be had.
    QString HotKeyUnavailableText(uint16_t value) const;
    // The desktop's shortcut portal where it may hold the hotkey (Wayland sessions); nullptr elsewhere.
    TPortalHotKey* PortalHotKey() const { return FPortalHotKey; }
    // While the settings dialog's edit records a combination the hotkey's grab is let go, so pressing the
    // current hotkey records it instead of freeing memory; it is taken again afterwards.
    void PauseHotKey(bool paused);
    // Whether this program could grab `value` now (it is ours, or nobody else holds it).
    bool HotKeyFree(uint16_t value);
    void ApplyAntiDisturb();
    // Why Config.ini could not be read or written (empty: it works again), shown in the status line.
    void ReportSettingsProblem(const QString& message);
    // The dialogs while they are open (null otherwise).
    TFormKSSettings* FormSettings() const { return FFormSettings; }
    TFormKSAbout* FormAbout() const { return FFormAbout; }

    // The components the window owns; the dialogs it opens use them too.
    TSystemStatus* SysStatus() const { return FSysStatus; }
    TMemoryOptimize* KSCore() const { return FKSCore; }
    TOrvHotKeyManager* HotKeyManager() const { return FHotKeyManager; }
    TOrvAntiDisturb* AntiDisturb() const { return FAntiDisturb; }
    TOrvMultiLangs* MultiLangs() const { return FMultiLangs; }
    // The day-by-day history, created at process start (before the window) and ended after it.
    void SetHistory(TKSLogMgr* history) { FHistory = history; }
    TKSLogMgr* History() const { return FHistory; }

signals:
    // A tab became active (index 0 Usage, 1 Optimize, 2 Logs).
    void TabSelected(int index);
    // Every text of the main window was applied again (start-up, language change); what the window has
    // open follows.
    void LanguageApplied();
    // What holds the hotkey changed (the desktop's portal bound it, refused it, or let it go).
    void HotKeyNoticeChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void TrimOwnWorkingSet();
    // The creation steps, in the order FormCreate runs them.
    void MakeLanguageGlobal();
    void ArrangeSkin();
    void ApplySettings();
    void ApplyCommandLine();
    void LoadLanguage();
    void RegisterTabs();
    void ResetChecklist();
    void InitLogsRange();
    void StartSmartMode();
    void ShowAdvertising();
    void OfferUpgrade();

    void BuildControls();
    void BuildTrayIcon();
    void BuildMainMenu();
    void btnMainMenuClick();
    void SetLanguage(uint16_t id);
    void ApplyLanguageToOpenDialogs();
    void ApplyStatusInfo();
    void ShowHelpMissing();
    void SayNotOpened(const QString& target);
    void SetTrayPicture(int index);
    bool TrayUsable() const;
    // Instead of hiding: into the tray when there is one, else minimized, so nothing gets lost.
    void HideToTray();
    void FollowTrayAvailability();
    void SelectTab(int index);
    void Trace(const QString& line) const;
    void ApplyLanguage();
    void HotKeyPressed(uint32_t value);
    void BuildOptimizeFlow();
    void AntiDisturbStateChanged();

    platform::TPlatform& FPlatform;
    TKSSettings& FSettings;
    QStringList FArguments;

    bool FExitRequested = false;
    uint16_t FLanguageId = 0;
    QString FLanguageFolder;
    QString FLanguagePackPath;
    int FTrayPictureIndex = 0;
    TKSUsagePercents FUsage;
    std::array<QIcon, 13> FTrayPictures; // loaded once, on first use
    std::function<bool()> FTrayAvailable;
    bool FTrayWasAvailable = false;
    bool FMinimizedForNoTray = false; // minimized where it would have gone into the tray
    QTimer* tmrRefreshOverview = nullptr;
    QString FHomeAddress;
    QString FHelpAddress;
    QString FUpdaterPath;
    bool FHotKeyFailed = false;
    bool FHotKeyPaused = false;
    uint16_t FPausedHotKey = 0; // let go while paused; taken again when the pause ends
    QString FSettingsProblem;   // why Config.ini could not be used, when it could not
    // Hand-overs that arrive while the window is still being created wait until it is done.
    bool FCreating = true;
    bool FOwnTrimPending = false; // shown, and its own working set not yet given back
    QList<long long> FPendingHandOvers;
    QString FActivationToken; // the last second start's, until the window comes to the front
    uint32_t FLanguageMessage = 0;
    std::unique_ptr<TX11LanguageBroadcast> FLanguageBroadcast;
    std::unique_ptr<TX11WindowWatch> FWindowWatch;
    std::unique_ptr<TWatchedDesktop> FDesktop; // the platform's desktop, the active window told by FWindowWatch

    TSystemStatus* FSysStatus = nullptr;
    TMemoryOptimize* FKSCore = nullptr;
    TOrvHotKeyManager* FHotKeyManager = nullptr;
    TPortalHotKey* FPortalHotKey = nullptr; // Wayland sessions with a shortcut portal on the bus
    void BindPortalHotKey();
    TOrvAntiDisturb* FAntiDisturb = nullptr;
    TOrvMultiLangs* FMultiLangs = nullptr;
    TKSLogMgr* FHistory = nullptr;
    TOrvSkinManager* SkinMgr = nullptr;
    TOrvTabControl* TabCtrl = nullptr;

    QList<TOrvImageButton*> FTabButtons;
    QStackedWidget* pgcMain = nullptr;
    TKSOverviewPage* FOverviewPage = nullptr;
    TKSOptimizePage* FOptimizePage = nullptr;
    TKSLogsPage* FLogsPage = nullptr;
    QLabel* lblStatusVersion = nullptr;
    QLabel* lblStatusInfo = nullptr;
    TOrvImage* imgAD = nullptr;
    TOrvImageButton* btnMainMenu = nullptr;
    QMenu* pmMain = nullptr;
    QAction* mniMainSettings = nullptr;
    QAction* mniMainHelp = nullptr;
    QAction* mniMainHomePage = nullptr;
    QAction* mniMainAbout = nullptr;
    QAction* actHelp = nullptr;
    QSystemTrayIcon* FTrayIcon = nullptr;
    QMenu* pmTrayIcon = nullptr;
    QAction* mniTrayIconShowHide = nullptr;
    QAction* mniTrayIconOptimize = nullptr;
    QAction* mniTrayIconSettings = nullptr;
    QAction* mniTrayIconHelp = nullptr;
    QAction* mniTrayIconHomePage = nullptr;
    QAction* mniTrayIconAbout = nullptr;
    QAction* mniTrayIconExit = nullptr;
    TFormKSSettings* FFormSettings = nullptr;
    TFormKSAbout* FFormAbout = nullptr;

    TKSOptimizeFlow* FOptimizeFlow = nullptr;
    std::unique_ptr<TKSSharedSample> FOptiMonSampler;
    int FRefreshTicks = 0;
    std::unique_ptr<TKSOptiMonPolicy> FOptiMon;
    TKSBalloon* FBalloon = nullptr;
    TKSLatencyProbe* FLatencyProbe = nullptr;
    TKSTrayGesture* FTrayGesture = nullptr;
    TKSPressureMonitor* FPressureMonitor = nullptr;
    TKSPressureNotice* FPressureNotice = nullptr;
    TKSRunCostWatch* FRunCostWatch = nullptr;
    // The trim of our own working set, off the window's thread; last, so it is joined before anything goes.
    std::atomic<bool> FOwnTrimBusy = false;
    std::jthread FOwnTrim;
};

} // namespace kestrum
