#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrum {

// Reads up to `size` bytes at `offset` into `buffer`; answers how many were read (0 at or past the end).
using TByteSource = std::function<size_t(uint64_t offset, void* buffer, size_t size)>;

struct TPeSection {
    uint32_t VirtualAddress = 0;
    uint32_t SizeOfRawData = 0;
    uint32_t PointerToRawData = 0;
};

// Library-name patterns of the Windows graphics and game-network libraries, tried in this order.
extern const char* const GameLibraryPatterns[9];
// Library-name patterns of native Linux programs that draw with OpenGL or Vulkan or run on SDL.
extern const char* const ElfGameLibraryPatterns[8];

// Whole-name match, ASCII case ignored; "*" matches any run (also empty), "?" exactly one character.
bool WildcardMatch(const std::string& name, const std::string& pattern);
// The file offset of `rva`: the last section containing it wins; 0 when none does.
uint32_t RvaToFileOffset(const std::vector<TPeSection>& sections, uint32_t rva);

// Whether a Windows executable imports one of GameLibraryPatterns, walking its import descriptors in order
// and stopping at the first match. False when the bytes are no readable image (bad signatures, reads past
// the end).
bool PeImportsGameLibrary(const TByteSource& source, uint64_t fileSize);
// The same for an ELF executable's DT_NEEDED entries (32- and 64-bit, either byte order).
bool ElfImportsGameLibrary(const TByteSource& source, uint64_t fileSize);
// Dispatches on the file's signature: MZ → the Windows rule, ELF → the native rule; anything else is no game.
bool ImportsGameLibrary(const TByteSource& source, uint64_t fileSize);
// The same for a file; false when it cannot be opened or read.
bool ImportsGameLibrary(const std::string& path);

// For a process run by Wine: the Windows executable named on its command line, as a path of this system
// ("Z:\\x\\y.exe" → "/x/y.exe"; other drive letters through `winePrefix`/dosdevices). Empty when there is none
// or it is relative.
std::string WineExecutablePath(const std::vector<std::string>& commandLine, const std::string& winePrefix);
// True for display servers and compositors (Xorg, Xvfb, Xwayland, picom ...): they link OpenGL to draw for
// every other program, which makes none of them a game.
bool IsDisplayServer(const std::string& executablePath);
// True for the file names of Wine's loaders (wine, wine64, wine-preloader, wine64-preloader).
bool IsWineLoader(const std::string& executablePath);

} // namespace kestrum
