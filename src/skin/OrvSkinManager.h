#pragma once
// Turns its owner form into a borderless window drawn from pictures: eight frame pieces, a caption icon, a title
// and up to three caption buttons, with the behaviour a system caption gives (move by dragging the top, maximize
// on double-click, a resize grip, size limits, a key-colour window shape) and events for the window's states.
#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <memory>
#include <vector>

#include "skin/OrvColor.h"
#include "skin/OrvImage.h"
#include "skin/OrvImageButton.h"
#include "skin/SkinButton.h"
#include "skin/SkinParts.h"

namespace kestrum {

enum TFormStyle { fsSizeable, fsFixed };

class TOrvSkinManager : public QObject {
    Q_OBJECT
public:
    // The owner must be the form to skin; it becomes white and borderless at once.
    explicit TOrvSkinManager(QWidget* form);
    ~TOrvSkinManager() override;

    QWidget* Form() const { return FForm; }

    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor value);
    TFormStyle FormStyle() const { return FFormStyle; }
    void SetFormStyle(TFormStyle value);
    bool TransColor() const { return FTransColor; }
    void SetTransColor(bool value);
    TColor TransColorValue() const { return FTransColorValue; }
    void SetTransColorValue(TColor value);

    TSkinBounds& Bounds() { return FBounds; }
    TSkinFrame& Frame() { return FFrame; }
    TSkinButton& Icon() { return FIcon; }
    TSkinTitle& Title() { return FTitle; }
    TSkinButton& BtnMin() { return FBtnMin; }
    TSkinButton& BtnMax() { return FBtnMax; }
    TSkinButton& BtnClose() { return FBtnClose; }

    // An optional skin document (a JSON object) the manager owns and frees with itself.
    std::shared_ptr<void> SkinDocument;

    // Builds the skin on the form, once, after the form has placed what it wants.
    void ApplySkin();
    bool Applied() const { return FApplied; }

    // The controls the manager made (null before they exist).
    TOrvImageButton* IconButton() const { return FIconButton; }
    TOrvImageButton* CaptionButton(TSkinButtonKind kind) const;
    QLabel* TitleLabel() const { return FTitleLabel; }
    TOrvImage* FramePiece(TFramePiece piece) const { return FPieces[piece]; }
    QWidget* ResizeGrip() const { return FGrip; }
    QWidget* ResizeOutline() const { return FOutline; }
    // The window shape last set (empty = the whole window).
    QRegion WindowRegion() const { return FRegion; }

    // What the caption controls do.
    void Minimize();
    void ToggleMaximize();
    void CloseForm();

    // The grip's pointer position clamped to the size limits (minimums first, so a smaller maximum wins).
    static QPoint ClampGripPoint(QPoint pointer, QPoint formTopLeft, const TSkinBounds& bounds);

    // Re-runs the icon, caption-button and title layouts (creating those controls when missing).
    void LayoutCaption();

signals:
    void OnIconClick();
    void OnMinimized();
    void OnMaximized();
    void OnRestored();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TSkinTitle;
    void EnsureCaptionControls();
    void LayoutIcon();
    void LayoutButtons();
    void LayoutTitle();
    // Pixels above (and below) the title's text for accents that reach above the font's ascent.
    static int AccentRoom(const QLabel& label, const QString& text);
    void LayoutFrame();
    void RetileEdges();
    void UpdateRegion();
    void UpdateGripCursor();
    void Anchor(QWidget* control, int anchors);
    void ApplyAnchors(QSize size);
    void TitleChanged();
    bool FormEvent(QEvent* event);
    bool ControlEvent(QWidget* control, QEvent* event);
    void GripEvent(QEvent* event);
    TSkinButton& SkinButton(TSkinButtonKind kind);

    struct TAnchor {
        QPointer<QWidget> Control;
        int Anchors; // bit 0 left, 1 top, 2 right, 3 bottom
        int Left, Top, Right, Bottom;
    };

    QPointer<QWidget> FForm;
    TColor FBackColor = clWhite;
    TFormStyle FFormStyle = fsSizeable;
    bool FTransColor = false;
    TColor FTransColorValue = clFuchsia;
    TSkinBounds FBounds;
    TSkinFrame FFrame;
    TSkinButton FIcon, FBtnMin, FBtnMax, FBtnClose;
    TSkinTitle FTitle;
    bool FApplied = false, FHooked = false, FOwnStateChange = false, FCaptionWired = false;
    bool FShaping = false;
    QPointer<TOrvImageButton> FIconButton, FBtnMinControl, FBtnMaxControl, FBtnCloseControl;
    QPointer<QLabel> FTitleLabel;
    int FTitleRoom = 0; // the accent room LayoutTitle gave the label
    QPointer<TOrvImage> FPieces[8];
    QPointer<QWidget> FGrip;
    QPointer<QWidget> FOutline;
    std::vector<TAnchor> FAnchors;
    QRegion FRegion;
    QSize FShapedSize; // the form's size when the edges were last tiled and the region last made
    bool FGripTracking = false;
    QPoint FGripFixed;
};

} // namespace kestrum
