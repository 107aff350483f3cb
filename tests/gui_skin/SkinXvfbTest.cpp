// Window move and resize grip on a real X server (Xvfb + a window manager), driven with xdotool.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <QWindow>

#include "common/QtApp.h"
#include "common/XDisplay.h"
#include "skin/OrvSkinManager.h"

using namespace kestrum;

namespace {

bool HaveDisplay() {
    return test::HaveXDisplay("test_gui_skin");
}

using test::WaitFor;

void Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

void Xdo(const QStringList& args) {
    QProcess::execute(QStringLiteral("xdotool"), args);
    Pump(60); // let the events reach the program
}

TOrvPicture Solid(int w, int h, QColor c) {
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(c);
    return TOrvPicture(img, TPictureFormat::Png);
}

struct TSkinnedForm {
    QWidget Form;
    TOrvSkinManager* Skin;
    TSkinnedForm() {
        Form.setGeometry(200, 200, 400, 300);
        Skin = new TOrvSkinManager(&Form);
        Skin->Frame().SetPicture(fpTopLeft, Solid(10, 30, Qt::darkBlue));
        Skin->Frame().SetPicture(fpTop, Solid(8, 30, Qt::blue));
        Skin->Frame().SetPicture(fpTopRight, Solid(10, 30, Qt::darkBlue));
        Skin->Frame().SetPicture(fpBottom, Solid(8, 8, Qt::blue));
        Skin->Icon().SetPicNormal(Solid(16, 16, Qt::yellow));
        Skin->BtnClose().SetPicNormal(Solid(20, 20, Qt::red));
        Skin->Title().SetText(QStringLiteral("Drag me"));
        Skin->Bounds().MinWidth = 350;
        Skin->Bounds().MinHeight = 250;
        Skin->ApplySkin();
        Form.show();
        WaitFor([&] { return Form.windowHandle() && Form.windowHandle()->isExposed(); });
        Pump(300);
    }
};

} // namespace

TEST(SkinOnX11, DraggingTheTitleMovesTheWindow) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display";
    TSkinnedForm f;
    QPoint start = f.Form.geometry().topLeft();
    QPoint grab = f.Skin->TitleLabel()->mapToGlobal(QPoint(5, 5));
    Xdo({u"mousemove"_qs, QString::number(grab.x()), QString::number(grab.y())});
    Xdo({u"mousedown"_qs, u"1"_qs});
    for (int i = 1; i <= 10; ++i)
        Xdo({u"mousemove"_qs, QString::number(grab.x() + 12 * i), QString::number(grab.y() + 7 * i)});
    Xdo({u"mouseup"_qs, u"1"_qs});
    EXPECT_TRUE(WaitFor([&] {
        return (f.Form.geometry().topLeft() - (start + QPoint(120, 70))).manhattanLength() <= 2;
    })) << "at "
        << f.Form.geometry().x() << "," << f.Form.geometry().y() << ", wanted " << start.x() + 120 << ","
        << start.y() + 70;
}

TEST(SkinOnX11, DoubleClickOnTheTitleMaximizesToTheWorkArea) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display";
    TSkinnedForm f;
    QPoint title = f.Skin->TitleLabel()->mapToGlobal(QPoint(5, 5));
    Xdo({u"mousemove"_qs, QString::number(title.x()), QString::number(title.y())});
    Xdo({u"click"_qs, u"--repeat"_qs, u"2"_qs, u"--delay"_qs, u"80"_qs, u"1"_qs});
    EXPECT_TRUE(WaitFor([&] { return f.Form.isMaximized(); }));
    EXPECT_TRUE(WaitFor([&] { return f.Form.geometry() == f.Form.screen()->availableGeometry(); }))
        << f.Form.width() << "x" << f.Form.height();
    EXPECT_FALSE(f.Skin->ResizeGrip()->isEnabled());
}

TEST(SkinOnX11, ResizeGripTakesTheOutlineSizeWithinTheMinimum) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display";
    TSkinnedForm f;
    auto dragGrip = [&](QPoint target) {
        QPoint grip = f.Skin->ResizeGrip()->mapToGlobal(QPoint(3, 3));
        Xdo({u"mousemove"_qs, QString::number(grip.x()), QString::number(grip.y())});
        Xdo({u"mousedown"_qs, u"1"_qs});
        Xdo({u"mousemove"_qs, QString::number((grip.x() + target.x()) / 2),
             QString::number((grip.y() + target.y()) / 2)});
        Xdo({u"mousemove"_qs, QString::number(target.x()), QString::number(target.y())});
        Xdo({u"mouseup"_qs, u"1"_qs});
    };
    QPoint origin = f.Form.geometry().topLeft();
    dragGrip(origin + QPoint(520, 410));
    EXPECT_TRUE(WaitFor([&] { return f.Form.size() == QSize(520, 410); })) << f.Form.width() << "x" << f.Form.height();
    origin = f.Form.geometry().topLeft();
    dragGrip(origin + QPoint(20, 20)); // far up and left: the minimum wins
    EXPECT_TRUE(WaitFor([&] { return f.Form.size() == QSize(350, 250); })) << f.Form.width() << "x" << f.Form.height();
    EXPECT_FALSE(f.Skin->ResizeOutline() && f.Skin->ResizeOutline()->isVisible());
}
