#pragma once
// Small fixtures for the toolkit tests: pictures made in memory, an encoded GIF, mouse events with positions.
#include <gif_lib.h>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QThread>
#include <QWidget>
#include <vector>

#include "common/QtApp.h"
#include "skin/OrvPicture.h"

#include "common/XDisplay.h" // WaitFor

namespace kestrum::test {

// The test application. It is left to the end of the process on purpose: destroying it from the exit handlers,
// after synthetic mouse events have been sent, crashes in Qt's input-device teardown.
inline QApplication& SkinApp() {
    if (!QCoreApplication::instance()) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_skin";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
    return EnsureQtApp();
}

// Base of fixtures that hold widgets as members: the application exists before them.
struct TQtApp {
    TQtApp() { SkinApp(); }
};

inline TOrvPicture Solid(int w, int h, QColor color, TPictureFormat format = TPictureFormat::Png) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(color);
    return TOrvPicture(img, format);
}

inline QByteArray Encode(const QImage& img, const char* format) {
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format);
    return out;
}

struct TGifFrameSpec {
    QColor Color;    // the whole frame in one colour ...
    int DelayCs = 0; // ... shown for this long
    int Disposal = 0;
    QRect Area;                   // frame rectangle; empty = whole canvas
    bool HoleTransparent = false; // the frame's top-left pixel uses the transparent index
};

// An animated GIF encoded with giflib: palette index 0 transparent, 1.. the frame colours.
inline QByteArray MakeGif(int w, int h, const std::vector<TGifFrameSpec>& frames) {
    QByteArray out;
    auto write = [](GifFileType* gif, const GifByteType* data, int n) {
        static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), n);
        return n;
    };
    int err = 0;
    GifFileType* gif = EGifOpen(&out, write, &err);
    GifColorType colors[8] = {};
    for (size_t i = 0; i < frames.size() && i < 7; ++i)
        colors[i + 1] = {GifByteType(frames[i].Color.red()), GifByteType(frames[i].Color.green()),
                         GifByteType(frames[i].Color.blue())};
    ColorMapObject* map = GifMakeMapObject(8, colors);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w, h, 3, 0, map);
    unsigned char loop[] = {1, 0, 0};
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    EGifPutExtensionBlock(gif, 3, loop);
    EGifPutExtensionTrailer(gif);
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto& f = frames[i];
        GraphicsControlBlock gcb{f.Disposal, false, f.DelayCs, 0};
        GifByteType ext[4];
        size_t n = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext);
        QRect a = f.Area.isEmpty() ? QRect(0, 0, w, h) : f.Area;
        EGifPutImageDesc(gif, a.x(), a.y(), a.width(), a.height(), false, nullptr);
        std::vector<GifPixelType> line(size_t(a.width()), GifPixelType(i + 1));
        for (int y = 0; y < a.height(); ++y) {
            std::vector<GifPixelType> row = line;
            if (f.HoleTransparent && y == 0) row[0] = 0;
            EGifPutLine(gif, row.data(), a.width());
        }
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return out;
}

inline void SendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QPointF global = w->mapToGlobal(QPointF(local));
    QMouseEvent e(type, QPointF(local), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}
inline void Press(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseButtonPress, p, b, b);
}
inline void Move(QWidget* w, QPoint p, Qt::MouseButtons held = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseMove, p, Qt::NoButton, held);
}
inline void Release(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    SendMouse(w, QEvent::MouseButtonRelease, p, b, Qt::NoButton);
}

// Counts the emissions of one signal (the test programs do not link Qt Test).
class TSpy {
public:
    template <class Obj, class Signal>
    TSpy(Obj* sender, Signal signal) {
        QObject::connect(sender, signal, &FContext, [this] { ++FCount; });
    }
    int count() const { return FCount; }

private:
    QObject FContext;
    int FCount = 0;
};

// Real pictures of a kind found on this machine (at most `limit`), for decoding tests.
inline QStringList SystemPictures(const QString& pattern, int limit) {
    QStringList found;
    for (const char* root : {"/usr/share/pixmaps", "/usr/share/icons", "/usr/share/doc", "/usr/share"}) {
        QDirIterator it(QString::fromLatin1(root), {pattern}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext() && found.size() < limit) {
            QString p = it.next();
            if (!found.contains(p)) found << p;
        }
        if (found.size() >= limit) break;
    }
    return found;
}

} // namespace kestrum::test
