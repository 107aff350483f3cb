// kestrum-gallery: shows every control of the skinned window toolkit, in every state, on one skinned window.
// Pictures come from the embedded artwork (":/assets/..."), or from the source tree when run from a build.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include "skin/OrvImage.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvImagePanel.h"
#include "skin/OrvSkinManager.h"
#include "skin/OrvTabControl.h"

using namespace kestrum;

namespace {

TOrvPicture Art(const QString& name) {
    TOrvPicture p;
    QString resource = u":/assets/"_qs + name;
    QString path = QFile::exists(resource) ? resource : QStringLiteral(KESTRUM_SOURCE_DIR "/assets/") + name;
    if (!p.LoadFromFile(path)) qWarning("gallery: %s: %s", qPrintable(name), qPrintable(p.LastError()));
    return p;
}

QLabel* Note(QWidget* parent, const QString& text, int x, int y, int w = 90) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, 14);
    l->setAlignment(Qt::AlignHCenter);
    QFont f = l->font();
    f.setPixelSize(10);
    l->setFont(f);
    return l;
}

// A button whose face is fixed to one state picture, to show that state side by side with the others.
TOrvImageButton* StateButton(QWidget* parent, const QString& base, const QString& state, int x, int y,
                             const QString& caption = {}) {
    auto* b = new TOrvImageButton(parent);
    b->SetTransparent(true);
    TOrvPicture pic = Art(base + u"_"_qs + state + u".png"_qs);
    b->SetPicNormal(pic);
    b->setGeometry(x, y, pic.Width(), pic.Height());
    b->SetCaption(caption);
    return b;
}

TOrvImageButton* LiveButton(QWidget* parent, const QString& base, int x, int y, const QString& caption = {}) {
    auto* b = new TOrvImageButton(parent);
    b->SetTransparent(true);
    b->SetPicNormal(Art(base + u"_normal.png"_qs));
    b->SetPicMouseHover(Art(base + u"_hover.png"_qs));
    b->SetPicMouseDown(Art(base + u"_pressed.png"_qs));
    b->SetPicDisabled(Art(base + u"_disabled.png"_qs));
    b->setGeometry(x, y, b->PicNormal().Width(), b->PicNormal().Height());
    b->SetCaption(caption);
    return b;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget form;
    form.setObjectName(u"FormGallery"_qs);
    form.resize(900, 640);
    QFont base = form.font();
    base.setPixelSize(11);
    form.setFont(base);

    auto* skin = new TOrvSkinManager(&form);
    skin->SetBackColor(16773350);
    skin->SetTransColor(true);
    skin->Bounds().MinWidth = 700;
    skin->Bounds().MinHeight = 500;
    const char* pieces[8] = {"topleft", "top", "topright", "left", "right", "bottomleft", "bottom", "bottomright"};
    for (int i = 0; i < 8; ++i)
        skin->Frame().SetPicture(TFramePiece(i), Art(u"skin/main/frame_"_qs + QLatin1String(pieces[i]) + u".png"_qs));
    skin->Icon().SetPicNormal(Art(u"skin/caption/icon_main.png"_qs));
    skin->Icon().SetPosX(8);
    skin->Icon().SetPosY(5);
    TSkinButton* caption[3] = {&skin->BtnMin(), &skin->BtnMax(), &skin->BtnClose()};
    const char* captionNames[3] = {"min", "max", "close"};
    for (int i = 0; i < 3; ++i) {
        QString b = u"skin/caption/"_qs + QLatin1String(captionNames[i]);
        caption[i]->SetPicNormal(Art(b + u"_normal.png"_qs));
        caption[i]->SetPicMouseHover(Art(b + u"_hover.png"_qs));
        caption[i]->SetPicMouseDown(Art(b + u"_pressed.png"_qs));
        caption[i]->SetPicDisabled(Art(b + u"_disabled.png"_qs));
    }
    TOrvFont titleFont = skin->Title().Font();
    titleFont.Color = Qt::white;
    titleFont.Font.setPixelSize(12);
    skin->Title().SetFont(titleFont);
    skin->Title().SetText(u"Kestrum toolkit gallery"_qs);

    // Tab buttons on the header, switching three pages below.
    const char* tabs[4] = {"usage", "optimize", "upgrade", "logs"};
    const char* tabCaptions[4] = {"Usage", "Optimize", "Upgrade", "Logs"};
    auto* switcher = new TOrvTabControl(&form);
    QObject::connect(switcher, &TOrvTabControl::OnActivated,
                     [](TOrvTabItem* item) { item->Button()->setEnabled(false); });
    QObject::connect(switcher, &TOrvTabControl::OnInactivated,
                     [](TOrvTabItem* item) { item->Button()->setEnabled(true); });
    QWidget* pages[4];
    for (int i = 0; i < 4; ++i) {
        auto* b =
            LiveButton(&form, u"tabs/"_qs + QLatin1String(tabs[i]), 14 + i * 80, 32, QLatin1String(tabCaptions[i]));
        b->SetTextAlign(OrvAlign_CustomCenter);
        b->SetTextY(57);
        b->SetFontColor(Qt::white);
        pages[i] = new QWidget(&form);
        pages[i]->setGeometry(10, 120, 880, 100);
        switcher->AddTab(b, pages[i]);
    }
    auto* banner = new TOrvImage(&form);
    banner->SetAutoSize(true);
    banner->SetPicture(Art(u"main/banner.png"_qs));
    banner->move(560, 39);

    // Page 1: picture panels (opaque with a live three-line caption, transparent, disabled).
    auto* usage = new TOrvImagePanel(pages[0]);
    usage->setGeometry(0, 0, 200, 90);
    usage->SetTransparent(false);
    usage->SetColor(clWhite);
    usage->SetBorderSingle(true);
    auto* tray = new TOrvImage(usage);
    tray->setGeometry(8, 8, 16, 16);
    tray->SetPicture(Art(u"tray/tray07.png"_qs));
    auto* tick = new QTimer(&form);
    int seconds = 0;
    QObject::connect(tick, &QTimer::timeout, [usage, &seconds] {
        ++seconds;
        usage->SetCaption(QStringLiteral("Memory\nUsed: %1 %\nUp %2 s").arg(40 + seconds % 20).arg(seconds));
    });
    tick->start(1000);
    usage->SetCaption(u"Memory\nUsed: 40 %\nUp 0 s"_qs);
    auto* clear = new TOrvImagePanel(pages[0]);
    clear->setGeometry(220, 0, 200, 90);
    clear->SetPicture(Art(u"optimize/star_done.png"_qs));
    clear->SetPictureAlign(OrvAlign_MiddleLeft);
    clear->SetCaption(
        u"Transparent panel with a long caption that is cut after a whole word because it does not fit"_qs);
    auto* off = new TOrvImagePanel(pages[0]);
    off->setGeometry(440, 0, 200, 90);
    off->SetTransparent(false);
    off->SetColor(clWhite);
    off->SetCaption(u"Disabled panel\ngray text"_qs);
    off->setEnabled(false);
    Note(pages[0], u"panels: opaque / transparent / disabled"_qs, 650, 40, 230);
    // Page 2: progress, stars and the animation.
    auto* track = new TOrvImage(pages[1]);
    track->setGeometry(0, 10, 500, 45);
    track->SetPicture(Art(u"optimize/progress_empty.png"_qs));
    auto* fill = new TOrvImage(pages[1]);
    fill->setGeometry(0, 10, 320, 45); // the filled track clipped to its progress
    fill->SetPicture(Art(u"optimize/progress_full.png"_qs));
    for (int i = 0; i < 5; ++i) {
        auto* star = new TOrvImage(pages[1]);
        star->setGeometry(i * 22, 70, 16, 16);
        star->SetPicture(Art(i < 3 ? u"optimize/star_done.png"_qs : u"optimize/star_pending.png"_qs));
    }
    // Page 3 / 4: notes only.
    Note(pages[2], u"(upgrade page)"_qs, 0, 10, 200);
    Note(pages[3], u"(logs page)"_qs, 0, 10, 200);

    // "Free Now" in its four states, a live one and the animation.
    const char* states[4] = {"normal", "hover", "pressed", "disabled"};
    for (int i = 0; i < 4; ++i) {
        int x = 20 + i * 115;
        StateButton(&form, u"optimize/freenow"_qs, QLatin1String(states[i]), x, 240, u"Free Now"_qs)
            ->SetFontColor(Qt::white);
        Note(&form, QLatin1String(states[i]), x + 7, 348);
    }
    LiveButton(&form, u"optimize/freenow"_qs, 480, 240, u"Free Now"_qs)->SetFontColor(Qt::white);
    Note(&form, u"live"_qs, 487, 348);
    auto* gif = new TOrvImage(&form);
    gif->setGeometry(600, 240, 105, 105);
    gif->SetPicture(Art(u"optimize/freenow.gif"_qs));
    gif->SetGIFAnimation(true);
    Note(&form, u"animated GIF"_qs, 607, 348);
    auto* logo = new TOrvImage(&form);
    logo->setGeometry(730, 230, 128, 128);
    logo->SetPicture(Art(u"about/logo.png"_qs));
    logo->SetDraggable(true);
    Note(&form, u"logo (drag me)"_qs, 749, 358);

    // Command buttons: four states, default/cancel, disabled with shadow; caption placements.
    for (int i = 0; i < 4; ++i) {
        auto* b = StateButton(&form, u"buttons/button"_qs, QLatin1String(states[i]), 20 + i * 80, 380,
                              QLatin1String(states[i]));
        Q_UNUSED(b);
    }
    auto* ok = LiveButton(&form, u"buttons/button"_qs, 360, 380, u"&OK"_qs);
    ok->SetDefault(true);
    LiveButton(&form, u"buttons/button"_qs, 440, 380, u"&Cancel"_qs)->SetCancel(true);
    auto* apply = LiveButton(&form, u"buttons/button"_qs, 520, 380, u"&Apply"_qs);
    apply->SetShowDisabledShadow(true);
    apply->setEnabled(false);
    auto* sep = new TOrvImage(&form);
    sep->setGeometry(20, 410, 390, 12);
    sep->SetPicture(Art(u"common/separator.png"_qs));

    const TOrvAlign aligns[9] = {OrvAlign_TopLeft,    OrvAlign_TopCenter,    OrvAlign_TopRight,
                                 OrvAlign_MiddleLeft, OrvAlign_MiddleCenter, OrvAlign_MiddleRight,
                                 OrvAlign_BottomLeft, OrvAlign_BottomCenter, OrvAlign_BottomRight};
    for (int i = 0; i < 9; ++i) {
        auto* b = new TOrvImageButton(&form);
        b->setGeometry(20 + (i % 3) * 62, 430 + (i / 3) * 36, 60, 34);
        b->SetColor(clWhite);
        b->SetDrawBorder(true);
        b->SetTextAlign(aligns[i]);
        b->SetCaption(QString::number(i));
    }
    Note(&form, u"caption placements"_qs, 20, 540, 186);
    auto* multi = new TOrvImageButton(&form);
    multi->setGeometry(220, 430, 120, 60);
    multi->SetColor(RGBColor(255, 255, 220));
    multi->SetDrawBorder(true);
    multi->SetMultiLines(true);
    multi->SetCaption(u"A multi-line caption wraps at word boundaries"_qs);
    auto* focus = new TOrvImageButton(&form);
    focus->setGeometry(220, 496, 120, 30);
    focus->SetColor(RGBColor(220, 235, 255));
    focus->SetDrawFocused(true);
    focus->SetDrawBorder(true);
    focus->SetCaption(u"Focused"_qs);

    // The thirteen tray pictures.
    for (int i = 0; i < 13; ++i) {
        auto* t = new TOrvImage(&form);
        t->setGeometry(370 + i * 24, 450, 16, 16);
        t->SetPicture(Art(QStringLiteral("tray/tray%1.png").arg(i, 2, 10, QChar(u'0'))));
    }
    Note(&form, u"tray pictures 0..12"_qs, 370, 470, 312);
    auto* star = new TOrvImage(&form);
    star->setGeometry(370, 500, 16, 16);
    star->SetPicture(Art(u"optimize/star_done.png"_qs));

    skin->ApplySkin();
    form.show();
    focus->setFocus();
    if (app.arguments().contains(u"--tab"_qs)) switcher->SelectTab(1);
    return app.exec();
}
