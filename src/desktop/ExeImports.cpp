#include "desktop/ExeImports.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace kestrum {

const char* const GameLibraryPatterns[9] = {"opengl32.dll", "d3d7*.dll", "d3d8*.dll", "d3d9*.dll", "d3d10*.dll",
                                            "d3d11*.dll",   "ddraw.dll", "dplay.dll", "dplayx.dll"};

// Only libraries a program links when it draws with the GPU itself or runs on a game toolkit. EGL, GLES and
// libepoxy are left out: toolkits (GTK 4, browsers, compositors) link them for their own drawing.
const char* const ElfGameLibraryPatterns[8] = {"libGL.so*", "libGLX.so*",     "libOpenGL.so*", "libvulkan.so*",
                                               "libSDL2*",  "libSDL-1.2.so*", "libSDL3.so*",   "libglfw.so*"};

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool ReadExact(const TByteSource& src, uint64_t offset, void* buf, size_t n) {
    return src(offset, buf, n) == n;
}

uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

bool MatchesAny(const std::string& name, const char* const* patterns, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (WildcardMatch(name, patterns[i])) return true;
    return false;
}

} // namespace

bool WildcardMatch(const std::string& name, const std::string& pattern) {
    // Iterative match with one backtrack point: linear in practice, no recursion on hostile names.
    size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && Upper(pattern[p]) == Upper(name[n])))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

uint32_t RvaToFileOffset(const std::vector<TPeSection>& sections, uint32_t rva) {
    uint32_t result = 0;
    for (const auto& s : sections)
        if (s.VirtualAddress <= rva && uint64_t(rva) < uint64_t(s.VirtualAddress) + s.SizeOfRawData)
            result = rva - s.VirtualAddress + s.PointerToRawData;
    return result;
}

bool PeImportsGameLibrary(const TByteSource& src, uint64_t fileSize) {
    if (fileSize < 64) return false;
    uint8_t dos[64];
    if (!ReadExact(src, 0, dos, 64) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const uint32_t nt = U32(dos + 60);

    // 32-bit images: 4-byte signature + 20-byte file header + 224-byte optional header, the import directory
    // entry at 128. 64-bit images (optional-header magic 0x20B) have a 240-byte optional header with the entry
    // at 144. The section table follows the optional header in both.
    uint8_t hdr[264];
    // Every read of a fixed part is checked against the file size first, so no request reaches past the end.
    if (uint64_t(nt) + 248 > fileSize || !ReadExact(src, nt, hdr, 248) || std::memcmp(hdr, "PE\0\0", 4) != 0)
        return false;
    size_t ntSize = 248, importEntry = 128;
    if (U16(hdr + 24) == 0x20B) {
        if (uint64_t(nt) + 264 > fileSize || !ReadExact(src, uint64_t(nt) + 248, hdr + 248, 16)) return false;
        ntSize = 264;
        importEntry = 144;
    }
    const uint16_t sectionCount = U16(hdr + 6);
    std::vector<uint8_t> table(size_t(sectionCount) * 40);
    if (uint64_t(nt) + ntSize + table.size() > fileSize) return false;
    if (!table.empty() && !ReadExact(src, uint64_t(nt) + ntSize, table.data(), table.size())) return false;
    std::vector<TPeSection> sections(sectionCount);
    for (size_t i = 0; i < sectionCount; ++i) {
        const uint8_t* s = table.data() + i * 40;
        sections[i] = {U32(s + 12), U32(s + 16), U32(s + 20)};
    }

    const uint32_t importRva = U32(hdr + importEntry), importSize = U32(hdr + importEntry + 4);
    if (importSize == 0) return false;
    const uint32_t dirOffset = RvaToFileOffset(sections, importRva);
    // The directory must lie in the file: a hostile size never turns into a read past the end.
    if (uint64_t(dirOffset) + importSize > fileSize) return false;

    // Only whole descriptors inside the directory; one without a terminating descriptor ends with its last.
    // Read in blocks of descriptors, so memory stays small whatever size the header claims.
    constexpr uint32_t Block = 20 * 205;
    const uint32_t whole = importSize / 20 * 20;
    std::vector<uint8_t> dir(std::min(whole, Block));
    for (uint32_t at = 0; at < whole; at += Block) {
        const uint32_t n = std::min(Block, whole - at);
        if (!ReadExact(src, uint64_t(dirOffset) + at, dir.data(), n)) return false;
        for (uint32_t i = 0; i < n; i += 20) {
            const uint32_t nameRva = U32(dir.data() + i + 12);
            if (nameRva == 0) return false;
            char name[260];
            size_t got = src(RvaToFileOffset(sections, nameRva), name, sizeof name);
            std::string lib(name, strnlen(name, std::min(got, sizeof name)));
            if (MatchesAny(lib, GameLibraryPatterns, std::size(GameLibraryPatterns))) return true;
        }
    }
    return false;
}

namespace {

// Fields of an ELF file in its own byte order and word size.
struct TElf {
    bool Is64 = false, Big = false;
    uint64_t Get(const uint8_t* p, size_t n) const {
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= uint64_t(p[Big ? n - 1 - i : i]) << (8 * i);
        return v;
    }
    uint64_t Word(const uint8_t* p) const { return Get(p, Is64 ? 8 : 4); }
};

} // namespace

bool ElfImportsGameLibrary(const TByteSource& src, uint64_t fileSize) {
    uint8_t eh[64];
    if (fileSize < 52 || !ReadExact(src, 0, eh, std::min<uint64_t>(64, fileSize))) return false;
    if (std::memcmp(eh,
                    "\x7f"
                    "ELF",
                    4) != 0)
        return false;
    if ((eh[4] != 1 && eh[4] != 2) || (eh[5] != 1 && eh[5] != 2)) return false;
    TElf e{eh[4] == 2, eh[5] == 2};
    if (e.Is64 && fileSize < 64) return false;
    const uint64_t phoff = e.Word(eh + (e.Is64 ? 32 : 28));
    const uint64_t phentsize = e.Get(eh + (e.Is64 ? 54 : 42), 2), phnum = e.Get(eh + (e.Is64 ? 56 : 44), 2);
    const size_t minEnt = e.Is64 ? 56 : 32;
    // Real programs have a dozen program headers; a table of more than 1 MiB is no program we judge.
    if (phentsize < minEnt || phentsize > 256 || phnum == 0 || phentsize * phnum > (1u << 20)) return false;
    if (phoff > fileSize || phentsize * phnum > fileSize - phoff) return false;
    std::vector<uint8_t> ph(phentsize * phnum);
    if (!ReadExact(src, phoff, ph.data(), ph.size())) return false;

    struct TSeg {
        uint64_t Offset, Vaddr, FileSize;
    };
    std::vector<TSeg> loads;
    std::optional<TSeg> dynamic;
    for (uint64_t i = 0; i < phnum; ++i) {
        const uint8_t* p = ph.data() + i * phentsize;
        const uint32_t type = uint32_t(e.Get(p, 4));
        TSeg s = e.Is64 ? TSeg{e.Get(p + 8, 8), e.Get(p + 16, 8), e.Get(p + 32, 8)}
                        : TSeg{e.Get(p + 4, 4), e.Get(p + 8, 4), e.Get(p + 16, 4)};
        if (type == 1) loads.push_back(s);
        if (type == 2 && !dynamic) dynamic = s;
    }
    if (!dynamic) return false; // statically linked: imports nothing
    if (dynamic->Offset > fileSize || dynamic->FileSize > fileSize - dynamic->Offset) return false;
    // DT_NEEDED entries come first; 1 MiB holds 65536 entries, far more than any real program's.
    std::vector<uint8_t> dyn(std::min<uint64_t>(dynamic->FileSize, 1u << 20));
    if (!ReadExact(src, dynamic->Offset, dyn.data(), dyn.size())) return false;

    const size_t entSize = e.Is64 ? 16 : 8, half = entSize / 2;
    std::vector<uint64_t> needed;
    uint64_t strtab = 0, strsz = 0;
    bool haveStrtab = false;
    for (size_t i = 0; i + entSize <= dyn.size(); i += entSize) {
        const uint64_t tag = e.Get(dyn.data() + i, half), val = e.Get(dyn.data() + i + half, half);
        if (tag == 0) break; // DT_NULL
        if (tag == 1) needed.push_back(val);
        if (tag == 5) strtab = val, haveStrtab = true;
        if (tag == 10) strsz = val;
    }
    if (!haveStrtab || needed.empty()) return false;
    // DT_STRTAB is an address: find the loaded segment holding it.
    std::optional<uint64_t> strOffset;
    for (const auto& s : loads)
        if (s.Vaddr <= strtab && strtab - s.Vaddr < s.FileSize) strOffset = strtab - s.Vaddr + s.Offset;
    if (!strOffset) return false;

    for (uint64_t n : needed) {
        if (strsz && n >= strsz) continue;
        char name[256];
        size_t want = sizeof name;
        if (strsz) want = size_t(std::min<uint64_t>(want, strsz - n));
        size_t got = src(*strOffset + n, name, want);
        std::string lib(name, strnlen(name, got));
        if (MatchesAny(lib, ElfGameLibraryPatterns, std::size(ElfGameLibraryPatterns))) return true;
    }
    return false;
}

bool ImportsGameLibrary(const TByteSource& src, uint64_t fileSize) {
    uint8_t magic[4] = {};
    if (src(0, magic, 4) < 2) return false;
    if (magic[0] == 'M' && magic[1] == 'Z') return PeImportsGameLibrary(src, fileSize);
    if (std::memcmp(magic,
                    "\x7f"
                    "ELF",
                    4) == 0)
        return ElfImportsGameLibrary(src, fileSize);
    return false;
}

bool ImportsGameLibrary(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool result = false;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        TByteSource src = [fd](uint64_t offset, void* buf, size_t n) -> size_t {
            size_t done = 0;
            while (done < n) {
                ssize_t r = ::pread(fd, static_cast<char*>(buf) + done, n - done, off_t(offset + done));
                if (r <= 0) break;
                done += size_t(r);
            }
            return done;
        };
        result = ImportsGameLibrary(src, uint64_t(st.st_size));
    }
    ::close(fd);
    return result;
}

namespace {

// The program named by one argument: the text up to the first ".exe" that ends the argument or is followed
// by a space (Wine may show the whole Windows command line as one argument), or the quoted path.
std::string ExeInArgument(const std::string& arg) {
    if (!arg.empty() && arg[0] == '"') {
        // Quoted: the path is everything up to the closing quote, spaces and dots included.
        const size_t close = arg.find('"', 1);
        const std::string quoted = arg.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        const bool exe = quoted.size() >= 4 && quoted[quoted.size() - 4] == '.' &&
                         Upper(quoted[quoted.size() - 3]) == 'E' && Upper(quoted[quoted.size() - 2]) == 'X' &&
                         Upper(quoted[quoted.size() - 1]) == 'E';
        return exe ? quoted : std::string();
    }
    for (size_t i = 0; i + 4 <= arg.size(); ++i) {
        if (arg[i] != '.' || Upper(arg[i + 1]) != 'E' || Upper(arg[i + 2]) != 'X' || Upper(arg[i + 3]) != 'E') continue;
        if (i + 4 < arg.size() && arg[i + 4] != ' ') continue;
        return arg.substr(0, i + 4);
    }
    return std::string();
}

} // namespace

std::string WineExecutablePath(const std::vector<std::string>& commandLine, const std::string& winePrefix) {
    for (const std::string& arg : commandLine) {
        const std::string exe = ExeInArgument(arg);
        if (exe.size() < 5) continue;
        if (exe[0] == '/') return exe;
        if (exe.size() > 3 && std::isalpha(static_cast<unsigned char>(exe[0])) && exe[1] == ':' &&
            (exe[2] == '\\' || exe[2] == '/')) {
            std::string rest = exe.substr(3);
            std::replace(rest.begin(), rest.end(), '\\', '/');
            char drive = char(std::tolower(static_cast<unsigned char>(exe[0])));
            if (drive == 'z') return "/" + rest;
            if (winePrefix.empty()) return std::string();
            return winePrefix + "/dosdevices/" + drive + ":/" + rest;
        }
        return std::string(); // relative to a working folder we do not know
    }
    return std::string();
}

bool IsDisplayServer(const std::string& executablePath) {
    static const char* const names[] = {"X",        "Xorg",  "Xvfb",    "Xvnc",   "Xtigervnc", "Xephyr",      "Xnest",
                                        "Xwayland", "picom", "compton", "compiz", "kwin_x11",  "kwin_wayland"};
    const std::string base = executablePath.substr(executablePath.find_last_of('/') + 1);
    for (const char* n : names)
        if (base == n) return true;
    return false;
}

bool IsWineLoader(const std::string& executablePath) {
    std::string base = executablePath.substr(executablePath.find_last_of('/') + 1);
    return base == "wine" || base == "wine64" || base == "wine-preloader" || base == "wine64-preloader";
}

} // namespace kestrum
