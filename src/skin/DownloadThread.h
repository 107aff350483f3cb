#pragma once
// The worker that fetches a picture control's HTTP picture into a temporary file.
#include <QMutex>
#include <QPointer>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>

namespace kestrum {

class TOrvImage;

// What a download shares with its control. The control clears `Control` when it goes away; the worker only
// reaches the control through it, under the lock, so it never touches a destroyed control.
struct TDownloadShared {
    QMutex Lock;
    TOrvImage* Control = nullptr;
    std::atomic_bool Superseded{false};
    std::atomic_bool Finished{false};
    // Hands the file to the control on the control's thread (or removes it when the control is gone).
    static void Deliver(const std::shared_ptr<TDownloadShared>& self, const QString& path);
};

class TDownloadThread : public QThread {
    Q_OBJECT
public:
    TDownloadThread(std::shared_ptr<TDownloadShared> shared, QString address, QString tempFile, int port);

    // Splits an address the way the fetch does: a leading scheme prefix is dropped, host before the first "/",
    // path from it. False when no host remains.
    static bool SplitAddress(const QString& address, QString* host, QString* path);
    // ".bmp", ".jpg", ".gif", ".png" for a body starting like one of them, else empty.
    static QString ExtensionForHead(const QByteArray& head);
    static QString UserAgent();
    // The body copied into `file`; false on any failure (the file may then be empty).
    static bool Download(const QString& address, const QString& file, int port);

    static constexpr qint64 MaxBodyBytes = 64LL * 1024 * 1024;

protected:
    void run() override;

private:
    std::shared_ptr<TDownloadShared> FShared;
    QString FAddress, FTempFile;
    int FPort;
};

} // namespace kestrum
