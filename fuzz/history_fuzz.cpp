// libFuzzer target for log lines and history files. Any day file loads; saving what was loaded and loading
// again keeps every record (stamp, code and fields), and a second round changes nothing more. Fields made
// from the input, any characters and line breaks included, survive a line written and read back.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "store/OrvLogManager.h"

using namespace kestrum;

namespace {

struct TRecord {
    QString Stamp;
    int Code = 0;
    QStringList Fields;
    bool operator==(const TRecord&) const = default;
};

QList<TRecord> Records(const TOrvLogManager& m) {
    QList<TRecord> out;
    for (int i = 0; i < m.Count(); ++i) {
        const TOrvLogItem* item = m.Items(i);
        // A record without fields is written as one with a single empty field.
        out.append(
            {DateTimeToStamp(item->Time), item->Code, item->Fields.isEmpty() ? QStringList{QString()} : item->Fields});
    }
    return out;
}

const QDateTime LoadTime(QDate(2024, 5, 10), QTime(14, 30));

QList<TRecord> Load(const QString& path) {
    TOrvLogManager m;
    m.SetClock([] { return LoadTime; });
    m.SetLogFile(path);
    fuzz::Check(m.LoadFromFile());
    const QList<TRecord> records = Records(m);
    fuzz::Check(m.Save());
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 16) return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    // The whole input as a day file: load, save, load.
    const QString path = fuzz::Folder() + QStringLiteral("Logs/Kestrum/20240510.log");
    fuzz::WriteFile(path, bytes);
    const QList<TRecord> first = Load(path);
    const QList<TRecord> second = Load(path);
    fuzz::Check(first == second);
    // A record without fields is written bare and reads back with one empty field, written as "": from the
    // second save on the file stays byte for byte.
    const QByteArray saved = fuzz::ReadFile(path);
    fuzz::Check(Load(path) == second);
    fuzz::Check(fuzz::ReadFile(path) == saved);

    // The input's pieces as the fields of one record, with each delimiter that the pieces allow.
    QStringList fields;
    for (const QByteArray& piece : fuzz::Pieces(data, size)) fields << QString::fromUtf8(piece);
    // A NUL ends a line when it is read, as it always has: no record written by the program holds one.
    for (QString& f : fields) f.remove(QChar(0));
    // (A blank or a quote cannot be a delimiter that keeps every field: the reader skips blanks around
    // fields, and quotes open them.)
    for (QChar delimiter : {QChar(u'|'), QChar(u'n'), QChar(u'r'), QChar(u';')}) {
        const QString line = logline::EncodeFields(fields, delimiter);
        fuzz::Check(!line.contains(u'\n') && !line.contains(u'\r'));
        fuzz::Check(logline::Tokenize(line, delimiter) == fields || (fields == QStringList{QString()}));
    }
    (void)StampToDateTime(QString::fromUtf8(bytes.left(20)));
    (void)StampToDate(QString::fromUtf8(bytes.left(10)));
    return 0;
}
