#include <gtest/gtest.h>

#include <QDialog>
#include <QKeyEvent>

#include "SkinTestUtil.h"
#include "skin/OrvImageButton.h"

using namespace kestrum;
using namespace kestrum::test;

namespace {

struct TButtonFixture : TQtApp {
    QWidget Form;
    TOrvImageButton* Button;
    TButtonFixture() {
        SkinApp();
        Form.resize(200, 200);
        Button = new TOrvImageButton(&Form);
        Button->setGeometry(10, 10, 40, 20);
        Button->SetPicNormal(Solid(40, 20, Qt::blue));
        Button->SetPicMouseHover(Solid(40, 20, Qt::green));
        Button->SetPicMouseDown(Solid(40, 20, Qt::red));
        Button->SetPicDisabled(Solid(40, 20, Qt::gray));
        Form.show();
    }
    QRgb Face(QPoint at = {20, 10}) { return Button->ComposeFace().pixel(at); }
};

void SendKey(QWidget* w, QEvent::Type type, int key, const QString& text = {}, Qt::KeyboardModifiers m = {}) {
    QKeyEvent e(type, key, m, text);
    QApplication::sendEvent(w, &e);
}

} // namespace

TEST(ImageButton, StatePictureFollowsTheState) {
    TButtonFixture f;
    TOrvImageButton* b = f.Button;
    EXPECT_EQ(f.Face(), QColor(Qt::blue).rgb());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), b->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(b, &enter);
    EXPECT_TRUE(b->Hover());
    EXPECT_EQ(f.Face(), QColor(Qt::green).rgb());
    Press(b, {5, 5});
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(b->Hover());
    EXPECT_EQ(f.Face(), QColor(Qt::red).rgb());
    // disabled shows the disabled picture whatever Down says
    b->setEnabled(false);
    EXPECT_EQ(f.Face(), QColor(Qt::gray).rgb());

    // only the normal picture: it shows in every state, disabled included
    TOrvImageButton only(&f.Form);
    only.resize(10, 10);
    only.SetPicNormal(Solid(10, 10, Qt::blue));
    only.SetColor(clWhite);
    Press(&only, {2, 2});
    EXPECT_EQ(only.ComposeFace().pixel(5, 5), QColor(Qt::blue).rgb());
    only.setEnabled(false);
    EXPECT_EQ(only.ComposeFace().pixel(5, 5), QColor(Qt::blue).rgb());
}

TEST(ImageButton, PressDragOutAndReleaseDoesNotClick) {
    TButtonFixture f;
    TOrvImageButton* b = f.Button;
    TSpy clicks(b, &TOrvCustomButton::OnClick), exits(b, &TOrvCustomButton::OnMouseExit);
    Move(b, {5, 5}, Qt::NoButton); // pointer arrives
    Press(b, {5, 5});
    Move(b, {60, 5}); // dragged out with the button held: no exit, still pressed
    EXPECT_EQ(exits.count(), 0);
    EXPECT_TRUE(b->Down());
    Release(b, {60, 5});
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_FALSE(b->Down());
    EXPECT_FALSE(b->Hover());
}

TEST(ImageButton, DragOutAndBackInShowsHoverAndStillClicks) {
    TButtonFixture f;
    TOrvImageButton* b = f.Button;
    TSpy clicks(b, &TOrvCustomButton::OnClick);
    Move(b, {5, 5}, Qt::NoButton);
    Press(b, {5, 5});
    Move(b, {60, 5});
    Move(b, {6, 6}); // entering clears Down
    EXPECT_FALSE(b->Down());
    EXPECT_TRUE(b->Hover());
    EXPECT_EQ(f.Face(), QColor(Qt::green).rgb());
    Release(b, {6, 6});
    EXPECT_EQ(clicks.count(), 1);
}

TEST(ImageButton, ReleaseOnTheRightOrBottomEdgeCountsAsInside) {
    TButtonFixture f;
    TOrvImageButton* b = f.Button;
    for (QPoint edge : {QPoint(40, 5), QPoint(5, 20), QPoint(40, 20)}) {
        Press(b, {5, 5});
        Release(b, edge);
        EXPECT_TRUE(b->Hover()) << edge.x() << "," << edge.y();
        EXPECT_FALSE(b->Down());
    }
    Press(b, {5, 5});
    Release(b, {41, 5});
    EXPECT_FALSE(b->Hover());
}

TEST(ImageButton, ClickRunsBeforeTheReleaseAndOtherButtonsDoNotClick) {
    TButtonFixture f;
    TOrvImageButton* b = f.Button;
    QStringList order;
    QObject::connect(b, &TOrvCustomButton::OnClick, [&] { order << u"click"_qs; });
    QObject::connect(b, &TOrvCustomButton::OnMouseUp, [&] { order << u"up"_qs; });
    Press(b, {5, 5});
    Release(b, {5, 5});
    EXPECT_EQ(order, (QStringList{u"click"_qs, u"up"_qs}));
    order.clear();
    Press(b, {5, 5}, Qt::RightButton);
    EXPECT_FALSE(b->Down()); // other mouse buttons change nothing
    Release(b, {5, 5}, Qt::RightButton);
    EXPECT_EQ(order, QStringList{u"up"_qs});
}

TEST(ImageButton, ModalResultClosesAModalDialogOnlyWhenNotZero) {
    SkinApp();
    for (int result : {2, 0}) {
        QDialog dialog;
        auto* b = new TOrvImageButton(&dialog);
        b->resize(20, 20);
        b->SetModalResult(result);
        dialog.open(); // modal
        ASSERT_TRUE(dialog.isModal());
        b->Click();
        EXPECT_EQ(dialog.property("ModalResult").toInt(), result);
        EXPECT_EQ(dialog.isVisible(), result == 0) << result;
        if (result) EXPECT_EQ(dialog.result(), result);
        dialog.hide();
    }
}

TEST(ImageButton, KeyboardSpaceDialogKeysAndAccelerator) {
    TButtonFixture f;
    TOrvImageButton* b = f.Button;
    TSpy clicks(b, &TOrvCustomButton::OnClick);
    // Space on the focused button: down on press, click on release
    SendKey(b, QEvent::KeyPress, Qt::Key_Space, u" "_qs);
    EXPECT_TRUE(b->Down());
    SendKey(b, QEvent::KeyRelease, Qt::Key_Space, u" "_qs);
    EXPECT_EQ(clicks.count(), 1);

    // keys typed in the form: Escape for the Cancel button, Enter for the Default one, the accelerator
    SendKey(&f.Form, QEvent::KeyPress, Qt::Key_Escape);
    EXPECT_EQ(clicks.count(), 1);
    b->SetCancel(true);
    SendKey(&f.Form, QEvent::KeyPress, Qt::Key_Escape);
    EXPECT_EQ(clicks.count(), 2);
    SendKey(&f.Form, QEvent::KeyPress, Qt::Key_Escape, {}, Qt::ShiftModifier); // with Shift: not a dialog key
    EXPECT_EQ(clicks.count(), 2);
    SendKey(&f.Form, QEvent::KeyPress, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 2);
    b->SetDefault(true);
    EXPECT_TRUE(b->Active());
    SendKey(&f.Form, QEvent::KeyPress, Qt::Key_Return);
    EXPECT_EQ(clicks.count(), 3);

    b->SetCaption(u"&Apply"_qs);
    SendKey(&f.Form, QEvent::KeyPress, Qt::Key_A, u"a"_qs);
    EXPECT_EQ(clicks.count(), 4);
    SendKey(&f.Form, QEvent::KeyPress, Qt::Key_P, u"p"_qs);
    EXPECT_EQ(clicks.count(), 4);
    b->setEnabled(false);
    SendKey(&f.Form, QEvent::KeyPress, Qt::Key_A, u"a"_qs);
    EXPECT_EQ(clicks.count(), 4);
    EXPECT_EQ(TOrvCustomButton::AcceleratorOf(u"Fish && &Chips"_qs), QChar(u'c'));
    // the caption is the window text both ways
    b->setWindowTitle(u"Other"_qs);
    EXPECT_EQ(b->Caption(), u"Other"_qs);
}

namespace {
// Bounding box of the pixels of one colour in an image.
QRect PixelsOf(const QImage& img, QRgb color) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (color & 0xFFFFFF)) box |= QRect(x, y, 1, 1);
    return box;
}
} // namespace

TEST(ImageButton, CaptionPlacementAndPressOffset) {
    SkinApp();
    QWidget form;
    TOrvImageButton b(&form);
    b.resize(77, 80);
    b.SetColor(clWhite);
    b.SetFontColor(Qt::black);
    QFont font = b.font();
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias); // exact ink colours
    b.setFont(font);
    b.SetCaption(u"Usage"_qs);
    const QRgb ink = qRgb(0, 0, 0);

    // custom centre at y 57: centred across the width, top at 57, and the press does not move it
    b.SetTextAlign(OrvAlign_CustomCenter);
    b.SetTextY(57);
    QRect up = PixelsOf(b.ComposeFace(), ink);
    ASSERT_FALSE(up.isEmpty());
    EXPECT_GE(up.top(), 57);
    EXPECT_LE(up.top(), 57 + QFontMetrics(font).height());
    EXPECT_NEAR((up.left() + up.right()) / 2.0, 77 / 2.0, 2.0);
    Press(&b, {5, 5});
    EXPECT_EQ(PixelsOf(b.ComposeFace(), ink), up);
    Release(&b, {100, 100});

    // the first nine placements follow the press by one pixel
    b.SetTextAlign(OrvAlign_MiddleCenter);
    QRect mid = PixelsOf(b.ComposeFace(), ink);
    Press(&b, {5, 5});
    EXPECT_EQ(PixelsOf(b.ComposeFace(), ink), mid.translated(1, 1));
    Release(&b, {100, 100});

    // placement corners
    b.SetTextAlign(OrvAlign_BottomRight);
    QRect br = PixelsOf(b.ComposeFace(), ink);
    EXPECT_GT(br.right(), 77 - 8);
    EXPECT_GT(br.bottom(), 80 - 8);
    b.SetTextAlign(OrvAlign_TopLeft);
    QRect tl = PixelsOf(b.ComposeFace(), ink);
    EXPECT_LT(tl.left(), 4);
    EXPECT_LT(tl.top(), 8);

    // disabled with shadow: a gray copy one pixel right and down
    b.SetShowDisabledShadow(true);
    b.setEnabled(false);
    QRect gray = PixelsOf(b.ComposeFace(), qRgb(128, 128, 128));
    EXPECT_EQ(gray.bottomRight(), tl.bottomRight() + QPoint(1, 1));

    // state fonts: the hover font's colour is used while hovering
    b.setEnabled(true);
    b.SetEnableStatesFont(true);
    b.SetFontMouseHover({font, Qt::red});
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&b, &enter);
    EXPECT_FALSE(PixelsOf(b.ComposeFace(), qRgb(255, 0, 0)).isEmpty());
}

TEST(ImageButton, PicturePlacementStretchAndKeyColour) {
    SkinApp();
    QWidget form;
    TOrvImageButton b(&form);
    b.resize(50, 40);
    b.SetColor(clWhite);
    QImage pic(10, 8, QImage::Format_ARGB32);
    pic.fill(Qt::red);
    pic.setPixel(0, 0, qRgb(255, 0, 255));
    b.SetPicNormal(TOrvPicture(pic, TPictureFormat::Png));

    // bottom right with Stretch: drawn at its own size in the bottom-right corner
    b.SetPictureAlign(OrvAlign_BottomRight);
    b.SetStretch(true);
    QImage face = b.ComposeFace();
    EXPECT_EQ(face.pixel(40, 32), qRgb(255, 0, 255));
    EXPECT_EQ(face.pixel(49, 39), qRgb(255, 0, 0));
    EXPECT_EQ(face.pixel(39, 31), qRgb(255, 255, 255));

    // custom placement with stretch fills to the right and bottom edges
    b.SetPictureAlign(OrvAlign_Custom);
    b.SetPictureX(5);
    b.SetPictureY(4);
    face = b.ComposeFace();
    EXPECT_EQ(face.pixel(4, 3), qRgb(255, 255, 255));
    EXPECT_EQ(face.pixel(49, 39), qRgb(255, 0, 0));

    // the key colour lets the background through
    b.SetStretch(false);
    b.SetPictureAlign(OrvAlign_TopLeft);
    EXPECT_EQ(b.ComposeFace().pixel(0, 0), qRgb(255, 0, 255));
    b.SetTransparentColor(true);
    EXPECT_EQ(b.ComposeFace().pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(b.ComposeFace().pixel(1, 0), qRgb(255, 0, 0));

    // border: black enabled, gray disabled
    b.SetDrawBorder(true);
    EXPECT_EQ(b.ComposeFace().pixel(49, 20), qRgb(0, 0, 0));
    b.setEnabled(false);
    EXPECT_EQ(b.ComposeFace().pixel(49, 20), qRgb(128, 128, 128));
}

TEST(ImageButton, MaskCutsCornersAndPassesClicksBelow) {
    SkinApp();
    QWidget form;
    form.resize(100, 100);
    QWidget below(&form);
    below.setGeometry(0, 0, 100, 100);
    TOrvImageButton b(&form);
    b.setGeometry(10, 10, 20, 20);
    QImage mask(20, 20, QImage::Format_RGB32);
    mask.fill(Qt::white);
    for (QPoint c : {QPoint(0, 0), QPoint(19, 0), QPoint(0, 19), QPoint(19, 19)}) mask.setPixel(c, qRgb(0, 0, 0));
    b.SetPicMask(TOrvPicture(mask, TPictureFormat::Bmp));
    form.show();
    EXPECT_FALSE(b.mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(b.mask().contains(QPoint(1, 0)));
    EXPECT_EQ(form.childAt(10, 10), &below);
    EXPECT_EQ(form.childAt(11, 10), &b);
    b.SetPicMask(TOrvPicture());
    EXPECT_TRUE(b.mask().isEmpty());
}
