#include <gtest/gtest.h>

#include <QScreen>

#include "SkinTestUtil.h"
#include "skin/OrvSkinManager.h"

using namespace kestrum;
using namespace kestrum::test;

namespace {

// A frame picture: `fill` inside, magenta on its outer corner pixel when asked.
TOrvPicture Piece(int w, int h, QColor fill, QPoint magentaAt = {-1, -1}) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(fill);
    if (magentaAt.x() >= 0) img.setPixel(magentaAt, qRgb(255, 0, 255));
    return TOrvPicture(img, TPictureFormat::Png);
}

struct TSkinFixture : TQtApp {
    QWidget Form;
    TOrvSkinManager* Skin;
    explicit TSkinFixture(bool frame = true) {
        SkinApp();
        Form.setGeometry(100, 100, 400, 300);
        Skin = new TOrvSkinManager(&Form);
        Skin->Icon().SetPicNormal(Solid(20, 20, Qt::yellow));
        for (TSkinButton* b : {&Skin->BtnMin(), &Skin->BtnMax(), &Skin->BtnClose()})
            b->SetPicNormal(Solid(25, 24, Qt::gray));
        Skin->Title().SetText(u"Kestrum"_qs);
        if (frame) {
            TSkinFrame& f = Skin->Frame();
            f.SetPicture(fpTopLeft, Piece(12, 30, Qt::darkBlue, {0, 0}));
            f.SetPicture(fpTop, Piece(8, 30, Qt::blue));
            f.SetPicture(fpTopRight, Piece(12, 30, Qt::darkBlue, {11, 0}));
            f.SetPicture(fpLeft, Piece(2, 8, Qt::blue));
            f.SetPicture(fpRight, Piece(2, 8, Qt::blue));
            f.SetPicture(fpBottomLeft, Piece(12, 8, Qt::darkBlue, {0, 7}));
            f.SetPicture(fpBottom, Piece(8, 8, Qt::blue));
            f.SetPicture(fpBottomRight, Piece(12, 8, Qt::darkBlue, {11, 7}));
        }
    }
    QWidget* Grip() { return Skin->ResizeGrip(); }
    void GripTo(QPoint globalTarget) {
        QWidget* g = Grip();
        Press(g, {3, 3});
        QPoint local = g->mapFromGlobal(globalTarget);
        SendMouse(g, QEvent::MouseMove, local, Qt::NoButton, Qt::LeftButton);
        SendMouse(g, QEvent::MouseButtonRelease, local, Qt::LeftButton, Qt::NoButton);
    }
};

} // namespace

TEST(SkinManager, DefaultLayoutWithOnlyTheCloseButton) {
    TSkinFixture f;
    f.Skin->BtnMin().SetVisible(false);
    f.Skin->BtnMax().SetVisible(false);
    f.Skin->ApplySkin();
    EXPECT_EQ(f.Skin->IconButton()->geometry(), QRect(2, 2, 20, 20));
    EXPECT_EQ(f.Skin->CaptionButton(TSkinButtonKind::Close)->geometry(), QRect(400 - 25 - 2, 2, 25, 24));
    QLabel* title = f.Skin->TitleLabel();
    EXPECT_EQ(title->x(), 24);
    EXPECT_EQ(title->y(), std::max(2, 2 + (20 - title->height()) / 2));
    EXPECT_EQ(title->x() + title->width(), 400 - 25 - 2 - 2);
    EXPECT_FALSE(f.Skin->CaptionButton(TSkinButtonKind::Minimize)->isVisibleTo(&f.Form));
    // the form gets the caption, a frameless window and the background colour
    EXPECT_EQ(f.Form.windowTitle(), u"Kestrum"_qs);
    EXPECT_TRUE(f.Form.windowFlags() & Qt::FramelessWindowHint);
}

TEST(SkinManager, DefaultRowOfThreeAndTitleWithoutButtons) {
    TSkinFixture f;
    f.Skin->ApplySkin();
    EXPECT_EQ(f.Skin->CaptionButton(TSkinButtonKind::Close)->x(), 373);
    EXPECT_EQ(f.Skin->CaptionButton(TSkinButtonKind::Maximize)->x(), 373 - 27);
    EXPECT_EQ(f.Skin->CaptionButton(TSkinButtonKind::Minimize)->x(), 373 - 54);
    // no visible caption button: the title reaches 2 pixels before the right edge
    for (TSkinButton* b : {&f.Skin->BtnMin(), &f.Skin->BtnMax(), &f.Skin->BtnClose()}) b->SetVisible(false);
    QLabel* title = f.Skin->TitleLabel();
    EXPECT_EQ(title->x() + title->width(), 400 - 2);
    // a tall title next to a small icon never starts above the icon
    TOrvFont big = f.Skin->Title().Font();
    big.Font.setPixelSize(40);
    f.Skin->Title().SetFont(big);
    f.Skin->LayoutCaption();
    EXPECT_EQ(title->y(), 2);
}

TEST(SkinManager, AnyPositionSetPlacesEveryButtonLiterally) {
    TSkinFixture f;
    f.Skin->BtnMin().SetPosX(100);
    f.Skin->ApplySkin();
    EXPECT_EQ(f.Skin->CaptionButton(TSkinButtonKind::Minimize)->pos(), QPoint(100, -1));
    EXPECT_EQ(f.Skin->CaptionButton(TSkinButtonKind::Maximize)->pos(), QPoint(-1, -1));
    EXPECT_EQ(f.Skin->CaptionButton(TSkinButtonKind::Close)->pos(), QPoint(-1, -1));
    // the icon at its own position; the title to its right
    f.Skin->Icon().SetPosX(8);
    f.Skin->Icon().SetPosY(5);
    EXPECT_EQ(f.Skin->IconButton()->pos(), QPoint(8, 5));
    EXPECT_EQ(f.Skin->TitleLabel()->x(), 30);
}

TEST(SkinManager, FixedStyleRefusesMaximizeAndGrip) {
    TSkinFixture f;
    f.Skin->SetFormStyle(fsFixed);
    f.Skin->ApplySkin();
    f.Form.show();
    TSpy maxed(f.Skin, &TOrvSkinManager::OnMaximized);
    SendMouse(f.Skin->TitleLabel(), QEvent::MouseButtonDblClick, {3, 3}, Qt::LeftButton, Qt::LeftButton);
    f.Skin->CaptionButton(TSkinButtonKind::Maximize)->Click();
    EXPECT_FALSE(f.Form.isMaximized());
    EXPECT_EQ(maxed.count(), 0);
    EXPECT_EQ(f.Grip()->cursor().shape(), Qt::ArrowCursor);
    QSize before = f.Form.size();
    f.GripTo(f.Form.geometry().topLeft() + QPoint(600, 500));
    EXPECT_EQ(f.Form.size(), before);
    f.Skin->SetFormStyle(fsSizeable);
    EXPECT_EQ(f.Grip()->cursor().shape(), Qt::SizeFDiagCursor);
}

TEST(SkinManager, GripResizesWithinTheLimits) {
    TSkinFixture f;
    f.Skin->Bounds().MinWidth = 800;
    f.Skin->Bounds().MinHeight = 600;
    f.Skin->ApplySkin();
    EXPECT_EQ(f.Form.size(), QSize(800, 600)); // grown to the minimum at once
    f.Form.show();
    f.Form.resize(900, 700);
    QPoint origin = f.Form.geometry().topLeft();
    // while dragging, the outline runs from the form's corner to the clamped pointer
    QWidget* g = f.Grip();
    Press(g, {3, 3});
    SendMouse(g, QEvent::MouseMove, g->mapFromGlobal(origin + QPoint(950, 720)), Qt::NoButton, Qt::LeftButton);
    ASSERT_TRUE(f.Skin->ResizeOutline());
    EXPECT_EQ(f.Skin->ResizeOutline()->geometry(), QRect(origin, origin + QPoint(950, 720)).normalized());
    SendMouse(g, QEvent::MouseButtonRelease, g->mapFromGlobal(origin + QPoint(950, 720)), Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(f.Skin->ResizeOutline()->isVisible());
    EXPECT_EQ(f.Form.size(), QSize(950, 720));
    // far to the upper left: the minimum wins
    f.GripTo(QPoint(0, 0));
    EXPECT_EQ(f.Form.size(), QSize(800, 600));
    // the grip follows the corner
    EXPECT_EQ(f.Grip()->geometry(), QRect(800 - 7, 600 - 7, 7, 7));

    TSkinBounds b{800, 600, 500, 0};
    EXPECT_EQ(TOrvSkinManager::ClampGripPoint({0, 0}, {10, 10}, b), QPoint(510, 610)); // max below min wins
    EXPECT_EQ(TOrvSkinManager::ClampGripPoint({2000, 2000}, {10, 10}, TSkinBounds{}), QPoint(2000, 2000));
}

TEST(SkinManager, MaximizeFillsTheWorkAreaAndDisablesTheGrip) {
    TSkinFixture f;
    f.Skin->ApplySkin();
    f.Form.show();
    TSpy maxed(f.Skin, &TOrvSkinManager::OnMaximized), restored(f.Skin, &TOrvSkinManager::OnRestored);
    SendMouse(f.Skin->TitleLabel(), QEvent::MouseButtonDblClick, {3, 3}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(f.Form.isMaximized());
    EXPECT_TRUE(WaitFor([&] { return f.Form.geometry() == f.Form.screen()->availableGeometry(); }, 2000));
    EXPECT_FALSE(f.Grip()->isEnabled());
    EXPECT_EQ(maxed.count(), 1);
    f.Skin->CaptionButton(TSkinButtonKind::Maximize)->Click();
    EXPECT_FALSE(f.Form.isMaximized());
    EXPECT_TRUE(f.Grip()->isEnabled());
    EXPECT_EQ(restored.count(), 1);
    // a state change from outside (the window manager) is reported too
    f.Form.setWindowState(Qt::WindowMaximized);
    EXPECT_EQ(maxed.count(), 2);
    TSpy mins(f.Skin, &TOrvSkinManager::OnMinimized);
    f.Skin->CaptionButton(TSkinButtonKind::Minimize)->Click();
    EXPECT_EQ(mins.count(), 1);
}

TEST(SkinManager, CaptionChangesReachTheTitle) {
    TSkinFixture f;
    f.Skin->ApplySkin();
    f.Form.setWindowTitle(u"Another caption"_qs);
    EXPECT_EQ(f.Skin->Title().Text(), u"Another caption"_qs);
    EXPECT_EQ(f.Skin->TitleLabel()->text(), u"Another caption"_qs);
    f.Skin->Title().SetText(u"Back"_qs);
    EXPECT_EQ(f.Form.windowTitle(), u"Back"_qs);
}

TEST(SkinManager, IconPressRaisesTheEventOrMovesTheWindow) {
    TSkinFixture f;
    f.Skin->ApplySkin();
    f.Form.show();
    QWidget* icon = f.Skin->IconButton();
    QPoint start = f.Form.pos();
    Press(icon, {5, 5});
    Move(icon, {25, 15});
    Release(icon, {25, 15});
    EXPECT_EQ(f.Form.pos(), start + QPoint(20, 10));

    start = f.Form.pos();
    TSpy clicks(f.Skin, &TOrvSkinManager::OnIconClick);
    QObject::connect(f.Skin, &TOrvSkinManager::OnIconClick, [] {});
    Press(icon, {5, 5}, Qt::RightButton); // any mouse button
    Move(icon, {25, 15}, Qt::RightButton);
    Release(icon, {25, 15}, Qt::RightButton);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(f.Form.pos(), start);

    // the top frame piece moves the window too; the bottom one does not
    Press(f.Skin->FramePiece(fpTop), {5, 5});
    Move(f.Skin->FramePiece(fpTop), {15, 5});
    Release(f.Skin->FramePiece(fpTop), {15, 5});
    EXPECT_EQ(f.Form.pos(), start + QPoint(10, 0));
    Press(f.Skin->FramePiece(fpBottom), {5, 5});
    Move(f.Skin->FramePiece(fpBottom), {15, 5});
    EXPECT_EQ(f.Form.pos(), start + QPoint(10, 0));
}

TEST(SkinManager, FramePiecesTilesAndAnchors) {
    TSkinFixture f;
    QImage top(8, 30, QImage::Format_ARGB32);
    top.fill(Qt::blue);
    for (int y = 0; y < 30; ++y) top.setPixel(0, y, qRgb(255, 0, 0));
    top.setPixel(3, 3, qRgba(0, 0, 255, 0)); // alpha is dropped: the frame is drawn opaque
    f.Skin->Frame().SetPicture(fpTop, TOrvPicture(top, TPictureFormat::Png));
    EXPECT_EQ(qAlpha(f.Skin->Frame().PicTop().Image().pixel(3, 3)), 255);
    f.Skin->ApplySkin();
    f.Form.show(); // a hidden widget gets its resize events only when shown
    TOrvImage* t = f.Skin->FramePiece(fpTop);
    EXPECT_EQ(t->geometry(), QRect(12, 0, 400 - 24, 30));
    EXPECT_EQ(f.Skin->FramePiece(fpLeft)->geometry(), QRect(0, 30, 2, 300 - 30 - 8));
    EXPECT_EQ(f.Skin->FramePiece(fpBottomRight)->geometry(), QRect(388, 292, 12, 8));
    QImage shown = t->grab().toImage();
    for (int x = 0; x < t->width(); ++x) EXPECT_EQ(shown.pixel(x, 29) == qRgb(255, 0, 0), x % 8 == 0) << x;

    f.Form.resize(500, 350);
    EXPECT_EQ(t->geometry(), QRect(12, 0, 500 - 24, 30));
    EXPECT_EQ(f.Skin->FramePiece(fpBottomRight)->geometry(), QRect(488, 342, 12, 8));
    EXPECT_EQ(f.Skin->FramePiece(fpRight)->geometry(), QRect(498, 30, 2, 350 - 30 - 8));
    EXPECT_EQ(f.Skin->CaptionButton(TSkinButtonKind::Close)->x(), 473);
    EXPECT_EQ(t->Picture().Width(), 476); // tiled again for the new width
    EXPECT_EQ(f.Skin->ResizeGrip()->geometry(), QRect(493, 343, 7, 7));
}

TEST(SkinManager, KeyColourShapesTheCorners) {
    TSkinFixture f;
    f.Skin->ApplySkin();
    EXPECT_TRUE(f.Skin->WindowRegion().isEmpty()); // the whole window
    f.Skin->SetTransColor(true);
    QRegion r = f.Skin->WindowRegion();
    for (QPoint corner : {QPoint(0, 0), QPoint(399, 0), QPoint(0, 299), QPoint(399, 299)})
        EXPECT_FALSE(r.contains(corner)) << corner.x() << "," << corner.y();
    for (QPoint inside : {QPoint(1, 0), QPoint(200, 150), QPoint(2, 30), QPoint(397, 291), QPoint(200, 299)})
        EXPECT_TRUE(r.contains(inside)) << inside.x() << "," << inside.y();
    EXPECT_EQ(f.Form.mask(), r);
    // a resize reshapes
    f.Form.show();
    f.Form.resize(300, 200);
    EXPECT_FALSE(f.Skin->WindowRegion().contains(QPoint(299, 199)));
    EXPECT_TRUE(f.Skin->WindowRegion().contains(QPoint(298, 199)));
    f.Skin->SetTransColor(false);
    EXPECT_TRUE(f.Form.mask().isEmpty());
}
