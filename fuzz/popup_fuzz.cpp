// libFuzzer target for the command line: any arguments give a popup code (0 when there is none) and a tab
// index of 0, 1 or -1, and the switch test never fails on odd texts.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "app/KSCmdLine.h"
#include "support/KSUtils.h"

using namespace kestrum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 14) return 0;
    QStringList args{QStringLiteral("Kestrum")};
    for (const QByteArray& p : fuzz::Pieces(data, size, '\0')) args << QString::fromUtf8(p);
    const int code = ParsePopupCode(args);
    const int tab = TabIndexForPopupCode(code);
    fuzz::Check(tab >= -1 && tab <= 1);
    fuzz::Check(code == 0 || args.join(u' ').contains(u"popup"_qs, Qt::CaseInsensitive));
    (void)HasSwitch(args, u"-regrun"_qs);
    (void)HasSwitch(args, u"-autostart"_qs);
    (void)HasSwitch(args, args.value(1));
    return 0;
}
