#pragma once
#include <QDialog>
#include <cstdint>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace kestrum {

class TFormKSMain;
class TKSGnomeShortcutOffer;
class TKSHotKeyEdit;
class TOrvImage;
class TOrvImageButton;
class TOrvMultiLangs;
class TOrvSkinManager;
struct TKSSettings;

// The settings dialog: tray icon, hotkey, spacing of background optimizations and do-not-disturb. It always
// starts from Config.ini, and Ok and Apply save the file and apply the settings to the running program at
// once; Cancel keeps whatever an earlier Apply applied. It keeps no copy of the settings of its own.
class TFormKSSettings : public QDialog {
    Q_OBJECT
public:
    // `main` (may be null: then nothing is applied to a running program) owns the dialog; `langs` may be
    // null (no texts are applied).
    TFormKSSettings(TFormKSMain* main, TKSSettings& settings, TOrvMultiLangs* langs, const QString& configPath);
    ~TFormKSSettings() override;

    // Every text again from the language component (a language change while the dialog is open).
    void ApplyLanguage() { ApplyTexts(); }

    // What a ticked hotkey starts with when no key was ever chosen: Alt+M.
    static constexpr uint16_t DefaultHotKey = 0x8000 | 'M';

    // The shortcut the dialog last registered or found registered.
    uint16_t RememberedHotKey() const { return FRememberedHotKey; }
    // The last registration failed; Ok does not close the dialog while this holds.
    bool HotKeyFailed() const { return FHotKeyFailed; }

    // Event handlers (the controls call them; public so the hub and tests can reach them).
    void chkTrayIconClick();
    void chkHotKeyClick();
    void hkHotKeyChange();
    void chkSleepClick();
    void lblAntiDisturbMouseEnter();
    void lblAntiDisturbMouseLeave();
    void btnOkClick();
    void btnCancelClick();
    void btnApplyClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void BuildControls();
    void ArrangeSkin();
    void ApplyTexts();
    void LoadControls();
    void SaveControls();
    void ApplyAutoStart();
    void ApplyTrayIcon();
    void ApplyHotKey();
    void ApplyAntiDisturb();
    void CenterOnOwner();
    void ShowDesktopShortcut();

    TFormKSMain* FMain;
    TKSSettings& FSettings;
    TOrvMultiLangs* FLangs;
    QString FConfigPath;
    uint16_t FRememberedHotKey = 0;
    uint16_t FLastHotKey = 0; // the last key the edit showed, offered again when the hotkey is ticked
    bool FHotKeyFailed = false;

    TOrvSkinManager* SkinMgr = nullptr;
    QCheckBox* chkAutoStart = nullptr;
    TOrvImage* imgLine1 = nullptr;
    QCheckBox* chkTrayIcon = nullptr;
    QRadioButton* rbTrayIconDynamic = nullptr;
    QRadioButton* rbTrayIconStatic = nullptr;
    TOrvImage* imgLine2 = nullptr;
    QCheckBox* chkHotKey = nullptr;
    TKSHotKeyEdit* hkHotKey = nullptr;
    QLabel* lblHotKey = nullptr;
    QPushButton* btnDesktopShortcut = nullptr; // where the desktop's portal offers its own shortcut dialog
    TKSGnomeShortcutOffer* FGnomeOffer = nullptr; // GNOME without a portal: its own custom keybinding
    TOrvImage* imgLine3 = nullptr;
    QCheckBox* chkSleep = nullptr;
    QSpinBox* seSleep = nullptr;
    QLabel* lblSleepMin = nullptr;
    TOrvImage* imgLine4 = nullptr;
    QCheckBox* chkAntiDisturb = nullptr;
    QLabel* lblAntiDisturb = nullptr;
    QFrame* pnlAntiDisturbHint = nullptr;
    QLabel* lblAntiDisturbHint = nullptr;
    TOrvImageButton* btnOk = nullptr;
    TOrvImageButton* btnCancel = nullptr;
    TOrvImageButton* btnApply = nullptr;
};

} // namespace kestrum
