#include "skin/OrvImage.h"

#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "skin/DownloadThread.h"
#include "skin/OrvGraphics.h"
#include "support/KSUtils.h"

namespace kestrum {

TOrvImage::TOrvImage(QWidget* parent) : QWidget(parent) {
    resize(105, 105);
    FAnimTimer.setSingleShot(true);
    FAnimTimer.setTimerType(Qt::PreciseTimer);
    connect(&FAnimTimer, &QTimer::timeout, this, &TOrvImage::NextFrame);
}

TOrvImage::~TOrvImage() {
    for (auto& d : FDownloads) {
        QMutexLocker lock(&d->Lock);
        d->Control = nullptr;
    }
}

QRect TOrvImage::DestRect(QSize picture, QSize client, bool stretch, bool proportional, bool center) {
    int w = picture.width(), h = picture.height(), cw = client.width(), ch = client.height();
    if (stretch || (proportional && (w > cw || h > ch))) {
        if (proportional && w > 0 && h > 0) {
            double r = double(w) / h;
            if (w > h) {
                w = cw;
                h = int(std::trunc(cw / r));
                if (h > ch) h = ch, w = int(std::trunc(ch * r));
            } else {
                h = ch;
                w = int(std::trunc(ch * r));
                if (w > cw) w = cw, h = int(std::trunc(cw / r));
            }
        } else {
            w = cw, h = ch;
        }
    }
    QRect r(0, 0, w, h);
    if (center) r.translate((cw - w) / 2, (ch - h) / 2);
    return r;
}

QRect TOrvImage::DestRect() const {
    return DestRect(FPicture.Size(), size(), FStretch, FProportional, FCenter);
}

int TOrvImage::GifFrameTimeMs(int delayCs, int speed) {
    speed = std::clamp(speed, 0, 1000);
    if (speed == 0) return -1; // the recorded formula divides by the speed: 0 means stand still
    int d = delayCs <= 0 ? 10 : delayCs;
    d = std::clamp(d, 3, 1000);
    return d * 12 * 100 / speed;
}

void TOrvImage::SetPicture(const TOrvPicture& picture) {
    StopAnimation();
    FPicture = picture;
    FFrame = 0;
    FCacheFrame = -1;
    ApplyGifSettings();
    PictureChanged();
}

bool TOrvImage::LoadPicture(const QString& path) {
    TOrvPicture p;
    bool ok = p.LoadFromFile(path);
    SetPicture(p);
    return ok;
}

void TOrvImage::PictureChanged() {
    if (FAutoSize && FPicture.Width() > 0 && FPicture.Height() > 0) resize(FPicture.Size());
    bool opaque = false;
    if (FPicture.HasGraphic()) {
        if (FPicture.Format() != TPictureFormat::Icon && FPicture.Format() != TPictureFormat::Cursor &&
            FPicture.Format() != TPictureFormat::Metafile && FPicture.Format() != TPictureFormat::EnhMetafile)
            FPicture.SetTransparent(FTransparent);
        bool hasAlpha = FPicture.Format() == TPictureFormat::Png || FPicture.Format() == TPictureFormat::Gif;
        opaque = !FPicture.Transparent() && !hasAlpha && DestRect().contains(rect());
    }
    setAttribute(Qt::WA_OpaquePaintEvent, opaque);
    FCacheFrame = -1;
    if (!FDrawing) update();
}

void TOrvImage::SetAutoSize(bool value) {
    FAutoSize = value;
    if (value) PictureChanged();
}
void TOrvImage::SetCenter(bool value) {
    if (FCenter == value) return;
    FCenter = value;
    PictureChanged();
}
void TOrvImage::SetStretch(bool value) {
    if (FStretch == value) return;
    FStretch = value;
    PictureChanged();
}
void TOrvImage::SetProportional(bool value) {
    if (FProportional == value) return;
    FProportional = value;
    PictureChanged();
}
void TOrvImage::SetTransparent(bool value) {
    if (FTransparent == value) return;
    FTransparent = value;
    PictureChanged();
}

QSize TOrvImage::sizeHint() const {
    if (FAutoSize && !FPicture.IsEmpty()) return FPicture.Size();
    return size();
}

// ------------------------------------------------------------------------------------------ GIF animation

void TOrvImage::SetGIFAnimationSpeed(int value) {
    FGIFAnimationSpeed = value;
    if (!FPicture.IsGif()) return;
    FPicture.SetAnimationSpeed(value);
    if (IsAnimating()) {
        StopAnimation();
        StartAnimation();
    }
}

void TOrvImage::SetGIFAnimation(bool value) {
    FGIFAnimation = value;
    if (!FPicture.IsGif()) return;
    FPicture.SetAnimationSpeed(FGIFAnimationSpeed);
    if (value)
        StartAnimation();
    else
        StopAnimation();
}

void TOrvImage::ApplyGifSettings() {
    if (!FPicture.IsGif()) return;
    FPicture.SetAnimationSpeed(FGIFAnimationSpeed);
    if (FGIFAnimation) StartAnimation();
}

void TOrvImage::StartAnimation() {
    if (IsAnimating() || FPicture.FrameCount() < 2) return;
    int ms = GifFrameTimeMs(FPicture.Frames()[size_t(FFrame)].DelayCs, FPicture.AnimationSpeed());
    if (ms < 0) return;
    FAnimClock.start();
    FNextDue = ms;
    FAnimTimer.start(ms);
}

void TOrvImage::StopAnimation() {
    FAnimTimer.stop();
}

void TOrvImage::NextFrame() {
    int n = FPicture.FrameCount();
    if (n < 2) return;
    FFrame = (FFrame + 1) % n;
    repaint();
    qint64 now = FAnimClock.elapsed();
    emit OnFrameShown(FFrame, now);
    int ms = GifFrameTimeMs(FPicture.Frames()[size_t(FFrame)].DelayCs, FPicture.AnimationSpeed());
    if (ms < 0) return;
    // Frames are due on a fixed schedule, so a late timer does not push every later frame back; after a long
    // stall (a busy or suspended process) the schedule starts again from now.
    FNextDue += ms;
    if (FNextDue < now - 1000) FNextDue = now + ms;
    FAnimTimer.start(int(std::max<qint64>(0, FNextDue - now)));
}

// ------------------------------------------------------------------------------------------ painting, mouse

void TOrvImage::PaintTo(QPainter& p) {
    if (FPicture.IsEmpty()) return;
    if (FCacheFrame != FFrame) {
        FCache = FPicture.DisplayImage(FFrame);
        FCacheFrame = FFrame;
    }
    FDrawing = true;
    QRect r = DestRect();
    if (r.size() == FCache.size())
        p.drawImage(r.topLeft(), FCache);
    else
        p.drawImage(r, FCache);
    FDrawing = false;
}

void TOrvImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintTo(p);
}

void TOrvImage::mousePressEvent(QMouseEvent* e) {
    if (FDraggable && e->button() == Qt::LeftButton) StartWindowMove(this, e->globalPosition());
    emit OnMouseDown(e);
}
void TOrvImage::mouseReleaseEvent(QMouseEvent* e) {
    emit OnMouseUp(e);
}
void TOrvImage::mouseMoveEvent(QMouseEvent* e) {
    emit OnMouseMove(e);
}
void TOrvImage::mouseDoubleClickEvent(QMouseEvent* e) {
    emit OnDblClick(e);
}

// ------------------------------------------------------------------------------------------ HTTP picture

void TOrvImage::SetHttpPicture(const QString& address) {
    FHttpPicture = address;
    SetPicture(TOrvPicture());
    if (address.trimmed().isEmpty()) return;
    std::erase_if(FDownloads, [](const auto& d) { return d->Finished.load(); });
    for (auto& d : FDownloads) d->Superseded = true;
    auto shared = std::make_shared<TDownloadShared>();
    shared->Control = this;
    FDownloads.push_back(shared);
    QString temp = MakeTempFileName(GetTempDir(), QStringLiteral(".tmp"));
    QFile(temp).open(QIODevice::WriteOnly); // the empty file reserves the name
    auto* thread = new TDownloadThread(shared, address, temp, FHttpPort);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void TOrvImage::HttpFileReady(const QString& path, bool superseded) {
    // Loaded straight into the picture: the GIF settings are not applied to it.
    StopAnimation();
    FPicture.LoadFromFile(path);
    FFrame = 0;
    PictureChanged();
    QFile::remove(path);
    if (FPicture.HasGraphic() && !superseded) emit OnHttpPictureCompleted();
}

void TDownloadShared::Deliver(const std::shared_ptr<TDownloadShared>& self, const QString& path) {
    QMutexLocker lock(&self->Lock);
    TOrvImage* control = self->Control;
    if (!control) {
        QFile::remove(path);
        self->Finished = true;
        return;
    }
    // Posted while the lock keeps the control alive; a queued call to a receiver destroyed later is dropped.
    QMetaObject::invokeMethod(
        control,
        [control, path, self]() {
            control->HttpFileReady(path, self->Superseded.load());
            self->Finished = true;
        },
        Qt::QueuedConnection);
}

} // namespace kestrum
