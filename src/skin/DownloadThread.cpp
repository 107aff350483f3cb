#include "skin/DownloadThread.h"

#include <time.h>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace kestrum {

TDownloadThread::TDownloadThread(std::shared_ptr<TDownloadShared> shared, QString address, QString tempFile, int port)
    : FShared(std::move(shared)), FAddress(std::move(address)), FTempFile(std::move(tempFile)), FPort(port) {}

bool TDownloadThread::SplitAddress(const QString& address, QString* host, QString* path) {
    QString rest = address;
    // The first seven characters go when the scheme prefix occurs anywhere (letter case ignored).
    if (rest.toLower().contains(QStringLiteral("http://"))) rest = rest.mid(7);
    int slash = rest.indexOf(u'/');
    if (slash < 0) {
        *host = QString();
        *path = rest;
    } else {
        *host = rest.left(slash);
        *path = rest.mid(slash);
    }
    return !host->isEmpty();
}

QString TDownloadThread::ExtensionForHead(const QByteArray& head) {
    if (head.size() < 8) return {};
    auto b = [&](int i) { return uint8_t(head[i]); };
    if (b(0) == 'B' && b(1) == 'M') return QStringLiteral(".bmp");
    if (b(0) == 0xFF && b(1) == 0xD8) return QStringLiteral(".jpg");
    if (head.startsWith("GIF8") && (b(4) == '7' || b(4) == '9') && b(5) == 'a') return QStringLiteral(".gif");
    if (head.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8))) return QStringLiteral(".png");
    return {};
}

QString TDownloadThread::UserAgent() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    auto tick = int32_t(uint32_t(uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000));
    return QStringLiteral("HttpDownloadFile_%1_Agent").arg(tick);
}

bool TDownloadThread::Download(const QString& address, const QString& file, int port) {
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) return false;
    QString host, path;
    if (!SplitAddress(address, &host, &path)) return false;
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host, QUrl::StrictMode);
    url.setPort(port);
    int query = path.indexOf(u'?');
    url.setPath(query < 0 ? path : path.left(query));
    if (query >= 0) url.setQuery(path.mid(query + 1));
    if (!url.isValid() || url.host().isEmpty()) return false;

    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setRawHeader("User-Agent", UserAgent().toLatin1());
    request.setRawHeader("Accept", "*/*");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(60000);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QNetworkReply* reply = manager.get(request);
    bool ok = true;
    qint64 written = 0;
    auto drain = [&] {
        int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 200) return; // only a 200 body is kept
        QByteArray chunk = reply->readAll();
        written += chunk.size();
        if (written > MaxBodyBytes) {
            ok = false;
            reply->abort();
            return;
        }
        if (out.write(chunk) != chunk.size()) ok = false;
    };
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, drain);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    if (ok) drain();
    ok = ok && reply->error() == QNetworkReply::NoError &&
         reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
    delete reply;
    out.close();
    return ok;
}

void TDownloadThread::run() {
    bool ok = Download(FAddress, FTempFile, FPort);
    QFile file(FTempFile);
    QString extension;
    if (ok && file.open(QIODevice::ReadOnly)) {
        extension = ExtensionForHead(file.read(8));
        file.close();
    }
    if (extension.isEmpty()) {
        // Nothing usable arrived: no picture, no event, and no file left behind.
        QFile::remove(FTempFile);
        FShared->Finished = true;
        return;
    }
    QString named = FTempFile + extension;
    if (!QFile::rename(FTempFile, named)) {
        QFile::remove(FTempFile);
        FShared->Finished = true;
        return;
    }
    TDownloadShared::Deliver(FShared, named);
}

} // namespace kestrum
