// libFuzzer target for the text formatter: any template with any arguments either fills or gives the empty
// text (never a crash, a hang or a huge allocation), and a filled text is no longer than the template's
// bounded widths allow.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "i18n/OrvFormat.h"

using namespace kestrum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 14) return 0;
    // The first piece is the template, every further piece one argument: a text, or an integer when it
    // starts with '#'.
    const QList<QByteArray> pieces = fuzz::Pieces(data, size);
    const QString format = QString::fromUtf8(pieces.front());
    TFormatArgs args;
    qsizetype longest = 0;
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QByteArray& p = pieces[i];
        if (p.startsWith('#')) {
            args.emplace_back(static_cast<long long>(p.mid(1).toLongLong()));
        } else {
            args.emplace_back(QString::fromUtf8(p));
            longest = std::max(longest, args.back().Text().size());
        }
    }
    bool ok = false;
    const QString out = FormatTemplate(format, args, &ok);
    fuzz::Check(ok || out.isEmpty());
    // Every character of the template yields at most one placeholder's worth of output.
    fuzz::Check(out.size() <= (format.size() + 1) * (qsizetype(MaxFormatWidth) + longest + 21));
    return 0;
}
