#pragma once
// A container panel that paints itself from a picture and a centred caption, composed off-screen, optionally
// over what lies behind it with a key colour left out.
#include <QImage>
#include <QWidget>

#include "skin/OrvAlign.h"
#include "skin/OrvColor.h"
#include "skin/OrvPicture.h"

namespace kestrum {

enum TPanelAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TOrvImagePanel : public QWidget {
    Q_OBJECT
public:
    explicit TOrvImagePanel(QWidget* parent = nullptr);

    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    TColor TransparentColor() const { return FTransparentColor; }
    void SetTransparentColor(TColor value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    const TOrvPicture& Picture() const { return FPicture; }
    void SetPicture(const TOrvPicture& value);
    TOrvAlign PictureAlign() const { return FPictureAlign; }
    void SetPictureAlign(TOrvAlign value);
    int PictureX() const { return FPictureX; }
    void SetPictureX(int value);
    int PictureY() const { return FPictureY; }
    void SetPictureY(int value);
    bool Draggable() const { return FDraggable; }
    void SetDraggable(bool value) { FDraggable = value; }

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    QColor FontColor() const { return FFontColor; }
    void SetFontColor(const QColor& value);
    // A window border drawn around the client area (1 pixel when on); the client area shrinks by it.
    bool BorderSingle() const { return FBorderSingle; }
    void SetBorderSingle(bool value);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value) { FBorderWidth = value; }
    // How the panel sits in its parent; AutoSize leaves the sizes the alignment fixes alone.
    TPanelAlign Align() const { return FAlign; }
    void SetAlign(TPanelAlign value);

    QSize ClientSize() const;
    // The surface as composed now (W x H); tests and benchmarks read it.
    QImage ComposeSurface();
    // Caption lines as laid out in a box: whole words, the last visible line cut after a word with an ellipsis.
    static QStringList LayoutCaption(const QString& text, const QFont& font, QSize box);

signals:
    void OnMouseDown(QMouseEvent* event);
    void OnMouseUp(QMouseEvent* event);

protected:
    virtual void PaintPicture(QPainter& graphics, const QImage& image);
    virtual void PaintCaption(QPainter& graphics, const QString& text);
    virtual void PaintBorder(QPainter& graphics);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyAutoSize();

    bool FTransparent = true;
    TColor FTransparentColor = clFuchsia;
    bool FAutoSize = false, FStretch = false, FDraggable = false, FBorderSingle = false;
    TOrvPicture FPicture;
    QImage FImage; // the picture as drawn; a null image when there is none
    TOrvAlign FPictureAlign = OrvAlign_TopLeft;
    int FPictureX = 0, FPictureY = 0;
    QString FCaption;
    TColor FColor = clBtnFace;
    QColor FFontColor = Qt::black;
    int FBorderWidth = 0;
    TPanelAlign FAlign = alNone;
};

} // namespace kestrum
