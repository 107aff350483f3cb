// Saving a skin button's state into a skin document and loading it back, pictures included.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPainter>

#include "common/QtApp.h"
#include "common/TestHome.h"
#include "skin/OrvPicture.h"
#include "skin/OrvSkinManager.h"
#include "skin/SkinButton.h"
#include "skin/SkinButtonJSON.h"
#include "support/KSUtils.h"
#include "support/_OrvJSON.h"

namespace kestrum {
namespace {

QString K(const char* text) {
    return QString::fromUtf8(text);
}

QImage Drawing(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.fillRect(1, 1, w - 2, h / 2, QColor(200, 30, 40, 180));
    p.fillRect(0, h / 2, w, h - h / 2, QColor(20, 90, 240));
    return image;
}

QByteArray Encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format));
    return bytes;
}

TOrvPicture Loaded(const QByteArray& bytes) {
    TOrvPicture picture;
    EXPECT_TRUE(picture.LoadFromData(bytes)) << picture.LastError().toStdString();
    return picture;
}

// Temporary picture files go below the test's own folder.
class SkinButtonJSON : public testing::Test {
protected:
    void SetUp() override {
        test::EnsureQtApp();
        FOldTmp = qgetenv("TMPDIR");
        QDir().mkpath(FHome.File(K("tmp")));
        qputenv("TMPDIR", FHome.File(K("tmp")).toUtf8());
    }
    void TearDown() override {
        if (FOldTmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", FOldTmp);
    }
    // No temporary file is left behind.
    bool TempIsEmpty() const { return QDir(FHome.File(K("tmp"))).isEmpty(); }

    test::TTestHome FHome;
    QByteArray FOldTmp;
    TSkinButton FSaved{nullptr, TSkinButtonKind::Close};
    TSkinButton FLoaded{nullptr, TSkinButtonKind::Minimize};
};

TEST_F(SkinButtonJSON, RoundTripRestoresStateAndFourPictures) {
    QFile gif(K(KESTRUM_SOURCE_DIR "/assets/optimize/freenow.gif"));
    ASSERT_TRUE(gif.open(QIODevice::ReadOnly));
    FSaved.VisibleRef() = false;
    FSaved.PosXRef() = 120;
    FSaved.PosYRef() = -7;
    FSaved.PicNormalRef() = Loaded(Encoded(Drawing(17, 9), "PNG"));
    FSaved.PicDisabledRef() = TOrvPicture(Drawing(5, 4).convertToFormat(QImage::Format_RGB32)); // a bitmap
    FSaved.PicMouseHoverRef() = Loaded(Encoded(Drawing(16, 16), "JPG"));
    FSaved.PicMouseDownRef() = Loaded(gif.readAll());

    TJSONObject document;
    document.StoreInt(K("other"), 1);
    SaveToJSON(FSaved, &document, K("BtnClose"));
    SaveToJSON(FSaved, &document, K("btnclose")); // replaces, keeps one member
    EXPECT_EQ(document.KeyNames(), (QStringList{K("other"), K("BtnClose")}));
    const TJSONObject& state = document.FetchObject(K("BtnClose"));
    EXPECT_EQ(state.KeyNames(), (QStringList{K("visible"), K("pos_x"), K("pos_y"), K("pic_normal"), K("pic_disabled"),
                                             K("pic_mouse_hover"), K("pic_mouse_down")}));
    EXPECT_TRUE(state.FetchText(K("pic_normal")).startsWith(K("89504E470D0A1A0A")));
    EXPECT_TRUE(state.FetchText(K("pic_disabled")).startsWith(K("424D")));

    // Through the text form too, as a stored document would be.
    TJSONObject reread(document.AsText());
    LoadFromJSON(FLoaded, &reread, K("BTNCLOSE"));
    EXPECT_FALSE(FLoaded.Visible());
    EXPECT_EQ(FLoaded.PosX(), 120);
    EXPECT_EQ(FLoaded.PosY(), -7);
    const TOrvPicture* saved[] = {&FSaved.PicNormal(), &FSaved.PicDisabled(), &FSaved.PicMouseHover(),
                                  &FSaved.PicMouseDown()};
    const TOrvPicture* loaded[] = {&FLoaded.PicNormal(), &FLoaded.PicDisabled(), &FLoaded.PicMouseHover(),
                                   &FLoaded.PicMouseDown()};
    const TPictureFormat formats[] = {TPictureFormat::Png, TPictureFormat::Bmp, TPictureFormat::Jpeg,
                                      TPictureFormat::Gif};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(loaded[i]->Format(), formats[i]) << i;
        EXPECT_EQ(loaded[i]->Size(), saved[i]->Size()) << i;
        EXPECT_EQ(loaded[i]->FrameCount(), saved[i]->FrameCount()) << i;
        EXPECT_EQ(loaded[i]->SaveToBytes(), saved[i]->SaveToBytes()) << i;
    }
    EXPECT_EQ(FLoaded.PicNormal().Image(), FSaved.PicNormal().Image()) << "PNG keeps its alpha";
    EXPECT_TRUE(TempIsEmpty());
}

TEST_F(SkinButtonJSON, MissingPicturesAndValuesStayAtTheirDefaults) {
    FLoaded.VisibleRef() = false;
    FLoaded.PosXRef() = 3;
    FLoaded.PicNormalRef() = TOrvPicture(Drawing(4, 4));
    TJSONObject document(K("{a:{pos_y:5}, n:null}"));
    const char* keys[] = {"a", "n", "missing"};
    for (const char* key : keys) {
        LoadFromJSON(FLoaded, &document, K(key));
        EXPECT_TRUE(FLoaded.Visible()) << key;
        EXPECT_EQ(FLoaded.PosX(), -1) << key;
        EXPECT_EQ(FLoaded.PosY(), K(key) == K("a") ? 5 : -1) << key;
        EXPECT_TRUE(FLoaded.PicNormal().IsEmpty()) << key;
    }
    FLoaded.PosXRef() = 3;
    LoadFromJSON(FLoaded, nullptr, K("a"));
    EXPECT_EQ(FLoaded.PosX(), -1);

    SaveToJSON(FSaved, nullptr, K("a")); // no document: nothing to do
    TJSONObject empty;
    SaveToJSON(FSaved, &empty, K("a"));
    EXPECT_EQ(empty.AsText(), K(R"({"a":{"visible":true,"pos_x":-1,"pos_y":-1}})"));
}

// Each bad document raises its error and leaves what was read before it.
TEST_F(SkinButtonJSON, FailuresKeepWhatWasReadBefore) {
    QByteArray pngBytes = Encoded(Drawing(6, 6), "PNG");
    QString pngHex = QString::fromLatin1(pngBytes.toHex().toUpper());
    struct TCase {
        QString Document;
        int PosX;          // expected after the failure
        bool NormalLoaded; // pic_normal read before the failure
        const char* Error; // exception type name, for the message
    } cases[] = {
        {K("{b:5}"), -1, false, "NoSuchElementException"},
        {K("{b:{pos_x:9, visible:7}}"), -1, false, "ClassCastException"},
        {K("{b:{pos_x:9, pos_y:yes}}"), 9, false, "EConvertError"},
        {K("{b:{pos_x:9, pos_y:true}}"), 9, false, "NumberFormatException"},
        {K("{b:{pos_x:9, pic_normal:'%1', pic_disabled:'0G'}}").arg(pngHex), 9, true, "EConvertError"},
        {K("{b:{pos_x:9, pic_normal:'%1', pic_mouse_down:'00112233'}}").arg(pngHex), 9, true, "EInvalidGraphic"},
        {K("{b:{pos_x:9, pic_normal:'89504E470D0A1A0A0000'}}"), 9, false, "EInvalidGraphic"},
    };
    for (const TCase& c : cases) {
        TJSONObject document(c.Document);
        bool raised = false;
        try {
            LoadFromJSON(FLoaded, &document, K("b"));
        } catch (const NoSuchElementException&) {
            raised = K(c.Error) == K("NoSuchElementException");
        } catch (const ClassCastException&) {
            raised = K(c.Error) == K("ClassCastException");
        } catch (const NumberFormatException&) {
            raised = K(c.Error) == K("NumberFormatException");
        } catch (const EConvertError&) {
            raised = K(c.Error) == K("EConvertError");
        } catch (const EInvalidGraphic&) {
            raised = K(c.Error) == K("EInvalidGraphic");
        }
        EXPECT_TRUE(raised) << c.Error << " for " << c.Document.left(60).toStdString();
        EXPECT_TRUE(FLoaded.Visible());
        EXPECT_EQ(FLoaded.PosX(), c.PosX) << c.Error;
        EXPECT_EQ(FLoaded.PicNormal().HasGraphic(), c.NormalLoaded) << c.Error;
        EXPECT_TRUE(FLoaded.PicDisabled().IsEmpty());
        EXPECT_TRUE(FLoaded.PicMouseDown().IsEmpty());
    }
    EXPECT_TRUE(TempIsEmpty());
}

TEST_F(SkinButtonJSON, UsesTheManagersSkinDocument) {
    QWidget form;
    TOrvSkinManager manager(&form);
    manager.BtnClose().PosXRef() = 40;
    manager.BtnMax().PosXRef() = 7;
    SaveToJSON(manager.BtnClose(), K("close")); // no document yet: nothing happens
    LoadFromJSON(manager.BtnMax(), K("close"));
    EXPECT_EQ(manager.BtnMax().PosX(), -1) << "reset even without a document";

    SetSkinDocument(manager, std::make_shared<TJSONObject>());
    SaveToJSON(manager.BtnClose(), K("close"));
    EXPECT_EQ(SkinDocumentOf(manager)->AsText(), K(R"({"close":{"visible":true,"pos_x":40,"pos_y":-1}})"));
    LoadFromJSON(manager.BtnMin(), K("close"));
    EXPECT_EQ(manager.BtnMin().PosX(), 40);
    EXPECT_EQ(manager.CaptionButton(TSkinButtonKind::Minimize), nullptr) << "no layout pass ran";
}

} // namespace
} // namespace kestrum
