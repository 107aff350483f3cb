#include <gtest/gtest.h>

#include <QPainter>

#include "SkinTestUtil.h"
#include "skin/OrvAlign.h"
#include "skin/OrvGraphics.h"
#include "skin/OrvImage.h"

using namespace kestrum;
using namespace kestrum::test;

TEST(Graphics, ColorToArgbTakesRedFromTheLowByte) {
    EXPECT_EQ(ColorToArgb(RGBColor(255, 128, 0), 255), 0xFFFF8000u);
    EXPECT_EQ(ColorToArgb(clFuchsia, 0x40), 0x40FF00FFu);
    EXPECT_EQ(ColorToArgb(RGBColor(1, 2, 3), 0), 0x00010203u);
}

TEST(Graphics, RegionFromBitmapCutsRunsOfTheKeyColour) {
    QImage row(4, 1, QImage::Format_RGB32);
    const QRgb key = qRgb(255, 0, 255), other = qRgb(1, 2, 3);
    row.setPixel(0, 0, key);
    row.setPixel(1, 0, other);
    row.setPixel(2, 0, key);
    row.setPixel(3, 0, key); // a run reaching the end of the row
    auto r = RegionFromBitmap(row, clFuchsia, 0, 0);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(*r, QRegion(1, 0, 1, 1));

    // the offset moves the region; a system colour never matches
    auto moved = RegionFromBitmap(row, clFuchsia, 10, 20);
    EXPECT_EQ(*moved, QRegion(11, 20, 1, 1));
    EXPECT_EQ(*RegionFromBitmap(row, clBtnFace, 0, 0), QRegion(0, 0, 4, 1));
    EXPECT_FALSE(RegionFromBitmap(QImage(), clFuchsia).has_value());
}

TEST(Graphics, TilePictureCoversTheControlWithWholeTiles) {
    SkinApp();
    QImage tile(30, 10, QImage::Format_ARGB32);
    tile.fill(Qt::blue);
    for (int y = 0; y < 10; ++y) tile.setPixel(0, y, qRgb(255, 0, 0)); // a red first column marks each tile
    TOrvPicture pic(tile, TPictureFormat::Png);
    for (auto [width, tiles] : {std::pair{100, 4}, std::pair{90, 3}}) {
        TOrvImage control;
        control.resize(width, 10);
        TilePicture(&control, &pic);
        QImage out = control.Picture().Image();
        ASSERT_EQ(out.width(), width);
        int reds = 0;
        for (int x = 0; x < width; ++x) reds += out.pixel(x, 5) == qRgb(255, 0, 0);
        EXPECT_EQ(reds, tiles) << width;
        EXPECT_EQ(out.pixel(width - 1, 9), qRgb(0, 0, 255)) << "the last tile is cut, not left empty";
    }
}

TEST(Graphics, PictureToGdiBitmap) {
    SkinApp();
    EXPECT_TRUE(PictureToGdiBitmap(nullptr).isNull());
    TOrvPicture empty;
    EXPECT_TRUE(PictureToGdiBitmap(&empty).isNull());

    QImage img(7, 3, QImage::Format_ARGB32);
    img.fill(qRgba(0, 0, 255, 100));
    TOrvPicture png;
    ASSERT_TRUE(png.LoadFromData(Encode(img, "PNG")));
    QImage out = PictureToGdiBitmap(&png);
    EXPECT_EQ(out.size(), QSize(7, 3));
    EXPECT_EQ(qAlpha(out.pixel(3, 1)), 100);
}

TEST(Graphics, PaintParentBackgroundLinesUpTheParentAndLowerSiblings) {
    SkinApp();
    QWidget parent;
    parent.resize(100, 100);
    parent.setAutoFillBackground(true);
    QPalette pal;
    pal.setColor(QPalette::Window, Qt::white);
    parent.setPalette(pal);
    // a sibling below the control paints a red square whose corner is at (10, 20)
    TOrvImage below(&parent);
    below.setGeometry(10, 20, 5, 5);
    below.SetPicture(Solid(5, 5, Qt::red));
    QWidget control(&parent);
    control.setGeometry(10, 20, 30, 30);
    // a sibling above the control is not behind it
    TOrvImage above(&parent);
    above.setGeometry(10, 20, 30, 30);
    above.SetPicture(Solid(30, 30, Qt::green));
    parent.show();

    QImage canvas(30, 30, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::black);
    {
        QPainter p(&canvas);
        PaintParentBackground(p, &control);
    }
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(255, 0, 0)); // the parent's (10, 20)
    EXPECT_EQ(canvas.pixel(4, 4), qRgb(255, 0, 0));
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(29, 29), qRgb(255, 255, 255));

    // without a parent nothing is drawn
    QWidget orphan;
    canvas.fill(Qt::black);
    QPainter p(&canvas);
    PaintParentBackground(p, &orphan);
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(0, 0, 0));
}

TEST(Align, PlacementTable) {
    const QSize box(100, 50), item(20, 10);
    const QPoint custom(7, 9);
    struct {
        TOrvAlign Align;
        QPoint At;
    } rows[] = {
        {OrvAlign_TopLeft, {0, 0}},     {OrvAlign_TopCenter, {40, 0}},     {OrvAlign_TopRight, {80, 0}},
        {OrvAlign_MiddleLeft, {0, 20}}, {OrvAlign_MiddleCenter, {40, 20}}, {OrvAlign_MiddleRight, {80, 20}},
        {OrvAlign_BottomLeft, {0, 40}}, {OrvAlign_BottomCenter, {40, 40}}, {OrvAlign_BottomRight, {80, 40}},
        {OrvAlign_CustomTop, {7, 0}},   {OrvAlign_CustomMiddle, {7, 20}},  {OrvAlign_CustomBottom, {7, 40}},
        {OrvAlign_CustomLeft, {0, 9}},  {OrvAlign_CustomCenter, {40, 9}},  {OrvAlign_CustomRight, {80, 9}},
        {OrvAlign_Custom, {7, 9}},
    };
    for (const auto& r : rows) EXPECT_EQ(AlignItem(r.Align, box, item, custom), r.At) << int(r.Align);
    // an item larger than the box: the halves truncate toward zero
    EXPECT_EQ(AlignItem(OrvAlign_MiddleCenter, QSize(10, 10), QSize(13, 13), {}), QPoint(-1, -1));
    // the panel's custom placements use the outer size: one pixel further right with a 1-pixel border
    QPoint top = AlignPanelItem(OrvAlign_TopCenter, QSize(98, 48), QSize(100, 50), item, {});
    QPoint custom2 = AlignPanelItem(OrvAlign_CustomCenter, QSize(98, 48), QSize(100, 50), item, {0, 0});
    EXPECT_EQ(custom2.x(), top.x() + 1);
}
