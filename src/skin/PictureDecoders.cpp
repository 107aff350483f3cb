#include "skin/PictureDecoders.h"

#include <QBuffer>
#include <QImageReader>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <jerror.h>

// The decoders unwind from library errors with longjmp. Each setjmp lives in a small function whose locals
// are all plain data, so no destructor can be skipped; images are created outside those functions.

namespace kestrum {

namespace {

TDecodeResult Failure(const QString& text) {
    TDecodeResult r;
    r.Error = text;
    return r;
}

QString CheckSize(qint64 w, qint64 h, const TDecodeLimits& limits, qint64 frames = 1) {
    if (w <= 0 || h <= 0) return QStringLiteral("picture has no pixels (%1 x %2)").arg(w).arg(h);
    if (w > limits.MaxSide || h > limits.MaxSide)
        return QStringLiteral("picture too large (%1 x %2, at most %3 per side)").arg(w).arg(h).arg(limits.MaxSide);
    if (w * h * frames > limits.MaxPixels)
        return QStringLiteral("picture too large (%1 pixels, at most %2)").arg(w * h * frames).arg(limits.MaxPixels);
    return {};
}

// ---------------------------------------------------------------------------------------------------- PNG

struct TPngSource {
    const unsigned char* Data;
    size_t Size;
    size_t Pos;
    char Message[256];
};

void PngRead(png_structp png, png_bytep out, size_t count) {
    auto* src = static_cast<TPngSource*>(png_get_io_ptr(png));
    if (count > src->Size - src->Pos) png_error(png, "file is truncated");
    memcpy(out, src->Data + src->Pos, count);
    src->Pos += count;
}

void PngError(png_structp png, png_const_charp message) {
    auto* src = static_cast<TPngSource*>(png_get_error_ptr(png));
    snprintf(src->Message, sizeof src->Message, "%s", message ? message : "unknown error");
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Reads the header and sets the transforms that give 8-bit B, G, R, A bytes per pixel.
bool PngReadHeader(png_structp png, png_infop info, png_uint_32* w, png_uint_32* h) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    int depth = 0, colorType = 0;
    png_get_IHDR(png, info, w, h, &depth, &colorType, nullptr, nullptr, nullptr);
    png_set_expand(png);
    if (depth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    bool alpha = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return png_get_rowbytes(png, info) == size_t(*w) * 4;
}

bool PngReadRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    return true;
}

// ---------------------------------------------------------------------------------------------------- JPEG

struct TJpegError {
    jpeg_error_mgr Mgr;
    jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TJpegError*>(cinfo->err);
    err->Mgr.format_message(cinfo, err->Message);
    longjmp(err->Jump, 1);
}

void JpegMessage(j_common_ptr cinfo, int level) {
    // A file that ends early is a failure here, not a gray-filled picture.
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) JpegErrorExit(cinfo);
}

bool JpegReadHeader(jpeg_decompress_struct* cinfo, TJpegError* err) {
    if (setjmp(err->Jump)) return false;
    jpeg_read_header(cinfo, TRUE);
    bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
    cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    return true;
}

bool JpegReadRows(jpeg_decompress_struct* cinfo, TJpegError* err, unsigned char* row, unsigned char* bits,
                  size_t stride, JDIMENSION width, JDIMENSION height) {
    if (setjmp(err->Jump)) return false;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_width != width || cinfo->output_height != height) return false;
    int comps = cinfo->output_components;
    while (cinfo->output_scanline < cinfo->output_height) {
        JDIMENSION y = cinfo->output_scanline;
        JSAMPROW rows[1] = {row};
        if (jpeg_read_scanlines(cinfo, rows, 1) != 1) return false;
        auto* out = reinterpret_cast<uint32_t*>(bits + stride * y);
        for (JDIMENSION x = 0; x < width; ++x) {
            const unsigned char* p = row + size_t(x) * comps;
            unsigned r, g, b;
            if (comps == 4) { // Adobe writes CMYK inverted
                unsigned k = p[3];
                r = p[0] * k / 255, g = p[1] * k / 255, b = p[2] * k / 255;
            } else if (comps == 3) {
                r = p[0], g = p[1], b = p[2];
            } else {
                r = g = b = p[0];
            }
            out[x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// ---------------------------------------------------------------------------------------------------- GIF

struct TGifSource {
    const unsigned char* Data;
    size_t Size;
    size_t Pos;
};

int GifRead(GifFileType* gif, GifByteType* out, int count) {
    auto* src = static_cast<TGifSource*>(gif->UserData);
    if (count < 0) return 0;
    size_t n = std::min(size_t(count), src->Size - src->Pos);
    memcpy(out, src->Data + src->Pos, n);
    src->Pos += n;
    return int(n);
}

QString GifError(GifFileType* gif, const char* what) {
    const char* text = GifErrorString(gif ? gif->Error : 0);
    return QStringLiteral("GIF %1: %2").arg(QString::fromLatin1(what), QString::fromLatin1(text ? text : "error"));
}

} // namespace

TDecodeResult DecodePng(const QByteArray& data, const TDecodeLimits& limits) {
    if (data.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(data.constData()), 0, 8) != 0)
        return Failure(QStringLiteral("not a PNG file"));
    TPngSource src{reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()), 8, {0}};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &src, PngError, PngWarning);
    if (!png) return Failure(QStringLiteral("PNG decoder unavailable"));
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return Failure(QStringLiteral("PNG decoder unavailable"));
    }
    png_set_read_fn(png, &src, PngRead);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, png_uint_32(limits.MaxSide), png_uint_32(limits.MaxSide));
    png_set_chunk_malloc_max(png, 8 * 1024 * 1024);

    TDecodeResult result;
    png_uint_32 w = 0, h = 0;
    if (!PngReadHeader(png, info, &w, &h)) {
        result.Error = QStringLiteral("PNG: %1").arg(QString::fromLatin1(src.Message[0] ? src.Message : "bad header"));
    } else if (QString why = CheckSize(w, h, limits); !why.isEmpty()) {
        result.Error = QStringLiteral("PNG: ") + why;
    } else {
        QImage image(int(w), int(h), QImage::Format_ARGB32);
        if (image.isNull()) {
            result.Error = QStringLiteral("PNG: out of memory");
        } else {
            std::vector<png_bytep> rows(h);
            for (png_uint_32 y = 0; y < h; ++y) rows[y] = image.scanLine(int(y));
            if (PngReadRows(png, rows.data()))
                result.Frames.push_back({image, 0});
            else
                result.Error = QStringLiteral("PNG: %1").arg(QString::fromLatin1(src.Message));
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
}

TDecodeResult DecodeJpeg(const QByteArray& data, const TDecodeLimits& limits) {
    if (data.size() < 4) return Failure(QStringLiteral("not a JPEG file"));
    jpeg_decompress_struct cinfo;
    TJpegError err;
    memset(&err, 0, sizeof err);
    cinfo.err = jpeg_std_error(&err.Mgr);
    err.Mgr.error_exit = JpegErrorExit;
    err.Mgr.emit_message = JpegMessage;
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = long(limits.MaxPixels) * 4;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()), (unsigned long)data.size());

    TDecodeResult result;
    if (!JpegReadHeader(&cinfo, &err)) {
        result.Error = QStringLiteral("JPEG: %1").arg(QString::fromLatin1(err.Message));
    } else if (QString why = CheckSize(cinfo.image_width, cinfo.image_height, limits); !why.isEmpty()) {
        result.Error = QStringLiteral("JPEG: ") + why;
    } else {
        JDIMENSION w = cinfo.image_width, h = cinfo.image_height;
        QImage image(int(w), int(h), QImage::Format_ARGB32);
        std::vector<unsigned char> row(size_t(w) * 4);
        if (image.isNull())
            result.Error = QStringLiteral("JPEG: out of memory");
        else if (JpegReadRows(&cinfo, &err, row.data(), image.bits(), size_t(image.bytesPerLine()), w, h))
            result.Frames.push_back({image, 0});
        else
            result.Error = QStringLiteral("JPEG: %1")
                               .arg(err.Message[0] ? QString::fromLatin1(err.Message) : QStringLiteral("damaged data"));
    }
    jpeg_destroy_decompress(&cinfo);
    return result;
}

TDecodeResult DecodeGif(const QByteArray& data, const TDecodeLimits& limits) {
    TGifSource src{reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()), 0};
    int code = 0;
    GifFileType* gif = DGifOpen(&src, GifRead, &code);
    if (!gif) {
        const char* text = GifErrorString(code);
        return Failure(QStringLiteral("GIF: %1").arg(QString::fromLatin1(text ? text : "not a GIF file")));
    }
    TDecodeResult result;
    auto fail = [&](const QString& why) {
        result.Frames.clear();
        result.Error = why;
    };
    int cw = gif->SWidth, ch = gif->SHeight;
    if (QString why = CheckSize(cw, ch, limits); !why.isEmpty()) {
        fail(QStringLiteral("GIF: ") + why);
        DGifCloseFile(gif, &code);
        return result;
    }
    QImage canvas(cw, ch, QImage::Format_ARGB32);
    canvas.fill(0);
    std::vector<GifPixelType> line;
    GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
    bool done = false;
    while (!done && result.Error.isEmpty()) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            fail(GifError(gif, "damaged record"));
            break;
        }
        switch (type) {
            case EXTENSION_RECORD_TYPE: {
                int extCode = 0;
                GifByteType* ext = nullptr;
                if (DGifGetExtension(gif, &extCode, &ext) == GIF_ERROR) {
                    fail(GifError(gif, "damaged extension"));
                    break;
                }
                if (extCode == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4) DGifExtensionToGCB(ext[0], ext + 1, &gcb);
                while (ext) {
                    if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) {
                        fail(GifError(gif, "damaged extension"));
                        break;
                    }
                }
                break;
            }
            case IMAGE_DESC_RECORD_TYPE: {
                if (DGifGetImageDesc(gif) == GIF_ERROR) {
                    fail(GifError(gif, "damaged image"));
                    break;
                }
                const GifImageDesc& d = gif->Image;
                if (QString why = CheckSize(d.Width, d.Height, limits); !why.isEmpty()) {
                    fail(QStringLiteral("GIF frame: ") + why);
                    break;
                }
                if (qint64(result.Frames.size() + 1) * cw * ch > limits.MaxPixels) {
                    fail(QStringLiteral("GIF: animation too large (more than %1 pixels)").arg(limits.MaxPixels));
                    break;
                }
                ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
                if (!map) {
                    fail(QStringLiteral("GIF: frame without a colour table"));
                    break;
                }
                line.assign(size_t(d.Width), 0);
                std::vector<std::vector<GifPixelType>> rows(size_t(d.Height));
                static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
                bool ok = true;
                if (d.Interlace) {
                    for (int pass = 0; pass < 4 && ok; ++pass)
                        for (int y = start[pass]; y < d.Height && ok; y += step[pass]) {
                            ok = DGifGetLine(gif, line.data(), d.Width) != GIF_ERROR;
                            rows[size_t(y)] = line;
                        }
                } else {
                    for (int y = 0; y < d.Height && ok; ++y) {
                        ok = DGifGetLine(gif, line.data(), d.Width) != GIF_ERROR;
                        rows[size_t(y)] = line;
                    }
                }
                if (!ok) {
                    fail(GifError(gif, "damaged pixels"));
                    break;
                }
                QImage previous = gcb.DisposalMode == DISPOSE_PREVIOUS ? canvas.copy() : QImage();
                for (int y = 0; y < d.Height; ++y) {
                    int cy = d.Top + y;
                    if (cy < 0 || cy >= ch) continue;
                    auto* out = reinterpret_cast<uint32_t*>(canvas.scanLine(cy));
                    for (int x = 0; x < d.Width; ++x) {
                        int cx = d.Left + x;
                        if (cx < 0 || cx >= cw) continue;
                        int index = rows[size_t(y)][size_t(x)];
                        if (index == gcb.TransparentColor) continue;
                        if (index >= map->ColorCount) { // a palette too short for its pixels
                            out[cx] = 0;
                            continue;
                        }
                        const GifColorType& c = map->Colors[index];
                        out[cx] = 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
                    }
                }
                result.Frames.push_back({canvas.copy(), gcb.DelayTime});
                QRect area = QRect(d.Left, d.Top, d.Width, d.Height).intersected(canvas.rect());
                if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
                    for (int y = area.top(); y <= area.bottom(); ++y) {
                        auto* out = reinterpret_cast<uint32_t*>(canvas.scanLine(y));
                        std::fill(out + area.left(), out + area.left() + area.width(), 0u);
                    }
                } else if (gcb.DisposalMode == DISPOSE_PREVIOUS && !previous.isNull()) {
                    canvas = previous;
                }
                gcb = GraphicsControlBlock{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
                break;
            }
            case TERMINATE_RECORD_TYPE:
                done = true;
                break;
            default:
                break;
        }
    }
    DGifCloseFile(gif, &code);
    if (result.Error.isEmpty() && result.Frames.empty()) result.Error = QStringLiteral("GIF: no frames");
    return result;
}

TDecodeResult DecodeWithQt(const QByteArray& data, const char* qtFormat, const TDecodeLimits& limits) {
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, qtFormat);
    reader.setAutoTransform(false);
    reader.setAllocationLimit(int(std::min<qint64>(limits.MaxPixels * 4 / (1024 * 1024), INT_MAX)));
    QString kind = QString::fromLatin1(qtFormat).toUpper();
    if (!reader.canRead()) return Failure(QStringLiteral("%1: not a %1 file").arg(kind));
    QSize size = reader.size();
    if (size.isValid())
        if (QString why = CheckSize(size.width(), size.height(), limits); !why.isEmpty())
            return Failure(kind + QStringLiteral(": ") + why);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return Failure(QStringLiteral("%1: %2").arg(kind, reader.errorString()));
    if (QString why = CheckSize(image.width(), image.height(), limits); !why.isEmpty())
        return Failure(kind + QStringLiteral(": ") + why);
    TDecodeResult r;
    r.Frames.push_back({image.convertToFormat(QImage::Format_ARGB32), 0});
    return r;
}

TDecodeResult DecodePicture(const QByteArray& data, TPictureFormat format, const TDecodeLimits& limits) {
    switch (format) {
        case TPictureFormat::Png:
            return DecodePng(data, limits);
        case TPictureFormat::Gif:
            return DecodeGif(data, limits);
        case TPictureFormat::Jpeg:
            return DecodeJpeg(data, limits);
        case TPictureFormat::Bmp:
            return DecodeWithQt(data, "bmp", limits);
        case TPictureFormat::Icon:
            return DecodeWithQt(data, "ico", limits);
        case TPictureFormat::Cursor:
            return DecodeWithQt(data, "cur", limits);
        case TPictureFormat::Metafile:
        case TPictureFormat::EnhMetafile:
            return Failure(QStringLiteral("metafile pictures are not supported"));
        case TPictureFormat::None:
            break;
    }
    return Failure(QStringLiteral("unknown picture format"));
}

} // namespace kestrum
