#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::platform::proc {

// A /proc file kept open and re-read from offset 0 with pread, so each sample costs no open/close.
class TProcFile {
public:
    TProcFile() = default;
    explicit TProcFile(std::string path) : FPath(std::move(path)) {}
    ~TProcFile();
    TProcFile(const TProcFile&) = delete;
    TProcFile& operator=(const TProcFile&) = delete;

    // The whole current content; empty view on failure. Valid until the next Read.
    std::string_view Read();

private:
    bool Open();
    std::string FPath;
    int FFd = -1;
    std::vector<char> FBuffer = std::vector<char>(8192);
};

// Reads a small file whole (open, read, close); empty on failure, with the errno in `error` when given
// (0 on success).
std::string ReadSmallFile(const std::string& path, int* error = nullptr);

} // namespace kestrum::platform::proc
