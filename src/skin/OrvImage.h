#pragma once
// A picture control: draws its picture stretched, proportional or centred, animates GIF pictures, can move its
// form when dragged, and can fetch its picture from a web address on a worker thread.
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <vector>

#include "skin/OrvPicture.h"

namespace kestrum {

struct TDownloadShared;

class TOrvImage : public QWidget {
    Q_OBJECT
public:
    explicit TOrvImage(QWidget* parent = nullptr);
    ~TOrvImage() override;

    const TOrvPicture& Picture() const { return FPicture; }
    // Copies the picture, then applies GIFAnimationSpeed and GIFAnimation to it.
    void SetPicture(const TOrvPicture& picture);
    // Loads a file (or a ":/" resource) into Picture; false and an empty picture when it cannot be read.
    bool LoadPicture(const QString& path);

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    bool Center() const { return FCenter; }
    void SetCenter(bool value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value);
    bool Proportional() const { return FProportional; }
    void SetProportional(bool value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    bool IncrementalDisplay() const { return FIncrementalDisplay; }
    void SetIncrementalDisplay(bool value) { FIncrementalDisplay = value; }
    bool Draggable() const { return FDraggable; }
    void SetDraggable(bool value) { FDraggable = value; }

    int GIFAnimationSpeed() const { return FGIFAnimationSpeed; }
    void SetGIFAnimationSpeed(int value);
    bool GIFAnimation() const { return FGIFAnimation; }
    void SetGIFAnimation(bool value);
    bool IsAnimating() const { return FAnimTimer.isActive(); }
    int CurrentFrame() const { return FFrame; }

    QString HttpPicture() const { return FHttpPicture; }
    void SetHttpPicture(const QString& address);
    // The port the HTTP picture is fetched from (80; tests point it at their own local server).
    int HttpPort() const { return FHttpPort; }
    void SetHttpPort(int port) { FHttpPort = port; }

    // Where the picture is drawn, in client coordinates.
    QRect DestRect() const;
    static QRect DestRect(QSize picture, QSize client, bool stretch, bool proportional, bool center);
    // How long a GIF frame stays on screen, in ms; -1 when the speed is 0 (the animation stands still).
    static int GifFrameTimeMs(int delayCs, int speed);

    QSize sizeHint() const override;
    // Paints the picture as the control shows it, with the painter's origin at the control's top-left.
    void PaintTo(QPainter& painter);

signals:
    void OnHttpPictureCompleted();
    void OnMouseDown(QMouseEvent* event);
    void OnMouseUp(QMouseEvent* event);
    void OnMouseMove(QMouseEvent* event);
    void OnDblClick(QMouseEvent* event);
    // A GIF frame has just been put on screen (elapsed ms since the animation started).
    void OnFrameShown(int index, qint64 elapsedMs);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    friend struct TDownloadShared;
    void PictureChanged();
    void ApplyGifSettings();
    void StartAnimation();
    void StopAnimation();
    void NextFrame();
    void HttpFileReady(const QString& path, bool superseded);

    TOrvPicture FPicture;
    bool FAutoSize = false, FCenter = false, FStretch = false, FProportional = false, FTransparent = false;
    bool FIncrementalDisplay = false, FDraggable = false;
    int FGIFAnimationSpeed = 1000;
    bool FGIFAnimation = false;
    bool FDrawing = false;
    int FFrame = 0;
    QTimer FAnimTimer;
    QElapsedTimer FAnimClock;
    qint64 FNextDue = 0;
    mutable QImage FCache;
    mutable int FCacheFrame = -1;
    QString FHttpPicture;
    int FHttpPort = 80;
    std::vector<std::shared_ptr<TDownloadShared>> FDownloads; // the newest last
};

} // namespace kestrum
