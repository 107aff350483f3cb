#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/ISingleInstance.h"

namespace kestrum::platform {

namespace {

// The marker is an flock()ed lock file: the kernel releases it when the holder dies, so a crashed
// instance never blocks a later start. The hand-over channel is a Unix socket beside it.
class TLinuxSingleInstance final : public ISingleInstance {
public:
    explicit TLinuxSingleInstance(std::string dir) : FDir(std::move(dir)) {
        if (FDir.empty()) FDir = "/tmp";
        if (FDir.back() != '/') FDir += '/';
    }
    ~TLinuxSingleInstance() override { Release(); }

    bool Acquire(const std::string& name) override {
        Release();
        mkdir(FDir.c_str(), 0700);
        std::string lock = FDir + name + ".lock";
        int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return true;  // no place for a marker: run rather than refuse to start
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return false;
        }
        FLockFd = fd;
        FName = name;
        return true;
    }

    bool Send(const std::string& name, int64_t code) override {
        sockaddr_un addr{};
        if (!Address(name, addr)) return false;
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                  write(fd, &code, sizeof code) == static_cast<ssize_t>(sizeof code);
        close(fd);
        return ok;
    }

    bool Listen(std::function<void(int64_t)> onCode) override {
        FOnCode = std::move(onCode);
        sockaddr_un addr{};
        if (FName.empty() || !Address(FName, addr)) return false;
        // We hold the lock, so a socket file left there belongs to a dead instance.
        unlink(addr.sun_path);
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return false;
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 8) != 0) {
            close(fd);
            return false;
        }
        FListenFd = fd;
        FSocketPath = addr.sun_path;
        return true;
    }

    int PollDescriptor() const override { return FListenFd; }

    void Poll() override {
        if (FListenFd < 0) return;
        for (;;) {
            int c = accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) break;
            // The sender writes 8 bytes and closes; wait for them briefly (blocking accepted socket).
            timeval tv{1, 0};
            setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            int64_t code = 0;
            size_t got = 0;
            while (got < sizeof code) {
                ssize_t n = read(c, reinterpret_cast<char*>(&code) + got, sizeof code - got);
                if (n <= 0) break;
                got += static_cast<size_t>(n);
            }
            close(c);
            if (got == sizeof code && FOnCode) FOnCode(code);
        }
    }

    void Release() override {
        if (FListenFd >= 0) {
            close(FListenFd);
            FListenFd = -1;
            unlink(FSocketPath.c_str());
        }
        if (FLockFd >= 0) {
            close(FLockFd);  // drops the flock
            FLockFd = -1;
        }
        FName.clear();
    }

private:
    bool Address(const std::string& name, sockaddr_un& addr) const {
        std::string path = FDir + name + ".sock";
        if (path.size() >= sizeof addr.sun_path) return false;
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        return true;
    }

    std::string FDir;
    std::string FName;
    std::string FSocketPath;
    int FLockFd = -1;
    int FListenFd = -1;
    std::function<void(int64_t)> FOnCode;
};

} // namespace

std::unique_ptr<ISingleInstance> MakeLinuxSingleInstance(const std::string& runtimeDir) {
    return std::make_unique<TLinuxSingleInstance>(runtimeDir);
}

} // namespace kestrum::platform
