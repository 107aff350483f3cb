#include "GifWriter.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <unordered_map>

namespace kestrum::mkart {
namespace {

constexpr int Transparent = 255; // palette slot kept for transparency
constexpr int MaxColours = 255;

struct TColourCount {
    QRgb Rgb;
    long long Count;
};

int Channel(QRgb c, int ch) {
    return ch == 0 ? qRed(c) : ch == 1 ? qGreen(c) : qBlue(c);
}

// Median cut: split the box with the widest channel range at its weighted median until there are
// enough boxes; each box gives its weighted mean.
std::vector<QRgb> MedianCut(std::vector<TColourCount> colours) {
    struct TBox {
        size_t Begin, End;
    };
    auto range = [&](const TBox& b, int& channel) {
        int best = -1;
        for (int ch = 0; ch < 3; ++ch) {
            int lo = 255, hi = 0;
            for (size_t i = b.Begin; i < b.End; ++i) {
                lo = std::min(lo, Channel(colours[i].Rgb, ch));
                hi = std::max(hi, Channel(colours[i].Rgb, ch));
            }
            if (hi - lo > best) best = hi - lo, channel = ch;
        }
        return best;
    };
    std::vector<TBox> boxes{{0, colours.size()}};
    while (int(boxes.size()) < MaxColours) {
        int pick = -1, pickChannel = 0, widest = 0;
        for (int i = 0; i < int(boxes.size()); ++i) {
            if (boxes[i].End - boxes[i].Begin < 2) continue;
            int ch = 0;
            const int r = range(boxes[i], ch);
            if (r > widest) widest = r, pick = i, pickChannel = ch;
        }
        if (pick < 0) break;
        TBox b = boxes[size_t(pick)];
        std::stable_sort(colours.begin() + long(b.Begin), colours.begin() + long(b.End),
                         [&](const TColourCount& x, const TColourCount& y) {
                             return Channel(x.Rgb, pickChannel) < Channel(y.Rgb, pickChannel);
                         });
        long long total = 0, acc = 0;
        for (size_t i = b.Begin; i < b.End; ++i) total += colours[i].Count;
        size_t cut = b.Begin + 1;
        for (size_t i = b.Begin; i < b.End - 1; ++i) {
            acc += colours[i].Count;
            cut = i + 1;
            if (acc * 2 >= total) break;
        }
        boxes[size_t(pick)] = {b.Begin, cut};
        boxes.push_back({cut, b.End});
    }
    std::vector<QRgb> palette;
    for (const auto& b : boxes) {
        double r = 0, g = 0, bl = 0, n = 0;
        for (size_t i = b.Begin; i < b.End; ++i) {
            const double w = double(colours[i].Count);
            r += qRed(colours[i].Rgb) * w, g += qGreen(colours[i].Rgb) * w, bl += qBlue(colours[i].Rgb) * w, n += w;
        }
        palette.push_back(qRgb(int(r / n + 0.5), int(g / n + 0.5), int(bl / n + 0.5)));
    }
    return palette;
}

int Nearest(const std::vector<QRgb>& palette, QRgb c) {
    int best = 0, bestD = 1 << 30;
    for (int i = 0; i < int(palette.size()); ++i) {
        const int dr = qRed(c) - qRed(palette[size_t(i)]), dg = qGreen(c) - qGreen(palette[size_t(i)]),
                  db = qBlue(c) - qBlue(palette[size_t(i)]);
        const int d = 2 * dr * dr + 4 * dg * dg + 3 * db * db;
        if (d < bestD) bestD = d, best = i;
    }
    return best;
}

int WriteToArray(GifFileType* gif, const GifByteType* data, int len) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(data), len);
    return len;
}

} // namespace

QByteArray TGifWriter::Encode(const std::vector<QImage>& frames, int delayCs, const QColor& matte, QString* error) {
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return QByteArray();
    };
    if (frames.empty()) return fail("no frames");
    const int w = frames[0].width(), h = frames[0].height();

    // Flatten: opaque pixels over the matte, the rest marked transparent (alpha 0 in `flat`).
    std::vector<QImage> flat;
    std::map<QRgb, long long> histogram;
    for (const QImage& f : frames) {
        if (f.size() != frames[0].size()) return fail("frames differ in size");
        QImage src = f.convertToFormat(QImage::Format_ARGB32);
        QImage out(w, h, QImage::Format_ARGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb c = src.pixel(x, y);
                const int a = qAlpha(c);
                if (a < 128) {
                    out.setPixel(x, y, 0);
                    continue;
                }
                auto blend = [&](int v, int m) { return (v * a + m * (255 - a) + 127) / 255; };
                const QRgb o =
                    qRgb(blend(qRed(c), matte.red()), blend(qGreen(c), matte.green()), blend(qBlue(c), matte.blue()));
                out.setPixel(x, y, o);
                ++histogram[o];
            }
        flat.push_back(out);
    }
    std::vector<TColourCount> colours;
    for (const auto& [rgb, n] : histogram) colours.push_back({rgb, n});
    std::vector<QRgb> palette;
    if (int(colours.size()) <= MaxColours)
        for (const auto& c : colours) palette.push_back(c.Rgb);
    else
        palette = MedianCut(colours);

    std::unordered_map<QRgb, int> lookup;
    std::vector<std::vector<GifByteType>> indexed;
    for (const QImage& f : flat) {
        std::vector<GifByteType> idx(size_t(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb c = f.pixel(x, y);
                if (qAlpha(c) == 0) {
                    idx[size_t(y * w + x)] = Transparent;
                    continue;
                }
                auto it = lookup.find(c);
                if (it == lookup.end()) it = lookup.emplace(c, Nearest(palette, c)).first;
                idx[size_t(y * w + x)] = GifByteType(it->second);
            }
        indexed.push_back(std::move(idx));
    }

    std::array<GifColorType, 256> map{};
    for (size_t i = 0; i < palette.size(); ++i)
        map[i] = {GifByteType(qRed(palette[i])), GifByteType(qGreen(palette[i])), GifByteType(qBlue(palette[i]))};
    map[Transparent] = {GifByteType(matte.red()), GifByteType(matte.green()), GifByteType(matte.blue())};

    QByteArray bytes;
    int err = 0;
    GifFileType* gif = EGifOpen(&bytes, WriteToArray, &err);
    if (!gif) return fail(QString("EGifOpen: %1").arg(GifErrorString(err)));
    ColorMapObject* cmap = GifMakeMapObject(256, map.data());
    bool ok = cmap && EGifPutScreenDesc(gif, w, h, 8, Transparent, cmap) == GIF_OK;
    EGifSetGifVersion(gif, true);
    // endless loop
    static const char app[] = "NETSCAPE2.0";
    GifByteType loop[3] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(gif, 11, app) == GIF_OK && EGifPutExtensionBlock(gif, 3, loop) == GIF_OK &&
         EGifPutExtensionTrailer(gif) == GIF_OK;
    for (size_t k = 0; ok && k < indexed.size(); ++k) {
        std::vector<GifByteType> cur = indexed[k];
        int x0 = 0, y0 = 0, x1 = w - 1, y1 = h - 1;
        if (k > 0) {
            const auto& prev = indexed[k - 1];
            x0 = w, y0 = h, x1 = -1, y1 = -1;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const size_t i = size_t(y * w + x);
                    if (cur[i] == prev[i]) {
                        cur[i] = Transparent;
                    } else {
                        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
                    }
                }
            if (x1 < 0) x0 = y0 = x1 = y1 = 0; // identical frame: one transparent pixel
        }
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSE_DO_NOT; // later frames draw over the earlier ones
        gcb.UserInputFlag = false;
        gcb.DelayTime = delayCs;
        gcb.TransparentColor = Transparent;
        GifByteType ext[4];
        const size_t n = EGifGCBToExtension(&gcb, ext);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext) == GIF_OK &&
             EGifPutImageDesc(gif, x0, y0, x1 - x0 + 1, y1 - y0 + 1, false, nullptr) == GIF_OK;
        for (int y = y0; ok && y <= y1; ++y) ok = EGifPutLine(gif, &cur[size_t(y * w + x0)], x1 - x0 + 1) == GIF_OK;
    }
    const int lastError = gif->Error;
    if (EGifCloseFile(gif, &err) != GIF_OK) ok = false;
    GifFreeMapObject(cmap);
    if (!ok) return fail(QString("giflib: %1").arg(GifErrorString(lastError ? lastError : err)));
    return bytes;
}

} // namespace kestrum::mkart
