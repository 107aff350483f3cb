#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <vector>

namespace kestrum::mkart {

// Encodes equally sized frames as a looping GIF with giflib. One palette (median cut over all frames,
// no dithering, so still areas do not shimmer) and frame differences: after the first frame only the
// changed rectangle is stored, unchanged pixels as transparent. Pixels with alpha below 128 become
// transparent; the rest are first blended onto `matte`.
class TGifWriter {
public:
    static QByteArray Encode(const std::vector<QImage>& frames, int delayCs, const QColor& matte, QString* error);
};

} // namespace kestrum::mkart
