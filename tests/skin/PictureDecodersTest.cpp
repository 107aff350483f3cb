#include <gtest/gtest.h>

#include <zlib.h>
#include <QFile>
#include <QRandomGenerator>

#include "SkinTestUtil.h"
#include "common/TestHome.h"
#include "skin/PictureDecoders.h"
#include "support/KSUtils.h"

using namespace kestrum;
using namespace kestrum::test;

namespace {

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TPictureFormat FormatOfData(const QByteArray& data) {
    return TOrvPicture::FormatFromCode(DetectPictureFormat(data));
}

// Damaged copies of one file: cut at several points, bytes flipped at seeded random places.
std::vector<QByteArray> DamagedCopies(const QByteArray& data, quint32 seed) {
    std::vector<QByteArray> out;
    for (double cut : {0.1, 0.5, 0.9}) out.push_back(data.left(int(data.size() * cut)));
    out.push_back(data.left(20));
    QRandomGenerator rng(seed);
    for (int round = 0; round < 12; ++round) {
        QByteArray copy = data;
        for (int i = 0; i < 1 + round; ++i) {
            int at = int(rng.bounded(quint32(copy.size())));
            if (at < 8 && copy.size() > 16) at += 8; // keep the signature so the decoder is really exercised
            copy[at] = char(copy[at] ^ char(1 + rng.bounded(255u)));
        }
        out.push_back(copy);
    }
    return out;
}

// Decoding damaged data must end cleanly: either pixels within the limits or an error and no frames.
void ExpectSafe(const QByteArray& data, TPictureFormat format, const QString& what) {
    TDecodeResult r = DecodePicture(data, format);
    if (r.Ok()) {
        for (const auto& f : r.Frames) {
            EXPECT_LE(f.Image.width(), 16384) << what.toStdString();
            EXPECT_LE(f.Image.height(), 16384) << what.toStdString();
        }
    } else {
        EXPECT_TRUE(r.Frames.empty()) << what.toStdString();
        EXPECT_FALSE(r.Error.isEmpty()) << what.toStdString();
    }
}

void PutBE32(QByteArray& d, int at, quint32 v) {
    for (int i = 0; i < 4; ++i) d[at + i] = char(v >> (24 - 8 * i));
}

} // namespace

TEST(PictureDecoders, PngKeepsAlphaAndColours) {
    SkinApp();
    QImage img(3, 2, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    img.setPixel(0, 0, qRgba(255, 0, 0, 255));
    img.setPixel(1, 0, qRgba(0, 0, 255, 128));
    img.setPixel(2, 1, qRgba(0, 255, 0, 255));
    TDecodeResult r = DecodePng(Encode(img, "PNG"));
    ASSERT_TRUE(r.Ok()) << r.Error.toStdString();
    const QImage& out = r.Frames[0].Image;
    ASSERT_EQ(out.size(), QSize(3, 2));
    EXPECT_EQ(out.pixel(0, 0), qRgba(255, 0, 0, 255));
    EXPECT_EQ(qAlpha(out.pixel(1, 0)), 128);
    EXPECT_EQ(qBlue(out.pixel(1, 0)), 255);
    EXPECT_EQ(qAlpha(out.pixel(0, 1)), 0);
    EXPECT_EQ(out.pixel(2, 1), qRgba(0, 255, 0, 255));

    // palette, gray and 16-bit sources all arrive as 8-bit ARGB
    for (auto fmt : {QImage::Format_Indexed8, QImage::Format_Grayscale8, QImage::Format_RGBA64}) {
        QImage src = QImage(4, 4, QImage::Format_RGB32);
        src.fill(qRgb(200, 200, 200));
        TDecodeResult c = DecodePng(Encode(src.convertToFormat(fmt), "PNG"));
        ASSERT_TRUE(c.Ok()) << int(fmt) << c.Error.toStdString();
        EXPECT_EQ(c.Frames[0].Image.pixel(2, 2), qRgb(200, 200, 200)) << int(fmt);
    }
}

TEST(PictureDecoders, GifFramesDelaysTransparencyAndDisposal) {
    std::vector<TGifFrameSpec> frames = {
        {Qt::red, 10, DISPOSE_DO_NOT, {}, true},
        {Qt::green, 0, DISPOSE_BACKGROUND, QRect(1, 1, 2, 2), false},
        {Qt::blue, 250, DISPOSE_DO_NOT, QRect(0, 0, 1, 1), false},
    };
    TDecodeResult r = DecodeGif(MakeGif(4, 4, frames));
    ASSERT_TRUE(r.Ok()) << r.Error.toStdString();
    ASSERT_EQ(r.Frames.size(), 3u);
    EXPECT_EQ(r.Frames[0].DelayCs, 10);
    EXPECT_EQ(r.Frames[1].DelayCs, 0);
    EXPECT_EQ(r.Frames[2].DelayCs, 250);
    // frame 1: red with a transparent hole at (0, 0)
    EXPECT_EQ(qAlpha(r.Frames[0].Image.pixel(0, 0)), 0);
    EXPECT_EQ(r.Frames[0].Image.pixel(3, 3), qRgb(255, 0, 0));
    // frame 2 draws green over red at (1..2, 1..2)
    EXPECT_EQ(r.Frames[1].Image.pixel(1, 1), qRgb(0, 255, 0));
    EXPECT_EQ(r.Frames[1].Image.pixel(3, 3), qRgb(255, 0, 0));
    // frame 2's area was restored to the background (transparent) before frame 3
    EXPECT_EQ(qAlpha(r.Frames[2].Image.pixel(1, 1)), 0);
    EXPECT_EQ(r.Frames[2].Image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(r.Frames[2].Image.pixel(3, 3), qRgb(255, 0, 0));
}

TEST(PictureDecoders, JpegBmpIcoThroughTheirDecoders) {
    SkinApp();
    QImage img(16, 8, QImage::Format_RGB32);
    img.fill(qRgb(30, 120, 220));
    struct {
        const char* QtFormat;
        TPictureFormat Format;
        int Tolerance;
    } cases[] = {{"JPEG", TPictureFormat::Jpeg, 6}, {"BMP", TPictureFormat::Bmp, 0}, {"ICO", TPictureFormat::Icon, 0}};
    for (const auto& c : cases) {
        QByteArray data = Encode(img, c.QtFormat);
        ASSERT_FALSE(data.isEmpty()) << c.QtFormat;
        EXPECT_EQ(FormatOfData(data), c.Format) << c.QtFormat;
        TDecodeResult r = DecodePicture(data, c.Format);
        ASSERT_TRUE(r.Ok()) << c.QtFormat << r.Error.toStdString();
        QRgb p = r.Frames[0].Image.pixel(5, 5);
        EXPECT_NEAR(qRed(p), 30, c.Tolerance) << c.QtFormat;
        EXPECT_NEAR(qBlue(p), 220, c.Tolerance) << c.QtFormat;
        EXPECT_EQ(r.Frames[0].Image.size(), QSize(16, 8));
    }
}

TEST(PictureDecoders, LoadingByExtensionAndByContent) {
    TTestHome home;
    QImage img(5, 5, QImage::Format_ARGB32);
    img.fill(Qt::red);
    QFile f(home.File(u"pic.png"_qs));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Encode(img, "PNG"));
    f.close();

    TOrvPicture p;
    EXPECT_TRUE(p.LoadFromFile(home.File(u"pic.png"_qs)));
    EXPECT_EQ(p.Format(), TPictureFormat::Png);
    EXPECT_EQ(p.Size(), QSize(5, 5));
    // saved in its own format and loaded back by content
    TOrvPicture q;
    EXPECT_TRUE(q.LoadFromData(p.SaveToBytes()));
    EXPECT_EQ(q.Format(), TPictureFormat::Png);

    // PNG bytes behind a ".gif" name: the name decides the decoder, which refuses them
    QFile::copy(home.File(u"pic.png"_qs), home.File(u"pic.gif"_qs));
    EXPECT_FALSE(p.LoadFromFile(home.File(u"pic.gif"_qs)));
    EXPECT_TRUE(p.IsEmpty());
    EXPECT_FALSE(p.LastError().isEmpty());

    // unknown extension, metafiles and unknown content are refused with a reason
    QFile::copy(home.File(u"pic.png"_qs), home.File(u"pic.tmp"_qs));
    EXPECT_FALSE(p.LoadFromFile(home.File(u"pic.tmp"_qs)));
    QFile wmf(home.File(u"pic.wmf"_qs));
    ASSERT_TRUE(wmf.open(QIODevice::WriteOnly));
    wmf.write(QByteArray("\x01\x00\x09\x00\x00\x03\x00\x00\x00\x00", 10));
    wmf.close();
    EXPECT_FALSE(p.LoadFromFile(home.File(u"pic.wmf"_qs)));
    EXPECT_TRUE(p.LastError().contains(u"metafile"_qs));
    EXPECT_FALSE(p.LoadFromData(QByteArray("hello world, not a picture")));
    EXPECT_TRUE(p.IsEmpty());
}

TEST(PictureDecoders, HugeDimensionFieldsAreRefusedBeforeAllocating) {
    SkinApp();
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(Qt::gray);

    // PNG: IHDR width/height patched, CRC fixed so the header itself is valid
    QByteArray png = Encode(img, "PNG");
    PutBE32(png, 16, 100000);
    PutBE32(png, 20, 100000);
    PutBE32(png, 29, quint32(crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 17)));
    TDecodeResult r = DecodePng(png);
    EXPECT_FALSE(r.Ok());
    EXPECT_TRUE(r.Frames.empty());

    // PNG within the side limit but past the pixel budget
    TDecodeLimits small;
    small.MaxPixels = 32;
    EXPECT_FALSE(DecodePng(Encode(img, "PNG"), small).Ok());

    // GIF: logical screen and frame 65535 x 65535
    QByteArray gif = MakeGif(4, 4, {{Qt::red, 10, 0, {}, false}});
    gif[6] = gif[7] = gif[8] = gif[9] = char(0xFF);
    EXPECT_FALSE(DecodeGif(gif).Ok());
    QByteArray gifFrame = MakeGif(4, 4, {{Qt::red, 10, 0, {}, false}});
    int desc = gifFrame.indexOf(',');
    ASSERT_GT(desc, 0);
    gifFrame[desc + 5] = gifFrame[desc + 6] = gifFrame[desc + 7] = gifFrame[desc + 8] = char(0xFF);
    EXPECT_FALSE(DecodeGif(gifFrame).Ok());

    // JPEG: the frame header's height and width
    QByteArray jpg = Encode(img, "JPEG");
    int sof = jpg.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    jpg[sof + 5] = jpg[sof + 6] = jpg[sof + 7] = jpg[sof + 8] = char(0xFF);
    EXPECT_FALSE(DecodeJpeg(jpg).Ok());

    // BMP: width and height fields of the info header
    QByteArray bmp = Encode(img, "BMP");
    for (int i = 18; i < 26; ++i) bmp[i] = char(0x7F);
    EXPECT_FALSE(DecodeWithQt(bmp, "bmp").Ok());
}

TEST(PictureDecoders, DamagedCopiesOfGeneratedPicturesFailCleanly) {
    SkinApp();
    QImage img(64, 48, QImage::Format_ARGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) img.setPixel(x, y, qRgba(x * 4, y * 5, (x ^ y) * 3, 255));
    struct {
        QByteArray Data;
        TPictureFormat Format;
    } sources[] = {
        {Encode(img, "PNG"), TPictureFormat::Png},
        {Encode(img, "JPEG"), TPictureFormat::Jpeg},
        {Encode(img, "BMP"), TPictureFormat::Bmp},
        {Encode(img.scaled(32, 32), "ICO"), TPictureFormat::Icon},
        {MakeGif(
             40, 30,
             {{Qt::red, 5, 0, {}, false}, {Qt::green, 5, 2, QRect(3, 3, 10, 10), false}, {Qt::blue, 5, 0, {}, false}}),
         TPictureFormat::Gif},
    };
    quint32 seed = 7;
    for (const auto& s : sources) {
        ASSERT_TRUE(DecodePicture(s.Data, s.Format).Ok());
        // truncated copies of the formats we decode ourselves are failures, not partial pictures
        if (s.Format == TPictureFormat::Png || s.Format == TPictureFormat::Gif || s.Format == TPictureFormat::Jpeg) {
            EXPECT_FALSE(DecodePicture(s.Data.left(s.Data.size() / 2), s.Format).Ok()) << int(s.Format);
        }
        for (const QByteArray& d : DamagedCopies(s.Data, seed++)) ExpectSafe(d, s.Format, u"generated"_qs);
    }
}

TEST(PictureDecoders, RealFilesOnThisMachineAndTheirDamagedCopies) {
    SkinApp();
    struct {
        const char* Pattern;
        TPictureFormat Format;
    } kinds[] = {{"*.png", TPictureFormat::Png},
                 {"*.gif", TPictureFormat::Gif},
                 {"*.jpg", TPictureFormat::Jpeg},
                 {"*.bmp", TPictureFormat::Bmp},
                 {"*.ico", TPictureFormat::Icon}};
    int decoded = 0;
    quint32 seed = 100;
    for (const auto& k : kinds) {
        for (const QString& path : SystemPictures(QString::fromLatin1(k.Pattern), 6)) {
            QByteArray data = ReadFile(path);
            if (data.isEmpty() || data.size() > 4 * 1024 * 1024) continue;
            if (FormatOfData(data) != k.Format) continue; // misnamed files are not what this test is about
            TOrvPicture p;
            EXPECT_TRUE(p.LoadFromFile(path)) << path.toStdString() << ": " << p.LastError().toStdString();
            if (!p.IsEmpty()) ++decoded;
            for (const QByteArray& d : DamagedCopies(data, seed++)) ExpectSafe(d, k.Format, path);
        }
    }
    if (decoded == 0) GTEST_SKIP() << "no pictures installed under /usr/share";
}

TEST(PictureDecoders, ProjectArtworkDecodes) {
    SkinApp();
    QDir assets(QStringLiteral(KESTRUM_SOURCE_DIR "/assets"));
    if (!assets.exists()) GTEST_SKIP() << "no assets folder";
    int count = 0;
    QDirIterator it(assets.path(), {u"*.png"_qs, u"*.gif"_qs, u"*.ico"_qs}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QString path = it.next();
        TOrvPicture p;
        EXPECT_TRUE(p.LoadFromFile(path)) << path.toStdString() << ": " << p.LastError().toStdString();
        ++count;
        if (path.endsWith(u"freenow.gif"_qs)) {
            EXPECT_GT(p.FrameCount(), 1);
            EXPECT_EQ(p.Size(), QSize(105, 105));
        }
    }
    if (count == 0) GTEST_SKIP() << "no artwork yet";
}
