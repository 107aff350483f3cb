// libFuzzer target for the executable-import readers (Windows PE and ELF, 32 and 64 bits, either byte
// order): any bytes give an answer without reading outside the file, a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzSupport.h"
#include "desktop/ExeImports.h"

using namespace kestrum;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    // Reads are checked against the real size: a reader asking past the end gets nothing.
    const TByteSource source = [data, size](uint64_t offset, void* buffer, size_t want) -> size_t {
        if (offset >= size || want == 0) return 0;
        const size_t n = std::min<uint64_t>(want, size - offset);
        std::memcpy(buffer, data + offset, n);
        return n;
    };
    (void)PeImportsGameLibrary(source, size);
    (void)ElfImportsGameLibrary(source, size);
    (void)ImportsGameLibrary(source, size);
    // A file that claims to be larger than it is.
    (void)ImportsGameLibrary(source, uint64_t(size) * 3 + 4096);
    std::vector<std::string> commandLine;
    for (const QByteArray& p : fuzz::Pieces(data, std::min<size_t>(size, 4096), '\0'))
        commandLine.push_back(p.toStdString());
    (void)WineExecutablePath(commandLine, "/tmp/prefix");
    return 0;
}
