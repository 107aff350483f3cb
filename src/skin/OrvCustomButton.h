#pragma once
// A push button that composes its whole face off-screen: background (its colour, or what lies behind it),
// a state picture, border, focus rectangle and caption. Holds the hover/pressed state machine, the click order
// and the keyboard rules; TOrvImageButton supplies the pictures.
#include <QImage>
#include <QWidget>

#include "skin/OrvAlign.h"
#include "skin/OrvColor.h"
#include "skin/OrvFont.h"

namespace kestrum {

class TOrvPicture;

class TOrvCustomButton : public QWidget {
    Q_OBJECT
public:
    explicit TOrvCustomButton(QWidget* parent = nullptr);
    ~TOrvCustomButton() override;

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    TOrvAlign TextAlign() const { return FTextAlign; }
    void SetTextAlign(TOrvAlign value);
    int TextX() const { return FTextX; }
    void SetTextX(int value);
    int TextY() const { return FTextY; }
    void SetTextY(int value);
    bool MultiLines() const { return FMultiLines; }
    void SetMultiLines(bool value);
    bool EnableStatesFont() const { return FEnableStatesFont; }
    void SetEnableStatesFont(bool value);
    // The caption font (QWidget::font) with its colour.
    TOrvFont Font() const { return {font(), FFontColor}; }
    void SetFont(const TOrvFont& value);
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& value);
    const TOrvFont& FontMouseHover() const { return FFontMouseHover; }
    void SetFontMouseHover(const TOrvFont& value);
    const TOrvFont& FontMouseDown() const { return FFontMouseDown; }
    void SetFontMouseDown(const TOrvFont& value);
    const TOrvFont& FontDisabled() const { return FFontDisabled; }
    void SetFontDisabled(const TOrvFont& value);
    bool ShowDisabledShadow() const { return FShowDisabledShadow; }
    void SetShowDisabledShadow(bool value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    int FocusedRectMargin() const { return FFocusedRectMargin; }
    void SetFocusedRectMargin(int value);
    int ModalResult() const { return FModalResult; }
    void SetModalResult(int value) { FModalResult = value; }
    TColor Color() const { return FColor; }
    void SetColor(TColor value);

    bool Cancel() const { return FCancel; }
    void SetCancel(bool value) { FCancel = value; }
    bool Default() const { return FDefault; }
    void SetDefault(bool value);
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool value);
    bool DrawFocused() const { return FDrawFocused; }
    void SetDrawFocused(bool value);
    bool DrawBorder() const { return FDrawBorder; }
    void SetDrawBorder(bool value);

    bool Hover() const { return FHover; }
    bool Down() const { return FDown; }
    bool Active() const { return FActive; }

    // Clicks the button from code: clears the pressed state, writes ModalResult into the form, raises OnClick.
    virtual void Click();
    // The character after a single "&" of the caption, lower-cased; a null char when there is none.
    static QChar AcceleratorOf(const QString& caption);

    // The face as it is painted now (used by the paint event, tests and benchmarks).
    QImage ComposeFace();

signals:
    void OnClick();
    void OnMouseEnter();
    void OnMouseExit();
    void OnMouseDown(QMouseEvent* event);
    void OnMouseUp(QMouseEvent* event);
    void OnMouseMove(QMouseEvent* event);
    // Kept for compatibility with existing event bindings; nothing raises it.
    void OnMouseContinuouslyDown();

protected:
    virtual void PaintPicture(QPainter& canvas, const TOrvPicture& picture);
    virtual void PaintCaption(QPainter& canvas);
    virtual void PaintFocusRect(QPainter& canvas);
    virtual void PaintBorder(QPainter& canvas);
    virtual bool GetStatePicture(TOrvPicture& picture);

    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Picture placement for the picture button's PictureAlign / PictureX / PictureY.
    TOrvAlign FPictureAlign = OrvAlign_TopLeft;
    int FPictureX = 0, FPictureY = 0;
    bool FStretch = false;
    bool FTransparentColor = false;
    TColor FTransparentColorValue = clFuchsia;

private:
    void PointerEntered();
    void PointerLeft();
    void WatchForm();
    void FocusMoved(QWidget* now);
    bool HandleFormKey(QKeyEvent* event);
    bool CanTakeFocus() const;

    QString FCaption;
    TOrvAlign FTextAlign = OrvAlign_MiddleCenter;
    int FTextX = 0, FTextY = 0;
    bool FMultiLines = false, FEnableStatesFont = false, FShowDisabledShadow = false, FTransparent = false;
    int FFocusedRectMargin = 2;
    int FModalResult = 0;
    TColor FColor = clBtnFace;
    QColor FFontColor = Qt::black;
    TOrvFont FFontMouseHover, FFontMouseDown, FFontDisabled;
    bool FCancel = false, FDefault = false, FDrawFocused = false, FDrawBorder = false;
    bool FHover = false, FDown = false, FActive = false;
    bool FPointerInside = false;
    bool FLeftPressed = false; // a left press began on the button (a release over it is a click)
    QWidget* FWatchedForm = nullptr;
};

} // namespace kestrum
