#pragma once
// Decoders for the picture kinds: libpng, giflib and libjpeg directly, bitmaps, icons and cursors through Qt.
// Every decoder is meant for untrusted bytes: a damaged or hostile file gives a clear error and no frames,
// never a crash, and no decoder allocates past the limits below.
#include <QByteArray>
#include <QString>
#include <vector>

#include "skin/OrvPicture.h"

namespace kestrum {

struct TDecodeLimits {
    int MaxSide = 16384;                   // widest / tallest accepted picture
    qint64 MaxPixels = 64LL * 1024 * 1024; // all frames together (4 bytes each in memory)
};

struct TDecodeResult {
    std::vector<TPictureFrame> Frames;
    QString Error; // empty on success
    bool Ok() const { return Error.isEmpty() && !Frames.empty(); }
};

TDecodeResult DecodePng(const QByteArray& data, const TDecodeLimits& limits = {});
TDecodeResult DecodeGif(const QByteArray& data, const TDecodeLimits& limits = {});
TDecodeResult DecodeJpeg(const QByteArray& data, const TDecodeLimits& limits = {});
// BMP, ICO and CUR through Qt's readers, with the same limits checked before decoding.
TDecodeResult DecodeWithQt(const QByteArray& data, const char* qtFormat, const TDecodeLimits& limits = {});
TDecodeResult DecodePicture(const QByteArray& data, TPictureFormat format, const TDecodeLimits& limits = {});

} // namespace kestrum
