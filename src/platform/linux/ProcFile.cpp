#include "platform/linux/ProcFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace kestrum::platform::proc {

TProcFile::~TProcFile() {
    if (FFd >= 0) ::close(FFd);
}

bool TProcFile::Open() {
    if (FFd >= 0) return true;
    FFd = ::open(FPath.c_str(), O_RDONLY | O_CLOEXEC);
    return FFd >= 0;
}

std::string_view TProcFile::Read() {
    if (!Open()) return {};
    size_t used = 0;
    for (;;) {
        if (used == FBuffer.size()) FBuffer.resize(FBuffer.size() * 2);
        ssize_t n = ::pread(FFd, FBuffer.data() + used, FBuffer.size() - used, static_cast<off_t>(used));
        if (n < 0) {
            if (errno == EINTR) continue;
            // A descriptor that went bad (file replaced) is reopened on the next call.
            ::close(FFd);
            FFd = -1;
            return {};
        }
        if (n == 0) break;
        used += static_cast<size_t>(n);
        // A short read of a regular file means its end; /proc files give what they have in one go.
        if (used < FBuffer.size()) break;
    }
    return {FBuffer.data(), used};
}

std::string ReadSmallFile(const std::string& path, int* error) {
    if (error) *error = 0;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = errno;
        return {};
    }
    std::string out;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && error) *error = errno;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

} // namespace kestrum::platform::proc
