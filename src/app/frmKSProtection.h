#pragma once
#include <QDialog>

#include "store/KSProtectionSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace kestrum {

class TMemoryOptimize;
class TOrvMultiLangs;
class TOrvSkinManager;

// The protection dialog: the running programs (one row per program) with their resident and swapped-out
// memory and whether and why the next run spares them; the never-trim and trim-only lists edited from it
// (each change written to the list file at once); the selection mode and the automatic protection
// switches, kept and applied when the user confirms.
class TFormKSProtection : public QDialog {
    Q_OBJECT
public:
    TFormKSProtection(QWidget* owner, TOrvMultiLangs* langs, TMemoryOptimize& engine);
    ~TFormKSProtection() override;

    void ApplyLanguage();
    // Reads the programs again.
    void Refresh();
    // What the user does (also what tests drive). The name is the one typed, else the selected program's.
    void btnNeverTrimClick();
    void btnTrimOnlyClick();
    void btnRemoveClick();
    void btnOKClick();

    QTreeWidget* Programs() const { return lvPrograms; }
    QComboBox* ModeBox() const { return cbbMode; }
    QLineEdit* NameEdit() const { return edtName; }
    TKSProtectionSettings Chosen() const;

private:
    void BuildControls();
    QString CurrentName() const;
    QString Text(const char* key) const;
    QString ReasonText(int reason) const;
    void ShowStatus(const QString& text);

    TOrvMultiLangs* FLangs;
    TMemoryOptimize& FEngine;
    TOrvSkinManager* SkinMgr = nullptr;
    QLabel* lblMode = nullptr;
    QComboBox* cbbMode = nullptr;
    QCheckBox* chkGames = nullptr;
    QCheckBox* chkFullScreen = nullptr;
    QCheckBox* chkForeground = nullptr;
    QTreeWidget* lvPrograms = nullptr;
    QLabel* lblName = nullptr;
    QLineEdit* edtName = nullptr;
    QPushButton* btnNeverTrim = nullptr;
    QPushButton* btnTrimOnly = nullptr;
    QPushButton* btnRemove = nullptr;
    QPushButton* btnRefresh = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};

} // namespace kestrum
