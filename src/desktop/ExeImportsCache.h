#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>

namespace kestrum {

// Remembers ImportsGameLibrary per executable file, so a poll over every running program reads only files
// that are new or changed (device, inode, size or modification time differ).
class TExeImportsCache {
public:
    bool ImportsGameLibrary(const std::string& path);
    size_t FilesRead() const { return FFilesRead; }
    size_t Size() const { return FEntries.size(); }

private:
    struct TEntry {
        uint64_t Device = 0, Inode = 0, Size = 0;
        int64_t ModSec = 0, ModNsec = 0;
        bool Result = false;
    };
    // Paths of programs that are gone are never looked up again; past this many entries start over.
    static constexpr size_t MaxEntries = 4096;
    std::unordered_map<std::string, TEntry> FEntries;
    size_t FFilesRead = 0;
};

} // namespace kestrum
