#include <gtest/gtest.h>

#include "SkinTestUtil.h"
#include "skin/OrvImagePanel.h"

using namespace kestrum;
using namespace kestrum::test;

namespace {

QRect InkBox(const QImage& img, QRgb background) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) box |= QRect(x, y, 1, 1);
    return box;
}

QFont PanelFont() {
    QFont f;
    f.setPixelSize(12);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

} // namespace

TEST(ImagePanel, OpaqueCaptionIsCentredAsABlock) {
    SkinApp();
    QWidget form;
    TOrvImagePanel panel(&form);
    panel.setGeometry(0, 0, 200, 120);
    panel.setFont(PanelFont());
    panel.SetTransparent(false);
    panel.SetColor(clWhite);
    panel.SetCaption(u"Memory\nUsed: 1.00 GB\nFree: 2.00 GB"_qs);
    form.show();
    QImage s = panel.ComposeSurface();
    QRect ink = InkBox(s, qRgb(255, 255, 255));
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_NEAR(ink.center().x(), 100, 3);
    EXPECT_NEAR(ink.center().y(), 60, 4);
    EXPECT_GT(ink.height(), 2 * QFontMetrics(PanelFont()).height()); // three lines
    // a changed caption is laid out again
    panel.SetCaption(u"Memory\nUsed: 1.50 GB\nFree: 1.50 GB"_qs);
    QRect again = InkBox(panel.ComposeSurface(), qRgb(255, 255, 255));
    EXPECT_NEAR(again.center().y(), 60, 4);
}

TEST(ImagePanel, LongCaptionEndsWithAnEllipsisAfterAWholeWord) {
    SkinApp();
    QFont f = PanelFont();
    QFontMetrics fm(f);
    QSize box(120, fm.height() * 2 + 2);
    QStringList lines =
        TOrvImagePanel::LayoutCaption(u"alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu"_qs, f, box);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(u"\u2026"_qs)) << lines[1].toStdString();
    QString last = lines[1].chopped(1);
    QStringList words = u"alpha beta gamma delta epsilon zeta eta theta iota kappa lambda mu"_qs.split(u' ');
    for (const QString& w : last.split(u' ', Qt::SkipEmptyParts)) EXPECT_TRUE(words.contains(w)) << w.toStdString();
    EXPECT_LE(fm.horizontalAdvance(lines[1]), box.width());
    // a caption that fits is left whole
    EXPECT_EQ(TOrvImagePanel::LayoutCaption(u"short"_qs, f, box), QStringList{u"short"_qs});
}

TEST(ImagePanel, KeyColourPixelsShowTheParent) {
    SkinApp();
    QWidget form;
    form.resize(100, 100);
    form.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, Qt::yellow);
    form.setPalette(pal);
    TOrvImagePanel panel(&form);
    panel.setGeometry(10, 10, 40, 40);
    QImage pic(40, 40, QImage::Format_ARGB32);
    pic.fill(Qt::blue);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) pic.setPixel(x, y, qRgb(255, 0, 255));
    panel.SetPicture(TOrvPicture(pic, TPictureFormat::Png));
    form.show();
    QImage shot = form.grab().toImage();
    EXPECT_EQ(shot.pixel(12, 12), QColor(Qt::yellow).rgb()); // magenta left out
    EXPECT_EQ(shot.pixel(30, 30), QColor(Qt::blue).rgb());
    EXPECT_EQ(shot.pixel(5, 5), QColor(Qt::yellow).rgb());
}

TEST(ImagePanel, DisabledCaptionTurnsGrayPictureUnchanged) {
    SkinApp();
    QWidget form;
    TOrvImagePanel panel(&form);
    panel.setGeometry(0, 0, 100, 40);
    panel.setFont(PanelFont());
    panel.SetTransparent(false);
    panel.SetColor(clWhite);
    panel.SetFontColor(Qt::black);
    panel.SetPicture(Solid(10, 10, Qt::blue));
    panel.SetCaption(u"Text"_qs);
    form.show();
    QImage on = panel.ComposeSurface();
    panel.setEnabled(false);
    QImage off = panel.ComposeSurface();
    // the ink: the darkest text pixels while enabled, the gray-text colour while disabled
    const QColor gray = ToQColor(clGrayText);
    int darkOn = 0, darkOff = 0, grayOff = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 20; x < 100; ++x) {
            darkOn += qGray(on.pixel(x, y)) < 64;
            darkOff += qGray(off.pixel(x, y)) < 64;
            QColor c = off.pixelColor(x, y);
            grayOff += std::abs(c.red() - gray.red()) < 8 && std::abs(c.green() - gray.green()) < 8 && c != Qt::white;
        }
    EXPECT_GT(darkOn, 0);
    EXPECT_EQ(darkOff, 0);
    EXPECT_GT(grayOff, 0);
    EXPECT_EQ(off.pixel(5, 5), QColor(Qt::blue).rgb());
}

TEST(ImagePanel, PlacementStretchAndAutoSize) {
    SkinApp();
    QWidget form;
    TOrvImagePanel panel(&form);
    panel.setGeometry(0, 0, 60, 40);
    panel.SetTransparent(false);
    panel.SetColor(clWhite);
    panel.SetPicture(Solid(10, 10, Qt::blue));
    panel.SetPictureAlign(OrvAlign_BottomRight);
    QImage s = panel.ComposeSurface();
    EXPECT_EQ(s.pixel(50, 30), QColor(Qt::blue).rgb());
    EXPECT_EQ(s.pixel(49, 29), qRgb(255, 255, 255));
    panel.SetStretch(true); // the client size from the placement point on
    panel.SetPictureAlign(OrvAlign_TopLeft);
    s = panel.ComposeSurface();
    EXPECT_EQ(s.pixel(59, 39), QColor(Qt::blue).rgb());

    panel.SetAlign(alClient);
    panel.SetAutoSize(true);
    EXPECT_EQ(panel.size(), QSize(60, 40)); // client-aligned: left alone
    panel.SetAlign(alTop);
    EXPECT_EQ(panel.size(), QSize(60, 10)); // top-aligned: only the height follows
    panel.SetAlign(alNone);
    EXPECT_EQ(panel.size(), QSize(10, 10));
    // an empty picture removes the image
    panel.SetPicture(TOrvPicture());
    EXPECT_TRUE(panel.Picture().IsEmpty());
}
