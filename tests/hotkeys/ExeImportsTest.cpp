#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "desktop/ExeImports.h"
#include "desktop/ExeImportsCache.h"

using namespace kestrum;

namespace {

std::string Fixture(const char* rel) {
    return std::string(KESTRUM_FIXTURES) + "/" + rel;
}

std::vector<uint8_t> Load(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Serves a byte vector and records how far reads went, so a test sees any attempt to read past the data.
struct TVectorSource {
    std::vector<uint8_t> Bytes;
    uint64_t MaxWanted = 0; // the furthest end of any request
    TByteSource Source() {
        return [this](uint64_t off, void* buf, size_t n) -> size_t {
            MaxWanted = std::max(MaxWanted, off + n);
            if (off >= Bytes.size()) return 0;
            size_t got = std::min<uint64_t>(n, Bytes.size() - off);
            std::memcpy(buf, Bytes.data() + off, got);
            return got;
        };
    }
    bool Check() { return ImportsGameLibrary(Source(), Bytes.size()); }
};

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}

// Offsets of the import directory entry (RVA, size) of a fixture image.
size_t ImportEntry(const std::vector<uint8_t>& b) {
    size_t nt = Get32(b, 60);
    bool is64 = b[nt + 24] == 0x0B && b[nt + 25] == 0x02;
    return nt + (is64 ? 144 : 128);
}

} // namespace

TEST(ExeImports, WildcardMatch) {
    struct {
        const char* Name;
        const char* Pattern;
        bool Match;
    } cases[] = {
        {"D3D9.DLL", "d3d9*.dll", true},
        {"d3d9.dll", "d3d9*.dll", true},
        {"d3d9_1.dll", "d3d9*.dll", true},
        {"d3dx9_43.dll", "d3d9*.dll", false},
        {"d3d9.dll.mui", "d3d9*.dll", false},
        {"d3d10_1.dll", "d3d10*.dll", true},
        {"OPENGL32.DLL", "opengl32.dll", true},
        {"opengl32.dl", "opengl32.dll", false},
        {"ab", "a?", true},
        {"a", "a?", false},
        {"", "*", true},
        {"", "?", false},
        {"libGL.so.1", "libGL.so*", true},
        {"libGLESv2.so.2", "libGL.so*", false},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*c", false},
    };
    for (const auto& c : cases) EXPECT_EQ(WildcardMatch(c.Name, c.Pattern), c.Match) << c.Name << " ~ " << c.Pattern;
}

TEST(ExeImports, RvaToFileOffsetLastSectionWinsAndMissIsZero) {
    std::vector<TPeSection> s = {{0x1000, 0x200, 0x400}, {0x1100, 0x200, 0x800}, {0xFFFFFF00, 0x200, 0x1000}};
    EXPECT_EQ(RvaToFileOffset(s, 0x1000), 0x400u);
    EXPECT_EQ(RvaToFileOffset(s, 0x1150), 0x850u); // in both: the later section
    EXPECT_EQ(RvaToFileOffset(s, 0x1300), 0u);     // end is exclusive
    EXPECT_EQ(RvaToFileOffset(s, 0x0FFF), 0u);
    EXPECT_EQ(RvaToFileOffset(s, 0xFFFFFFF0), 0x10F0u); // no wrap-around at the top of the range
}

TEST(ExeImports, RealExecutables) {
    struct {
        const char* File;
        bool Game;
    } cases[] = {
        {"pe/d3d9_x64.exe", true},     // 64-bit image, d3d9.dll
        {"pe/opengl32_x86.exe", true}, // 32-bit, OPENGL32.DLL as the second descriptor
        {"pe/dplayx_x86.exe", true},
        {"pe/d3dx9_x64.exe", false}, // d3dx9_43.dll and dxgi.dll are no graphics interface of their own
        {"pe/plain_x86.exe", false},
        {"elf/gl_prog", true},   // DT_NEEDED libGL.so.1
        {"elf/gl_prog32", true}, // 32-bit ELF
        {"elf/plain_prog", false},
    };
    for (const auto& c : cases) EXPECT_EQ(ImportsGameLibrary(Fixture(c.File)), c.Game) << c.File;
    EXPECT_FALSE(ImportsGameLibrary(Fixture("pe/missing.exe")));
    EXPECT_FALSE(ImportsGameLibrary(Fixture("pe/make.sh")));
    EXPECT_FALSE(ImportsGameLibrary(std::string(KESTRUM_FIXTURES))); // a folder
}

TEST(ExeImports, DamagedAndHostileImagesAnswerNoWithoutReadingPastTheData) {
    const auto good = Load(Fixture("pe/opengl32_x86.exe"));
    ASSERT_GT(good.size(), 512u);
    const size_t nt = Get32(good, 60), entry = ImportEntry(good);
    struct TCase {
        const char* What;
        std::function<void(std::vector<uint8_t>&)> Damage;
    } cases[] = {
        {"shorter than a DOS header", [](auto& b) { b.resize(63); }},
        {"no MZ", [](auto& b) { b[0] = 'X'; }},
        {"NT headers cut", [&](auto& b) { b.resize(nt + 100); }},
        {"NT header offset past the end", [](auto& b) { Put32(b, 60, 0xFFFFFFF0); }},
        {"no PE signature", [&](auto& b) { b[nt + 1] = 'X'; }},
        {"section table cut", [&](auto& b) { b.resize(nt + 248 + 10); }},
        {"section count huge", [&](auto& b) { b[nt + 6] = 0xFF, b[nt + 7] = 0xFF; }},
        {"no import directory", [&](auto& b) { Put32(b, entry + 4, 0); }},
        {"import directory size past the end", [&](auto& b) { Put32(b, entry + 4, 0xFFFFFFF0); }},
        // Not in any section: read from offset 0, where the DOS header names nothing.
        {"import directory in no section", [&](auto& b) { Put32(b, entry, 0x7FFF0000); }},
        // Room for the first descriptor only: OPENGL32.DLL, the second, is never reached.
        {"no terminating descriptor", [&](auto& b) { Put32(b, entry + 4, 20); }},
        {"descriptor cut short", [&](auto& b) { Put32(b, entry + 4, 19); }},
    };
    for (const auto& c : cases) {
        TVectorSource src{good};
        c.Damage(src.Bytes);
        EXPECT_FALSE(src.Check()) << c.What;
        // Names are read 260 bytes at a time and may ask beyond the end (the read comes back short); nothing
        // else may: a hostile size never turns into a large request.
        EXPECT_LE(src.MaxWanted, src.Bytes.size() + 260) << c.What;
    }
    TVectorSource intact{good};
    EXPECT_TRUE(intact.Check());
}

// A 32-bit image whose import directory holds `count` descriptors naming a.dll, then one naming `last`, then
// the terminator: long enough to be read in several blocks.
std::vector<uint8_t> ManyImports(int count, const char* last) {
    std::vector<uint8_t> b(0x400 + 0x10000);
    b[0] = 'M', b[1] = 'Z';
    Put32(b, 60, 64);
    std::memcpy(b.data() + 64, "PE\0\0", 4);
    b[64 + 6] = 1;                        // one section
    b[64 + 24] = 0x0B, b[64 + 25] = 0x01; // PE32
    Put32(b, 64 + 128, 0x1000);           // import directory RVA
    Put32(b, 64 + 132, (count + 2) * 20); // and size, terminator included
    Put32(b, 312 + 12, 0x1000);           // section: VirtualAddress
    Put32(b, 312 + 16, 0x10000);          //          SizeOfRawData
    Put32(b, 312 + 20, 0x400);            //          PointerToRawData
    const uint32_t names = 0x1000 + (count + 2) * 20;
    std::memcpy(b.data() + 0x400 + (names - 0x1000), "a.dll", 6);
    std::strcpy(reinterpret_cast<char*>(b.data()) + 0x400 + (names - 0x1000) + 16, last);
    for (int i = 0; i <= count; ++i) Put32(b, 0x400 + i * 20 + 12, i < count ? names : names + 16);
    return b;
}

TEST(ExeImports, LongImportDirectoryIsWalkedToItsEnd) {
    for (int count : {0, 204, 205, 206, 600}) {
        TVectorSource game{ManyImports(count, "d3d11.dll")};
        EXPECT_TRUE(game.Check()) << count;
        TVectorSource none{ManyImports(count, "dxgi.dll")};
        EXPECT_FALSE(none.Check()) << count;
    }
}

TEST(ExeImports, DamagedElfAnswersNo) {
    const auto good = Load(Fixture("elf/gl_prog"));
    ASSERT_GT(good.size(), 1024u);
    uint64_t phoff;
    std::memcpy(&phoff, good.data() + 32, 8);
    struct TCase {
        const char* What;
        std::function<void(std::vector<uint8_t>&)> Damage;
    } cases[] = {
        {"cut inside the header", [](auto& b) { b.resize(40); }},
        {"program headers past the end", [](auto& b) { b[32 + 7] = 0x7F; }},
        {"program headers cut", [&](auto& b) { b.resize(phoff + 60); }},
        {"unknown class", [](auto& b) { b[4] = 3; }},
        {"dynamic segment past the end", [&](auto& b) { b.resize(b.size() / 2); }},
    };
    for (const auto& c : cases) {
        TVectorSource src{good};
        c.Damage(src.Bytes);
        EXPECT_FALSE(src.Check()) << c.What;
        EXPECT_LE(src.MaxWanted, src.Bytes.size() + 256) << c.What;
    }
}

TEST(ExeImports, WineExecutableFromCommandLine) {
    EXPECT_EQ(WineExecutablePath({"Z:\\home\\u\\games\\Doom.EXE"}, "/p"), "/home/u/games/Doom.EXE");
    EXPECT_EQ(WineExecutablePath({"C:\\Program Files\\g\\g.exe", "-fullscreen"}, "/home/u/.wine"),
              "/home/u/.wine/dosdevices/c:/Program Files/g/g.exe");
    EXPECT_EQ(WineExecutablePath({"/usr/bin/wine64", "/opt/g/game.exe"}, "/p"), "/opt/g/game.exe");
    // The whole Windows command line as one argument, with spaces in the path or quotes around it.
    EXPECT_EQ(WineExecutablePath({"C:\\Program Files\\g\\g.exe -fullscreen"}, "/w"),
              "/w/dosdevices/c:/Program Files/g/g.exe");
    EXPECT_EQ(WineExecutablePath({"\"Z:\\opt\\my.exe dir\\x.EXE\" -w"}, "/w"), "/opt/my.exe dir/x.EXE");
    EXPECT_EQ(WineExecutablePath({"wine", "game.exe"}, "/p"), ""); // relative to an unknown folder
    EXPECT_EQ(WineExecutablePath({"C:\\g.exe"}, ""), "");
    EXPECT_EQ(WineExecutablePath({"wineserver", "-p"}, "/p"), "");
    EXPECT_TRUE(IsWineLoader("/usr/lib/wine/wine64-preloader"));
    EXPECT_TRUE(IsWineLoader("/usr/bin/wine"));
    EXPECT_FALSE(IsWineLoader("/usr/bin/wineserver"));
    EXPECT_FALSE(IsWineLoader("/usr/bin/winecfg-helper"));
}

TEST(ExeImportsCache, ReadsEachFileOnceUntilItChanges) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string game = dir.filePath("game.exe").toStdString();
    ASSERT_TRUE(QFile::copy(QString::fromStdString(Fixture("pe/d3d9_x64.exe")), QString::fromStdString(game)));

    TExeImportsCache cache;
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(cache.ImportsGameLibrary(game));
    EXPECT_EQ(cache.FilesRead(), 1u);

    // Replaced by another program under the same name: read again, with the new answer.
    std::filesystem::remove(game);
    ASSERT_TRUE(QFile::copy(QString::fromStdString(Fixture("pe/plain_x86.exe")), QString::fromStdString(game)));
    EXPECT_FALSE(cache.ImportsGameLibrary(game));
    EXPECT_EQ(cache.FilesRead(), 2u);

    // Same inode and size, only the time changes: read again.
    struct utimbuf t {
        1000000, 1000000
    };
    ASSERT_EQ(utime(game.c_str(), &t), 0);
    EXPECT_FALSE(cache.ImportsGameLibrary(game));
    EXPECT_EQ(cache.FilesRead(), 3u);

    std::filesystem::remove(game);
    EXPECT_FALSE(cache.ImportsGameLibrary(game));
    EXPECT_EQ(cache.Size(), 0u);
}
