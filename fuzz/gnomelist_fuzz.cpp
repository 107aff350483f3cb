// libFuzzer target for gsettings' printed string lists: any text either is no list or reads as one that,
// written again, reads back the same; any items written read back as they were.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "desktop/GnomeStringList.h"

using namespace kestrum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto items = TGnomeStringList::Parse(text)) {
        const auto again = TGnomeStringList::Parse(TGnomeStringList::Format(*items));
        fuzz::Check(again && *again == *items);
    }
    QStringList pieces;
    for (const QByteArray& p : fuzz::Pieces(data, size)) pieces << QString::fromUtf8(p);
    const auto back = TGnomeStringList::Parse(TGnomeStringList::Format(pieces));
    fuzz::Check(back && *back == pieces);
    return 0;
}
