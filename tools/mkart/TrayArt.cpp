#include <QBuffer>
#include <QDataStream>
#include <QString>

#include "ArtSet.h"
#include "Draw.h"
#include "Makers.h"
#include "Palette.h"

namespace kestrum::mkart {
namespace {

// The usage gauge: a white box with a grey border whose ten inner rows fill from the bottom.
// Box outline x 1..14, y 2..13; inner rows y 3..12, x 2..13.
QImage Gauge(int rows, const QColor& fill) {
    QImage img(16, 16, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    for (int y = 2; y <= 13; ++y)
        for (int x = 1; x <= 14; ++x) {
            const bool edge = y == 2 || y == 13 || x == 1 || x == 14;
            if (edge)
                img.setPixelColor(x, y, pal::TrayBorder);
            else
                img.setPixelColor(x, y, y > 12 - rows ? fill : QColor(Qt::white));
        }
    return img;
}

QColor GaugeColour(int index) {
    if (index <= 3) return pal::TrayLow;
    if (index <= 6) return pal::TrayMid;
    if (index <= 8) return pal::TrayHigh;
    return pal::TrayFull;
}

QImage DoNotDisturb() {
    QImage img = Logo(16);
    QPainter p;
    Begin(p, img);
    const QPointF c(11.5, 11.5);
    p.setBrush(Qt::white);
    p.drawEllipse(c, 4.5, 4.5);
    p.setBrush(QColor(226, 30, 40));
    p.drawEllipse(c, 3.6, 3.6);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(9.5, 11, 4, 1));
    p.end();
    return img;
}

QByteArray EncodePng(const QImage& img) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.convertToFormat(QImage::Format_ARGB32).save(&buf, "PNG", 0);
    return bytes;
}

// A classic 32-bit DIB entry (image rows bottom-up, then the 1-bit AND mask); every Windows reads it.
QByteArray EncodeDib(const QImage& src) {
    const QImage img = src.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    const int maskStride = ((w + 31) / 32) * 4;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint32(40) << qint32(w) << qint32(2 * h) << quint16(1) << quint16(32) << quint32(0)
        << quint32(w * h * 4 + maskStride * h) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) out << quint32(img.pixel(x, y)); // BGRA in memory
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, 0);
        for (int x = 0; x < w; ++x)
            if (qAlpha(img.pixel(x, y)) == 0) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out.writeRawData(row.constData(), row.size());
    }
    return bytes;
}

// Icon file: the 256 entry first (PNG inside, as Windows expects for that size), then the small ones.
QByteArray EncodeIco(const std::vector<QImage>& images) {
    std::vector<QByteArray> data;
    for (const auto& img : images) data.push_back(img.width() >= 256 ? EncodePng(img) : EncodeDib(img));
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out << quint16(0) << quint16(1) << quint16(images.size());
    quint32 offset = 6 + 16 * quint32(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int s = images[i].width();
        out << quint8(s >= 256 ? 0 : s) << quint8(s >= 256 ? 0 : s) << quint8(0) << quint8(0) << quint16(1)
            << quint16(32) << quint32(data[i].size()) << offset;
        offset += quint32(data[i].size());
    }
    for (const auto& d : data) out.writeRawData(d.constData(), d.size());
    return bytes;
}

} // namespace

void MakeTrayAndIcons(TArtSet& set) {
    set.Png("tray/tray00.png", Logo(16), "Tray picture 0: the product logo (static icon, `DynTrayIcon` off)");
    set.Png("tray/tray01.png", Gauge(0, Qt::white), "Tray picture 1: empty usage gauge (memory use 0 %)");
    for (int k = 2; k <= 11; ++k) {
        const int lo = (k - 2) * 10 + 1, hi = (k - 1) * 10;
        set.Png(QString("tray/tray%1.png").arg(k, 2, 10, QChar('0')), Gauge(k - 1, GaugeColour(k)),
                QString("Tray picture %1: gauge with %2 of 10 inner rows filled, RGB (%3, %4, %5) (memory use %6–%7 %)")
                    .arg(k)
                    .arg(k - 1)
                    .arg(GaugeColour(k).red())
                    .arg(GaugeColour(k).green())
                    .arg(GaugeColour(k).blue())
                    .arg(lo)
                    .arg(hi));
    }
    set.Png("tray/tray12.png", DoNotDisturb(), "Tray picture 12: the logo with a small round badge (Do-Not-Disturb)");
    std::vector<QImage> ico;
    for (int s : {16, 32, 48, 128, 256}) {
        const QImage logo = Logo(s);
        set.Png(QString("icons/hicolor/%1x%1/apps/kestrum.png").arg(s), logo,
                "Program icon in the freedesktop `hicolor` layout (`.desktop` file: `Icon=kestrum`)");
        if (s != 128) ico.push_back(logo);
    }
    std::reverse(ico.begin(), ico.end());
    set.File("icons/kestrum.ico", EncodeIco(ico), ico.front(),
             "Program icon for Windows: 256 (PNG), 48, 32, 16 inside");
}

} // namespace kestrum::mkart
