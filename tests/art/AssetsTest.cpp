// The committed artwork: every file MANIFEST.md names exists, decodes and has its stated size; nothing
// else lies below assets/; the pictures keep the properties the skinned windows rely on.
#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QMovie>
#include <QRegularExpression>
#include <QSet>
#include <QSize>
#include <map>

#include "common/QtApp.h"
#include "skin/PictureDecoders.h"

namespace {

const QString Assets = QStringLiteral(KESTRUM_SOURCE_DIR "/assets/");

std::map<QString, QSize> ReadManifest() {
    std::map<QString, QSize> rows;
    QFile f(Assets + "MANIFEST.md");
    if (!f.open(QIODevice::ReadOnly)) return rows;
    static const QRegularExpression row(QStringLiteral("^\\|\\s*`([^`]+)`\\s*\\|\\s*(\\d+)\\s*[×x]\\s*(\\d+)\\s*\\|"));
    for (const QString& line : QString::fromUtf8(f.readAll()).split('\n')) {
        const auto m = row.match(line);
        if (m.hasMatch()) rows[m.captured(1)] = QSize(m.captured(2).toInt(), m.captured(3).toInt());
    }
    return rows;
}

QImage Load(const QString& rel) {
    return QImage(Assets + rel).convertToFormat(QImage::Format_ARGB32);
}

// "#aarrggbb", so a failing pixel check says which colour it found.
std::string Argb(const QColor& c) {
    return c.name(QColor::HexArgb).toStdString();
}

class AssetsTest : public ::testing::Test {
protected:
    void SetUp() override { kestrum::test::EnsureQtApp(); }
};

TEST_F(AssetsTest, ManifestNamesEveryPictureTheWindowsLoad) {
    const auto rows = ReadManifest();
    QStringList wanted = {"optimize/freenow.gif",
                          "optimize/progress_empty.png",
                          "optimize/progress_full.png",
                          "optimize/star_pending.png",
                          "optimize/star_done.png",
                          "common/separator.png",
                          "about/logo.png",
                          "main/banner.png",
                          "skin/caption/icon_main.png",
                          "skin/caption/icon_dialog.png",
                          "icons/kestrum.ico"};
    for (int i = 0; i <= 12; ++i) wanted << QString("tray/tray%1.png").arg(i, 2, 10, QChar('0'));
    for (const char* state : {"normal", "hover", "pressed", "disabled"}) {
        for (const char* b : {"min", "max", "close", "menu"}) wanted << QString("skin/caption/%1_%2.png").arg(b, state);
        for (const char* t : {"usage", "optimize", "upgrade", "logs"})
            wanted << QString("tabs/%1_%2.png").arg(t, state);
        wanted << QString("optimize/freenow_%1.png").arg(state) << QString("buttons/button_%1.png").arg(state);
    }
    for (const char* w : {"main", "dialog"})
        for (const char* piece : {"topleft", "top", "topright", "left", "right", "bottomleft", "bottom", "bottomright"})
            wanted << QString("skin/%1/frame_%2.png").arg(w, piece);
    for (const QString& w : wanted) EXPECT_TRUE(rows.count(w)) << w.toStdString() << " missing from MANIFEST.md";

    const std::map<QString, QSize> fixedSizes = {
        {"optimize/freenow.gif", {105, 105}},
        {"optimize/freenow_normal.png", {105, 105}},
        {"optimize/progress_empty.png", {500, 45}},
        {"optimize/progress_full.png", {500, 45}},
        {"optimize/star_done.png", {16, 16}},
        {"tabs/usage_normal.png", {77, 80}},
        {"skin/caption/menu_normal.png", {25, 24}},
        {"main/banner.png", {230, 75}},
        {"about/logo.png", {128, 128}},
        {"common/separator.png", {390, 12}},
        {"buttons/button_normal.png", {70, 23}},
        {"tray/tray07.png", {16, 16}},
    };
    for (const auto& [path, size] : fixedSizes) {
        if (!rows.count(path)) continue; // reported above
        EXPECT_EQ(rows.at(path), size) << path.toStdString();
    }
}

TEST_F(AssetsTest, EveryListedFileDecodesAtItsStatedSize) {
    const auto rows = ReadManifest();
    ASSERT_FALSE(rows.empty());
    for (const auto& [path, size] : rows) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_TRUE(QFile::exists(Assets + path));
        if (path.endsWith(".gif")) {
            QMovie movie(Assets + path);
            ASSERT_TRUE(movie.isValid());
            EXPECT_GT(movie.frameCount(), 1);
            EXPECT_EQ(movie.loopCount(), -1); // loops for as long as it is shown
            for (int i = 0; i < movie.frameCount(); ++i) {
                ASSERT_TRUE(movie.jumpToFrame(i));
                EXPECT_EQ(movie.currentImage().size(), size);
                EXPECT_GE(movie.nextFrameDelay(), 20);
            }
        } else if (path.endsWith(".ico")) {
            QImageReader reader(Assets + path);
            QSet<int> sizes;
            for (int i = 0; i < reader.imageCount() && reader.jumpToImage(i); ++i) sizes << reader.read().width();
            EXPECT_TRUE(sizes.contains(size.width()));
            EXPECT_TRUE(sizes.contains(16) && sizes.contains(32) && sizes.contains(48));
        } else {
            const QImage img(Assets + path);
            ASSERT_FALSE(img.isNull());
            EXPECT_EQ(img.size(), size);
        }
    }
}

TEST_F(AssetsTest, NothingButListedPicturesLiesBelowAssets) {
    const auto rows = ReadManifest();
    QDirIterator it(Assets, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = it.next().mid(Assets.size());
        if (rel == "MANIFEST.md") continue;
        EXPECT_TRUE(rows.count(rel)) << rel.toStdString() << " is not in MANIFEST.md";
    }
}

// Index k shows k - 1 of the ten inner rows filled from the bottom, in the colour band of its index.
TEST_F(AssetsTest, TrayGaugeRowsFollowTheTable) {
    const QColor white(255, 255, 255), lightBlue(87, 177, 254), teal(0, 158, 150), yellow(227, 216, 0), red(230, 0, 17);
    const struct {
        int index;
        int rows;
        QColor fill;
    } cases[] = {{1, 0, white},  {2, 1, lightBlue}, {3, 2, lightBlue}, {4, 3, teal}, {5, 4, teal}, {6, 5, teal},
                 {7, 6, yellow}, {8, 7, yellow},    {9, 8, red},       {10, 9, red}, {11, 10, red}};
    // box outline x 1..14, y 2..13; inner rows y 3..12
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        const QImage img = Load(QString("tray/tray%1.png").arg(c.index, 2, 10, QChar('0')));
        ASSERT_EQ(img.size(), QSize(16, 16));
        const QColor border = img.pixelColor(1, 2);
        EXPECT_TRUE(border.alpha() == 255 && border.red() == border.green() && border.green() == border.blue() &&
                    border.red() > 64 && border.red() < 200)
            << "border should be grey";
        for (int i = 1; i <= 14; ++i) {
            EXPECT_EQ(Argb(img.pixelColor(i, 2)), Argb(border));
            EXPECT_EQ(Argb(img.pixelColor(i, 13)), Argb(border));
        }
        for (int y = 3; y <= 12; ++y) {
            EXPECT_EQ(Argb(img.pixelColor(1, y)), Argb(border));
            EXPECT_EQ(Argb(img.pixelColor(14, y)), Argb(border));
            const bool filled = y > 12 - c.rows;
            for (int x = 2; x <= 13; ++x)
                ASSERT_EQ(Argb(img.pixelColor(x, y)), Argb(filled ? c.fill : white)) << x << "," << y;
        }
        EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0); // outside the box: see-through
    }
}

TEST_F(AssetsTest, TrayLogoAndBadge) {
    const QImage logo = Load("tray/tray00.png"), badge = Load("tray/tray12.png");
    ASSERT_EQ(logo.size(), QSize(16, 16));
    ASSERT_EQ(badge.size(), QSize(16, 16));
    // the badge changes the lower right only; the rest is the logo
    int changedElsewhere = 0, changedCorner = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            if (logo.pixel(x, y) == badge.pixel(x, y)) continue;
            (x >= 6 && y >= 6 ? changedCorner : changedElsewhere)++;
        }
    EXPECT_EQ(changedElsewhere, 0);
    EXPECT_GT(changedCorner, 20);
    EXPECT_NE(logo.pixel(8, 8), Load("tray/tray01.png").pixel(8, 8)); // the logo is not the empty gauge
}

// Frame pieces lose their alpha when assigned, so they must be opaque; the window's rounded corners are
// cut by the key colour; edge pieces must look the same tiled or stretched.
TEST_F(AssetsTest, FramePiecesAreOpaqueAndTileCleanly) {
    const QRgb key = qRgb(255, 0, 255);
    for (const char* w : {"main", "dialog"}) {
        auto piece = [&](const char* n) { return QImage(Assets + QString("skin/%1/frame_%2.png").arg(w, n)); };
        SCOPED_TRACE(w);
        const QImage tl = piece("topleft"), t = piece("top"), tr = piece("topright"), l = piece("left"),
                     r = piece("right"), bl = piece("bottomleft"), b = piece("bottom"), br = piece("bottomright");
        for (const QImage* img : {&tl, &t, &tr, &l, &r, &bl, &b, &br}) {
            ASSERT_FALSE(img->isNull());
            EXPECT_FALSE(img->hasAlphaChannel());
        }
        EXPECT_TRUE(tl.height() == t.height() && t.height() == tr.height());
        EXPECT_TRUE(bl.height() == b.height() && b.height() == br.height());
        EXPECT_LE(l.width(), tl.width());
        EXPECT_LE(r.width(), tr.width());
        // outer corner pixels are key colour, inner corner pixels are not
        EXPECT_EQ(tl.pixel(0, 0) & 0xFFFFFF, key & 0xFFFFFF);
        EXPECT_EQ(tr.pixel(tr.width() - 1, 0) & 0xFFFFFF, key & 0xFFFFFF);
        EXPECT_EQ(bl.pixel(0, bl.height() - 1) & 0xFFFFFF, key & 0xFFFFFF);
        EXPECT_EQ(br.pixel(br.width() - 1, br.height() - 1) & 0xFFFFFF, key & 0xFFFFFF);
        EXPECT_NE(tl.pixel(tl.width() - 1, tl.height() - 1) & 0xFFFFFF, key & 0xFFFFFF);
        for (const QImage* edge : {&t, &b})
            for (int y = 0; y < edge->height(); ++y)
                for (int x = 1; x < edge->width(); ++x) ASSERT_EQ(edge->pixel(x, y), edge->pixel(0, y));
        for (const QImage* edge : {&l, &r})
            for (int y = 1; y < edge->height(); ++y)
                for (int x = 0; x < edge->width(); ++x) ASSERT_EQ(edge->pixel(x, y), edge->pixel(x, 0));
        for (const QImage* edge : {&t, &b, &l, &r})
            for (int y = 0; y < edge->height(); ++y)
                for (int x = 0; x < edge->width(); ++x) ASSERT_NE(edge->pixel(x, y) & 0xFFFFFF, key & 0xFFFFFF);
        // the edge pieces continue the corners seamlessly
        for (int y = 0; y < t.height(); ++y) EXPECT_EQ(tl.pixel(tl.width() - 1, y), t.pixel(0, y));
        EXPECT_EQ(tl.pixel(0, tl.height() - 1), l.pixel(0, 0));
        EXPECT_EQ(bl.pixel(bl.width() - 1, 0), b.pixel(0, 0));
    }
}

// A state picture that equals another would leave the button without feedback for that state; buttons
// that float on the header or the white panels must be see-through at their corners.
TEST_F(AssetsTest, StatePicturesDifferAndButtonsAreSeeThrough) {
    QStringList families = {"skin/caption/min_", "skin/caption/max_", "skin/caption/close_", "skin/caption/menu_",
                            "tabs/usage_",       "tabs/optimize_",    "tabs/upgrade_",       "tabs/logs_",
                            "optimize/freenow_", "buttons/button_"};
    for (const QString& f : families) {
        SCOPED_TRACE(f.toStdString());
        QList<QImage> states;
        for (const char* s : {"normal", "hover", "pressed", "disabled"}) states << Load(f + s + ".png");
        for (int i = 0; i < states.size(); ++i)
            for (int j = i + 1; j < states.size(); ++j)
                EXPECT_FALSE(states[i] == states[j]) << "state " << i << " looks like state " << j;
        if (f.startsWith("buttons/")) continue; // the command buttons fill their rectangle on purpose
        for (const QImage& img : states) EXPECT_EQ(img.pixelColor(0, 0).alpha(), 0);
    }
}

// The windows decode the pictures with the toolkit's own decoders, not Qt's readers: both must see the same
// pixels, the GIF's difference frames included.
TEST_F(AssetsTest, ToolkitDecodersSeeWhatQtSees) {
    for (const auto& [path, size] : ReadManifest()) {
        SCOPED_TRACE(path.toStdString());
        QFile f(Assets + path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        if (path.endsWith(".png")) {
            const kestrum::TDecodeResult r = kestrum::DecodePng(bytes);
            ASSERT_TRUE(r.Ok()) << r.Error.toStdString();
            ASSERT_EQ(r.Frames.size(), 1u);
            EXPECT_TRUE(r.Frames[0].Image.convertToFormat(QImage::Format_ARGB32) == Load(path));
        } else if (path.endsWith(".gif")) {
            const kestrum::TDecodeResult r = kestrum::DecodeGif(bytes);
            ASSERT_TRUE(r.Ok()) << r.Error.toStdString();
            QMovie movie(Assets + path);
            ASSERT_EQ(int(r.Frames.size()), movie.frameCount());
            for (int i = 0; i < movie.frameCount(); ++i) {
                ASSERT_TRUE(movie.jumpToFrame(i));
                EXPECT_TRUE(r.Frames[size_t(i)].Image.convertToFormat(QImage::Format_ARGB32) ==
                            movie.currentImage().convertToFormat(QImage::Format_ARGB32))
                    << "frame " << i;
                EXPECT_GT(r.Frames[size_t(i)].DelayCs, 0);
            }
        }
    }
}

} // namespace
