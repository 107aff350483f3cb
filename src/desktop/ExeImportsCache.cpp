#include "desktop/ExeImportsCache.h"

#include <sys/stat.h>

#include "desktop/ExeImports.h"

namespace kestrum {

bool TExeImportsCache::ImportsGameLibrary(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        FEntries.erase(path);
        return false;
    }
    TEntry key{uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size), int64_t(st.st_mtim.tv_sec),
               int64_t(st.st_mtim.tv_nsec)};
    auto it = FEntries.find(path);
    if (it != FEntries.end() && it->second.Device == key.Device && it->second.Inode == key.Inode &&
        it->second.Size == key.Size && it->second.ModSec == key.ModSec && it->second.ModNsec == key.ModNsec)
        return it->second.Result;
    key.Result = kestrum::ImportsGameLibrary(path);
    ++FFilesRead;
    if (it == FEntries.end() && FEntries.size() >= MaxEntries) FEntries.clear();
    FEntries[path] = key;
    return key.Result;
}

} // namespace kestrum
