#pragma once
#include <QObject>
#include <QPointer>

#include "store/KSProtectionSettings.h"

class QAction;
class QLabel;

namespace kestrum {

class TFormKSMain;
class TFormKSProtection;
class TGameModeGames;
class TKSRunProgramsView;

// The main window's side of protection: applies the user's choices to the engine at start and after the
// dialog, feeds it GameMode's games, and opens the protection dialog from the main menu and from a link
// on the Optimize page. Also shows, on the Logs page, what the selected run took from which program.
class TKSProtection : public QObject {
    Q_OBJECT
public:
    explicit TKSProtection(TFormKSMain& main);

    void Apply(const TKSProtectionSettings& settings);
    // Opens the dialog (or raises the open one); modal, like the other dialogs.
    void ShowDialog();
    void ApplyLanguage();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void PlaceLink();

    TFormKSMain& FMain;
    TGameModeGames* FGames = nullptr;
    QAction* mniMainProtection = nullptr;
    // Cleared when the page deletes it: the page still sends events through the filter after that.
    QLabel* lblOptimizeProtection = nullptr;
    TKSRunProgramsView* FRunPrograms = nullptr;
    QPointer<TFormKSProtection> FDialog;
};

} // namespace kestrum
