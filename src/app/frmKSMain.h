#pragma once
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>

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
class TOrvAntiDisturb;
class TOrvMultiLangs;
class TKSLogMgr;
class TOrvSkinManager;
class TOrvTabControl;
class TOrvImageButton;
class TKSOverviewPage;
class TKSOptimizePage;
class TKSLogsPage;
class TKSOptimizeFlow;
class TKSOptiMonPolicy;
class TSystemStatusSampler;
class TKSBalloon;
class TKSLatencyProbe;
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

    // Hand-over from a second start: select the tab the code names, then come to the front.
    void HandOver(long long code);
    void SelectTabByCode(long long code);
    void BringMainWindowToFront();

    // Tray menu commands.
    void mniTrayIconShowHideClick();
    void mniTrayIconOptimizeClick();
    void mniTrayIconExitClick();

    // Frees memory (queued when a run is under way); manual: started by the user; showBalloon: the tray
    // balloon tells the result.
    void OptimizeNow(bool manual, bool showBalloon);
    // The automatic optimization check (every 5 s).
    void tmrOptiMonTimer();
    TKSOptimizeFlow* OptimizeFlow() const { return FOptimizeFlow; }
    TKSOptiMonPolicy* OptiMon() const { return FOptiMon.get(); }
    TKSBalloon* Balloon() const { return FBalloon; }

    // The commands of the menus; each dialog is opened through exactly one of these.
    void SettingsCommand();
    void AboutCommand();
    void HelpCommand();
    void HomePageCommand();
    void UpgradeCommand();

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
    // Where Config.ini lives.
    QString ConfigPath() const;

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

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
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
    void ApplyTrayIcon();
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

    TSystemStatus* FSysStatus = nullptr;
    TMemoryOptimize* FKSCore = nullptr;
    TOrvHotKeyManager* FHotKeyManager = nullptr;
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
    QSystemTrayIcon* FTrayIcon = nullptr;
    QMenu* pmTrayIcon = nullptr;
    QAction* mniTrayIconShowHide = nullptr;
    QAction* mniTrayIconExit = nullptr;

    TKSOptimizeFlow* FOptimizeFlow = nullptr;
    std::unique_ptr<TSystemStatusSampler> FOptiMonSampler;
    std::unique_ptr<TKSOptiMonPolicy> FOptiMon;
    QTimer* tmrOptiMon = nullptr;
    TKSBalloon* FBalloon = nullptr;
    TKSLatencyProbe* FLatencyProbe = nullptr;
};

} // namespace kestrum
