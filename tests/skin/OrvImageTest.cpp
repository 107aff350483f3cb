#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "SkinTestUtil.h"
#include "common/TestHome.h"
#include "skin/DownloadThread.h"
#include "skin/OrvImage.h"

using namespace kestrum;
using namespace kestrum::test;

TEST(OrvImage, DestinationRectangle) {
    struct {
        QSize Picture, Client;
        bool Stretch, Proportional, Center;
        QRect Want;
    } rows[] = {
        {{400, 200}, {200, 200}, false, true, false, {0, 0, 200, 100}}, // shrunk, kept at the top
        {{400, 200}, {200, 200}, false, true, true, {0, 50, 200, 100}}, // centred vertically with Center
        {{50, 20}, {200, 200}, false, true, false, {0, 0, 50, 20}},     // smaller: own size
        {{50, 20}, {200, 200}, true, false, false, {0, 0, 200, 200}},   // stretched
        {{50, 100}, {200, 120}, true, true, false, {0, 0, 60, 120}},    // tall, limited by the height
        {{100, 100}, {300, 50}, true, true, true, {125, 0, 50, 50}},    // square in a wide box
        {{300, 100}, {200, 20}, true, true, false, {0, 0, 60, 20}},     // wide but the height limits
        {{50, 20}, {200, 100}, false, false, true, {75, 40, 50, 20}},   // centred at own size
    };
    for (const auto& r : rows)
        EXPECT_EQ(TOrvImage::DestRect(r.Picture, r.Client, r.Stretch, r.Proportional, r.Center), r.Want)
            << r.Picture.width() << "x" << r.Picture.height() << " in " << r.Client.width() << "x" << r.Client.height();
}

TEST(OrvImage, AutoSizeKeepsThePosition) {
    SkinApp();
    QWidget form;
    TOrvImage img(&form);
    EXPECT_EQ(img.size(), QSize(105, 105));
    img.move(13, 17);
    img.SetAutoSize(true);
    img.SetPicture(Solid(230, 75, Qt::red));
    EXPECT_EQ(img.geometry(), QRect(13, 17, 230, 75));
}

TEST(OrvImage, GifFrameTimes) {
    struct {
        int Delay, Speed, Ms;
    } rows[] = {{10, 1000, 12}, {0, 1000, 12},  {1, 1000, 3}, {2000, 1000, 1200}, {10, 500, 24},
                {10, 100, 120}, {10, 2000, 12}, {10, 0, -1},  {50, 1000, 60}};
    for (const auto& r : rows)
        EXPECT_EQ(TOrvImage::GifFrameTimeMs(r.Delay, r.Speed), r.Ms) << r.Delay << "/" << r.Speed;
}

TEST(OrvImage, GifAnimationSettingsActOnGifPicturesOnly) {
    SkinApp();
    QWidget form;
    TOrvImage img(&form);
    form.show();
    img.SetPicture(Solid(10, 10, Qt::red));
    img.SetGIFAnimation(true);
    EXPECT_TRUE(img.GIFAnimation());
    EXPECT_FALSE(img.IsAnimating());

    TOrvPicture gif;
    ASSERT_TRUE(gif.LoadFromData(MakeGif(8, 8, {{Qt::red, 1, 0, {}, false}, {Qt::green, 1, 0, {}, false}})));
    img.SetGIFAnimationSpeed(500);
    img.SetPicture(gif); // a GIF assigned later starts at once, at the stored speed
    EXPECT_TRUE(img.IsAnimating());
    EXPECT_EQ(img.Picture().AnimationSpeed(), 500);
    EXPECT_TRUE(WaitFor([&] { return img.CurrentFrame() == 1; }, 2000));
    img.SetGIFAnimationSpeed(5000); // clamped by the picture
    EXPECT_EQ(img.Picture().AnimationSpeed(), 1000);
    EXPECT_TRUE(img.IsAnimating());
    img.SetGIFAnimation(false);
    EXPECT_FALSE(img.IsAnimating());
    img.SetGIFAnimationSpeed(0);
    img.SetGIFAnimation(true); // speed 0 stands still instead of dividing by zero
    EXPECT_FALSE(img.IsAnimating());
}

TEST(OrvImage, DraggingMovesTheForm) {
    SkinApp();
    QWidget form;
    form.setGeometry(100, 100, 200, 200);
    TOrvImage img(&form);
    img.setGeometry(0, 0, 50, 50);
    form.show();
    const QPoint start = form.pos();
    TSpy downs(&img, &TOrvImage::OnMouseDown);
    Press(&img, {10, 10});
    Move(&img, {30, 25});
    Release(&img, {30, 25});
    EXPECT_EQ(form.pos(), start); // not draggable
    img.SetDraggable(true);
    Press(&img, {10, 10});
    Move(&img, {30, 25});
    Release(&img, {30, 25});
    EXPECT_EQ(form.pos(), start + QPoint(20, 15));
    EXPECT_EQ(downs.count(), 2);
}

TEST(DownloadThread, AddressSplitting) {
    struct {
        const char* Address;
        bool Ok;
        const char* Host;
        const char* Path;
    } rows[] = {
        {"http://example.org/a/b.png", true, "example.org", "/a/b.png"},
        {"HTTP://Example.org/x", true, "Example.org", "/x"},
        {"example.org/x?y=1", true, "example.org", "/x?y=1"},
        {"https://example.org/x", true, "https:", "//example.org/x"},
        {"example.org", false, "", "example.org"},
    };
    for (const auto& r : rows) {
        QString host, path;
        EXPECT_EQ(TDownloadThread::SplitAddress(QString::fromLatin1(r.Address), &host, &path), r.Ok) << r.Address;
        EXPECT_EQ(host, QString::fromLatin1(r.Host)) << r.Address;
        EXPECT_EQ(path, QString::fromLatin1(r.Path)) << r.Address;
    }
    EXPECT_EQ(TDownloadThread::ExtensionForHead(QByteArray("GIF89a\0\0", 8)), u".gif"_qs);
    EXPECT_EQ(TDownloadThread::ExtensionForHead("GIF8"), QString());
    EXPECT_EQ(TDownloadThread::ExtensionForHead(QByteArray("\xFF\xD8\xFF\xE0\0\0\0\0", 8)), u".jpg"_qs);
}

namespace {

// A tiny HTTP server on 127.0.0.1 serving a picture, a slow picture, a text body and a 404.
class TPictureServer : public QObject {
public:
    TPictureServer() {
        FPng = Encode(Solid(5, 4, Qt::red).Image(), "PNG");
        FSlowPng = Encode(Solid(7, 7, Qt::blue).Image(), "PNG");
        FServer.listen(QHostAddress::LocalHost, 0);
        connect(&FServer, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = FServer.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { Serve(s); });
            }
        });
    }
    int Port() const { return FServer.serverPort(); }
    QStringList Requests;
    int Served = 0;

private:
    void Serve(QTcpSocket* s) {
        QByteArray& buf = FBuffers[s];
        buf += s->readAll();
        if (!buf.contains("\r\n\r\n")) return;
        Requests << QString::fromLatin1(buf);
        QByteArray path = buf.split(' ').value(1);
        auto reply = [this, s](int code, const QByteArray& body) {
            QByteArray head = "HTTP/1.1 " + QByteArray::number(code) + (code == 200 ? " OK" : " Not Found") +
                              "\r\nContent-Length: " + QByteArray::number(body.size()) +
                              "\r\nConnection: close\r\n\r\n";
            s->write(head + body);
            s->disconnectFromHost();
            ++Served;
        };
        if (path == "/pic.png")
            reply(200, FPng);
        else if (path == "/slow.png")
            QTimer::singleShot(600, s, [=] { reply(200, FSlowPng); });
        else if (path == "/text")
            reply(200, "just some words, not a picture");
        else
            reply(404, "missing");
    }
    QTcpServer FServer;
    QByteArray FPng, FSlowPng;
    QHash<QTcpSocket*, QByteArray> FBuffers;
};

struct THttpFixture : TQtApp {
    TTestHome Home;
    QByteArray OldTmp = qgetenv("TMPDIR");
    TPictureServer Server;
    QWidget Form;
    TOrvImage* Image;
    THttpFixture() {
        SkinApp();
        qputenv("TMPDIR", Home.Path().toUtf8()); // temporary files land in the test's own folder
        Image = new TOrvImage(&Form);
        Image->SetHttpPort(Server.Port());
    }
    ~THttpFixture() { qputenv("TMPDIR", OldTmp); }
    QStringList TempFiles() const { return QDir(Home.Path()).entryList({u"_TMP*"_qs}, QDir::Files); }
};

} // namespace

TEST(HttpPicture, FetchesWithAnyCaseOfThePrefixOrWithoutIt) {
    THttpFixture f;
    for (QString address : {u"http://127.0.0.1/pic.png"_qs, u"HTTP://127.0.0.1/pic.png"_qs, u"127.0.0.1/pic.png"_qs}) {
        TSpy done(f.Image, &TOrvImage::OnHttpPictureCompleted);
        f.Image->SetHttpPicture(address);
        EXPECT_TRUE(f.Image->Picture().IsEmpty()); // emptied at once
        ASSERT_TRUE(WaitFor([&] { return done.count() == 1; })) << address.toStdString();
        EXPECT_EQ(f.Image->Picture().Size(), QSize(5, 4));
        EXPECT_EQ(f.Image->Picture().Format(), TPictureFormat::Png);
    }
    ASSERT_EQ(f.Server.Requests.size(), 3);
    const QString& req = f.Server.Requests.last();
    EXPECT_TRUE(req.startsWith(u"GET /pic.png HTTP/1.1\r\n"_qs)) << req.toStdString();
    EXPECT_TRUE(req.contains(QRegularExpression(u"(?i)\r\nUser-Agent: HttpDownloadFile_-?\\d+_Agent\r\n"_qs)))
        << req.toStdString();
    EXPECT_TRUE(req.contains(u"\r\nAccept: */*\r\n"_qs, Qt::CaseInsensitive)) << req.toStdString();
    EXPECT_TRUE(WaitFor([&] { return f.TempFiles().isEmpty(); }, 1000)) << f.TempFiles().join(u' ').toStdString();
}

TEST(HttpPicture, FailuresGiveNoPictureAndNoEvent) {
    THttpFixture f;
    TSpy done(f.Image, &TOrvImage::OnHttpPictureCompleted);
    struct {
        QString Address;
        bool Reaches;
    } rows[] = {
        {u"http://127.0.0.1/missing.png"_qs, true}, // status 404
        {u"http://127.0.0.1/text"_qs, true},        // not a picture
        {u"https://127.0.0.1/pic.png"_qs, false},   // the host becomes "https:"
        {u"127.0.0.1"_qs, false},                   // no host
        {u"   "_qs, false},                         // blank: nothing fetched
    };
    for (const auto& r : rows) {
        int before = f.Server.Served;
        f.Image->SetHttpPicture(r.Address);
        if (r.Reaches) ASSERT_TRUE(WaitFor([&] { return f.Server.Served > before; })) << r.Address.toStdString();
        WaitFor([] { return false; }, 300);
        EXPECT_TRUE(f.Image->Picture().IsEmpty()) << r.Address.toStdString();
    }
    EXPECT_EQ(done.count(), 0);
    EXPECT_EQ(f.Server.Requests.size(), 2);
    EXPECT_TRUE(f.TempFiles().isEmpty()) << f.TempFiles().join(u' ').toStdString();
}

TEST(HttpPicture, OnlyTheNewestDownloadRaisesTheEvent) {
    THttpFixture f;
    TSpy done(f.Image, &TOrvImage::OnHttpPictureCompleted);
    f.Image->SetHttpPicture(u"http://127.0.0.1/slow.png"_qs);
    f.Image->SetHttpPicture(u"http://127.0.0.1/pic.png"_qs);
    ASSERT_TRUE(WaitFor([&] { return f.Server.Served == 2; }));
    WaitFor([] { return false; }, 500);
    EXPECT_EQ(done.count(), 1);
    // the superseded download still ends by loading its picture
    EXPECT_EQ(f.Image->Picture().Size(), QSize(7, 7));
}

TEST(HttpPicture, ControlDestroyedWhileDownloading) {
    THttpFixture f;
    f.Image->SetHttpPicture(u"http://127.0.0.1/slow.png"_qs);
    ASSERT_TRUE(WaitFor([&] { return f.Server.Requests.size() == 1; }));
    delete f.Image;
    ASSERT_TRUE(WaitFor([&] { return f.Server.Served == 1; }));
    EXPECT_TRUE(WaitFor([&] { return f.TempFiles().isEmpty(); }, 2000)) << f.TempFiles().join(u' ').toStdString();
}
