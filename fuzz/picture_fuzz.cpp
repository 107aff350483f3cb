// libFuzzer target for the picture decoders (PNG, GIF, JPEG, and the framework's BMP/ICO/CUR behind the
// same limits): any bytes give frames or a clear error, never a crash or an allocation past the limits.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "skin/PictureDecoders.h"

using namespace kestrum;

namespace {

void Decoded(const TDecodeResult& r, const TDecodeLimits& limits) {
    fuzz::Check(r.Ok() || !r.Error.isEmpty() || r.Frames.empty());
    qint64 pixels = 0;
    for (const TPictureFrame& f : r.Frames) pixels += qint64(f.Image.width()) * f.Image.height();
    fuzz::Check(pixels <= limits.MaxPixels);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    // Small limits keep each run quick; the checks are the same at any size.
    TDecodeLimits limits;
    limits.MaxSide = 2048;
    limits.MaxPixels = 4 * 1024 * 1024;
    Decoded(DecodePng(bytes, limits), limits);
    Decoded(DecodeGif(bytes, limits), limits);
    Decoded(DecodeJpeg(bytes, limits), limits);
    if (size > 2 && data[0] == 'B' && data[1] == 'M') Decoded(DecodeWithQt(bytes, "bmp", limits), limits);
    if (size > 4 && data[0] == 0 && data[1] == 0 && (data[2] == 1 || data[2] == 2) && data[3] == 0)
        Decoded(DecodeWithQt(bytes, data[2] == 1 ? "ico" : "cur", limits), limits);
    return 0;
}
