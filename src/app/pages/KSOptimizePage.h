#pragma once
#include <QWidget>

#include "app/IKSOptimizeView.h"
#include "skin/OrvPicture.h"

class QLabel;

namespace kestrum {

class TOrvMultiLangs;
class TOrvImage;
class TOrvImageButton;
class TOrvImagePanel;

// The "Optimize" page of the main window (object name tsOptimize): the "Free Now" button with its animated
// picture, the progress track, the status line, the growing result figure and the six-row checklist. The
// optimization flow drives it through IKSOptimizeView.
class TKSOptimizePage : public QWidget, public IKSOptimizeView {
    Q_OBJECT
public:
    static constexpr int ChecklistRows = 6;

    explicit TKSOptimizePage(QWidget* parent = nullptr);
    ~TKSOptimizePage() override;

    // Every catalogue text and font of the page.
    void ApplyLanguage(TOrvMultiLangs& langs);

    // IKSOptimizeView
    void SetProgressWidth(int width) override;
    void SetChecklistDone(int k, bool done) override;
    void SetChecklistSkipped(int k, const QString& why) override;
    QString ChecklistText(int k) const override;
    void SetStatusText(const QString& text) override;
    void SetNoteText(const QString& text) override;
    void SetRunning(bool running) override;
    void SetResultText(const QString& text) override;
    void SetResultVisible(bool visible) override;
    void SetResultFontHeight(int height) override;

    // The controls, for the main window and the tests.
    TOrvImageButton* btnOptimize() const { return FBtnOptimize; }
    TOrvImage* imgOptimze() const { return FImgOptimze; }
    QLabel* lblOptimize() const { return FLblOptimize; }
    QLabel* lblOptimizeProc() const { return FLblOptimizeProc; }
    QLabel* lblOptimizeNote() const { return FLblOptimizeNote; }
    QLabel* lblOptimizeResult() const { return FLblOptimizeResult; }
    TOrvImage* imgOptimizeProc1() const { return FImgProc1; }
    TOrvImage* imgOptimizeProc2() const { return FImgProc2; }
    bool ChecklistDone(int k) const;

signals:
    // A click on the page's "Free Now" (btnOptimize).
    void OptimizeClicked();

private:
    static constexpr int ResultX = 512, ResultY = 96;
    void PlaceResult();

    TOrvImagePanel* pnlOptimizeProc = nullptr;
    TOrvImagePanel* pnlOptimizeItems = nullptr;
    QLabel* lblOptimizeTitle = nullptr;
    TOrvImageButton* FBtnOptimize = nullptr;
    TOrvImage* FImgOptimze = nullptr;
    QLabel* FLblOptimize = nullptr;
    QLabel* FLblOptimizeProc = nullptr;
    QLabel* FLblOptimizeNote = nullptr;
    QLabel* FLblOptimizeResult = nullptr;
    TOrvImage* FImgProc1 = nullptr;
    TOrvImage* FImgProc2 = nullptr;
    TOrvImage* FChecklistImages[ChecklistRows] = {};
    QLabel* FChecklistLabels[ChecklistRows] = {};
    bool FChecklistDone[ChecklistRows] = {};
    // ilImages: icon 0 the pale star (pending), icon 1 the golden star (done).
    TOrvPicture FStars[2];
};

} // namespace kestrum
