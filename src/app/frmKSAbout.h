#pragma once
#include <functional>
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace kestrum {

namespace platform {
class IFileVersion;
class IShell;
} // namespace platform

class TOrvImage;
class TOrvMultiLangs;
class TOrvSkinManager;

// The about box: logo, title, the running program's version, copyright, a link to the home page and a
// description. Escape closes it; a language change re-labels it at once.
class TFormKSAbout : public QDialog {
    Q_OBJECT
public:
    // `langs` may be null (no texts are applied).
    TFormKSAbout(QWidget* owner, TOrvMultiLangs* langs, platform::IFileVersion& versions, platform::IShell& shell);
    ~TFormKSAbout() override;

    void ApplyLanguage() { ApplyTexts(); }
    // The home page address the link opens (from the catalogue, as the main window takes it).
    QString HomePage() const { return FHomePage; }

    void lblHomeClick();
    // Where the link leads when the catalogue names no address (the program's own home page: the
    // installed help), and what opens it.
    void SetHomeFallback(std::function<QString()> address, std::function<void()> open);
    void btnCancelClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void BuildControls();
    void ArrangeSkin();
    void ApplyTexts();

    TOrvMultiLangs* FLangs;
    platform::IFileVersion& FVersions;
    platform::IShell& FShell;
    std::function<QString()> FHomeFallbackAddress;
    std::function<void()> FHomeFallbackOpen;
    QString FHomePage;

    TOrvSkinManager* SkinMgr = nullptr;
    TOrvImage* imgLogo = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblCopyright = nullptr;
    QLabel* lblHome = nullptr;
    QPushButton* btnCancel = nullptr;
    QPlainTextEdit* mmoDesc = nullptr;
};

} // namespace kestrum
