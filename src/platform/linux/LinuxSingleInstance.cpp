#include <errno.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <vector>

#include "platform/ISingleInstance.h"

namespace kestrum::platform {

namespace {

// Connections that have not yet sent their whole code: at most this many are kept, none longer than
// kPendingSeconds (a client that connects and stays silent must not pile up descriptors).
constexpr size_t kMaxPending = 16;
constexpr int64_t kPendingSeconds = 5;

int64_t MonotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec;
}

// The marker is an flock()ed lock file: the kernel releases it when the holder dies, so a crashed
// instance never blocks a later start. The hand-over channel is a Unix socket beside it. Both live in a
// folder only this user can enter: anybody who could write there could take the marker or the socket.
// The channel is read without ever waiting, so a client that connects and says nothing cannot hold up
// the window.
class TLinuxSingleInstance final : public ISingleInstance {
public:
    explicit TLinuxSingleInstance(std::string dir) : FDir(std::move(dir)) {
        if (FDir.empty()) FDir = "/tmp";
        while (FDir.size() > 1 && FDir.back() == '/') FDir.pop_back();
    }
    ~TLinuxSingleInstance() override { Release(); }

    bool Acquire(const std::string& name) override {
        Release();
        mkdir(FDir.c_str(), 0700);
        int dir = OpenPrivateDir();
        if (dir < 0) return true; // no safe place for a marker: run rather than refuse to start
        int fd = openat(dir, (name + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        close(dir);
        if (fd < 0) return true;
        struct stat st {};
        if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            close(fd);
            return true;
        }
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return false;
        }
        FLockFd = fd;
        FName = name;
        return true;
    }

    bool Send(const std::string& name, int64_t code) override {
        int dir = OpenPrivateDir();
        if (dir < 0) return false;
        close(dir);
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
        int poll = epoll_create1(EPOLL_CLOEXEC);
        if (poll < 0 || !Watch(poll, fd)) {
            if (poll >= 0) close(poll);
            close(fd);
            unlink(addr.sun_path);
            return false;
        }
        FListenFd = fd;
        FPollFd = poll;
        FSocketPath = addr.sun_path;
        return true;
    }

    // One descriptor for the listening socket and every connection still sending.
    int PollDescriptor() const override { return FPollFd; }

    void Poll() override {
        if (FListenFd < 0) return;
        std::vector<int64_t> codes;
        epoll_event events[16];
        for (;;) {
            int n = epoll_wait(FPollFd, events, 16, 0);
            if (n <= 0) break;
            for (int i = 0; i < n; ++i) {
                const int fd = events[i].data.fd;
                if (fd == FListenFd)
                    AcceptAll(codes);
                else
                    ReadClient(fd, codes);
            }
        }
        DropStale();
        // Handed on only now: a handler may run the event loop, which must not find us half-way.
        for (int64_t code : codes)
            if (FOnCode) FOnCode(code);
    }

    void Release() override {
        for (auto& [fd, pending] : FPending) close(fd);
        FPending.clear();
        if (FPollFd >= 0) {
            close(FPollFd);
            FPollFd = -1;
        }
        if (FListenFd >= 0) {
            close(FListenFd);
            FListenFd = -1;
            unlink(FSocketPath.c_str());
        }
        if (FLockFd >= 0) {
            close(FLockFd); // drops the flock
            FLockFd = -1;
        }
        FName.clear();
    }

private:
    struct TPending {
        int64_t Code = 0;
        size_t Got = 0;
        int64_t Since = 0;
    };

    // The folder, opened without following a link, when it is a directory of this user that nobody else
    // may enter; -1 otherwise.
    int OpenPrivateDir() const {
        int dir = open(FDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (dir < 0) return -1;
        struct stat st {};
        if (fstat(dir, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
            close(dir);
            return -1;
        }
        return dir;
    }

    static bool Watch(int poll, int fd) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = fd;
        return epoll_ctl(poll, EPOLL_CTL_ADD, fd, &ev) == 0;
    }

    void AcceptAll(std::vector<int64_t>& codes) {
        for (;;) {
            int c = accept4(FListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (c < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (FPending.size() >= kMaxPending) Drop(OldestPending());
            if (!Watch(FPollFd, c)) {
                close(c);
                continue;
            }
            FPending[c] = TPending{0, 0, MonotonicSeconds()};
            // The sender usually wrote its code before we accepted: take it at once.
            ReadClient(c, codes);
        }
    }

    void ReadClient(int fd, std::vector<int64_t>& codes) {
        auto it = FPending.find(fd);
        if (it == FPending.end()) return;
        TPending& p = it->second;
        for (;;) {
            ssize_t n = read(fd, reinterpret_cast<char*>(&p.Code) + p.Got, sizeof p.Code - p.Got);
            if (n > 0) {
                p.Got += static_cast<size_t>(n);
                if (p.Got < sizeof p.Code) continue;
                codes.push_back(p.Code);
                Drop(fd);
                return;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return; // more later
            Drop(fd); // closed early or failed: nothing to hand on
            return;
        }
    }

    int OldestPending() const {
        int oldest = FPending.begin()->first;
        for (auto& [fd, p] : FPending)
            if (p.Since < FPending.at(oldest).Since) oldest = fd;
        return oldest;
    }

    void DropStale() {
        const int64_t now = MonotonicSeconds();
        std::vector<int> stale;
        for (auto& [fd, p] : FPending)
            if (now - p.Since >= kPendingSeconds) stale.push_back(fd);
        for (int fd : stale) Drop(fd);
    }

    void Drop(int fd) {
        epoll_ctl(FPollFd, EPOLL_CTL_DEL, fd, nullptr);
        close(fd);
        FPending.erase(fd);
    }

    bool Address(const std::string& name, sockaddr_un& addr) const {
        std::string path = FDir + "/" + name + ".sock";
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
    int FPollFd = -1;
    std::map<int, TPending> FPending;
    std::function<void(int64_t)> FOnCode;
};

} // namespace

std::unique_ptr<ISingleInstance> MakeLinuxSingleInstance(const std::string& runtimeDir) {
    return std::make_unique<TLinuxSingleInstance>(runtimeDir);
}

} // namespace kestrum::platform
