// Skinned window toolkit: composing a whole 800 x 600 skinned window, a resize pass (re-tile, re-shape), and
// one picture-button repaint over a skinned background.
#include <benchmark/benchmark.h>

#include <QFile>

#include "common/QtApp.h"
#include "skin/OrvImageButton.h"
#include "skin/OrvSkinManager.h"

using namespace kestrum;

namespace {

TOrvPicture Art(const QString& name) {
    TOrvPicture p;
    QString resource = u":/assets/"_qs + name;
    p.LoadFromFile(QFile::exists(resource) ? resource : QStringLiteral(KESTRUM_SOURCE_DIR "/assets/") + name);
    return p;
}

struct TApp {
    TApp() { test::EnsureQtApp(); }
};

struct TSkinnedWindow : TApp {
    QWidget Form;
    TOrvSkinManager* Skin;
    TOrvImageButton* Button;
    TSkinnedWindow() {
        Form.resize(800, 600);
        Skin = new TOrvSkinManager(&Form);
        Skin->SetBackColor(16773350);
        Skin->SetTransColor(true);
        const char* pieces[8] = {"topleft", "top", "topright", "left", "right", "bottomleft", "bottom", "bottomright"};
        for (int i = 0; i < 8; ++i)
            Skin->Frame().SetPicture(TFramePiece(i),
                                     Art(u"skin/main/frame_"_qs + QLatin1String(pieces[i]) + u".png"_qs));
        Skin->Icon().SetPicNormal(Art(u"skin/caption/icon_main.png"_qs));
        for (auto [b, n] : {std::pair{&Skin->BtnMin(), "min"}, {&Skin->BtnMax(), "max"}, {&Skin->BtnClose(), "close"}})
            b->SetPicNormal(Art(u"skin/caption/"_qs + QLatin1String(n) + u"_normal.png"_qs));
        Skin->Title().SetText(u"Kestrum"_qs);
        Button = new TOrvImageButton(&Form);
        Button->SetTransparent(true);
        Button->SetPicNormal(Art(u"optimize/freenow_normal.png"_qs));
        Button->SetCaption(u"Free Now"_qs);
        Button->setGeometry(40, 20, 105, 105); // over the header pieces, so the background is real work
        Skin->ApplySkin();
        Form.show();
    }
};

void BM_ComposeSkinnedWindow800x600(benchmark::State& state) {
    TSkinnedWindow w;
    QImage target(800, 600, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        w.Form.render(&target);
        benchmark::DoNotOptimize(target.bits());
    }
}
BENCHMARK(BM_ComposeSkinnedWindow800x600)->Unit(benchmark::kMillisecond);

void BM_ResizeSkinnedWindow(benchmark::State& state) {
    TSkinnedWindow w;
    bool wide = false;
    for (auto _ : state) {
        w.Form.resize(wide ? 800 : 801, 600); // anchors, re-tiling and the key-colour shape
        wide = !wide;
    }
}
BENCHMARK(BM_ResizeSkinnedWindow)->Unit(benchmark::kMillisecond);

void BM_PictureButtonRepaint(benchmark::State& state) {
    TSkinnedWindow w;
    w.Button->SetTransparent(state.range(0) != 0);
    for (auto _ : state) {
        QImage face = w.Button->ComposeFace();
        benchmark::DoNotOptimize(face.bits());
    }
}
BENCHMARK(BM_PictureButtonRepaint)->Arg(0)->Arg(1)->ArgName("transparent")->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
