#include "store/KSHistoryIndex.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstring>

#include "support/KSUtils.h"

namespace kestrum {

namespace {

constexpr size_t kChunk = 1 << 20;
// Longer lines are shown cut; no record of ours comes near it.
constexpr uint32_t kMaxLine = 1 << 20;

} // namespace

std::shared_ptr<const TKSHistoryIndex> TKSHistoryIndex::Build(const QString& folder, const QDate& begin,
                                                              const QDate& end, const std::atomic<bool>* cancel) {
    auto index = std::shared_ptr<TKSHistoryIndex>(new TKSHistoryIndex());
    if (!(begin <= end)) return index;
    QStringList files;
    ListFiles(files, folder, QStringLiteral("*.log"), {QStringLiteral("desktop.ini"), QStringLiteral("Thumbs.db")});
    // Ascending names are ascending days.
    std::sort(files.begin(), files.end(),
              [](const QString& a, const QString& b) { return FileBaseName(a) < FileBaseName(b); });
    std::vector<char> buffer(kChunk);
    for (const QString& path : files) {
        if (cancel && cancel->load()) return index;
        const QDate day = DateOfDateTime(StampToDate(FileBaseName(path)));
        if (day < begin || end < day) continue;
        // Never through a link: a day file that names another file is not ours to show.
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        const uint32_t file = uint32_t(index->FFiles.size());
        index->FFiles << path;
        index->FFds.push_back(-1);
        uint64_t at = 0, lineStart = 0;
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            const char* p = buffer.data();
            const char* stop = p + n;
            while (const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(stop - p)))) {
                const uint64_t lineEnd = at + uint64_t(nl - buffer.data());
                index->FRecords.push_back(
                    {lineStart, uint32_t(std::min<uint64_t>(lineEnd - lineStart, kMaxLine)), file});
                lineStart = lineEnd + 1;
                p = nl + 1;
            }
            at += uint64_t(n);
            if (cancel && cancel->load()) break;
        }
        // A last line without its end still counts, as the reader gives it.
        if (at > lineStart)
            index->FRecords.push_back({lineStart, uint32_t(std::min<uint64_t>(at - lineStart, kMaxLine)), file});
        ::close(fd);
    }
    index->FRecords.shrink_to_fit();
    return index;
}

TKSHistoryIndex::~TKSHistoryIndex() {
    for (int fd : FFds)
        if (fd >= 0) ::close(fd);
}

std::optional<THistoryRecord> TKSHistoryIndex::Read(size_t row, TDateTime loadTime) const {
    if (row >= FRecords.size()) return std::nullopt;
    const TRef& ref = FRecords[FRecords.size() - 1 - row];
    int& fd = FFds[ref.File];
    if (fd < 0) fd = ::open(QFile::encodeName(FFiles[int(ref.File)]).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    QByteArray raw(qsizetype(ref.Length), Qt::Uninitialized);
    size_t got = 0;
    while (got < ref.Length) {
        const ssize_t n = ::pread(fd, raw.data() + got, ref.Length - got, off_t(ref.Offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    if (got < ref.Length) return std::nullopt;
    while (raw.endsWith('\r')) raw.chop(1);
    const QStringList tokens = logline::Tokenize(QString::fromUtf8(raw), u'|');
    THistoryRecord record;
    record.Time = loadTime;
    if (!tokens.isEmpty()) record.Time = StampToDateTime(tokens[0]);
    if (tokens.size() >= 2) {
        bool ok = false;
        const int code = tokens[1].toInt(&ok, 10);
        if (ok) record.Code = code;
    }
    if (tokens.size() > 2) record.Fields = tokens.mid(2);
    return record;
}

} // namespace kestrum
