#include <errno.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
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

// FNV-1a: a stable short name for the runtime folder and marker name, the same in every build.
uint64_t Fnv1a(const std::string& text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    return h;
}

// The marker is a listening socket in the abstract namespace: no file another user could create first or
// replace by a link, no path length to run out of, and the kernel frees it the moment the holder dies. The
// socket tells who holds it (the listener's credentials), so a name another user took first is recognised
// as theirs, not mistaken for a running instance of ours; only then the flock()ed lock file and a socket in
// the private runtime folder serve instead, and without such a folder we run and say so. Connections
// from other users are dropped unread. The channel is read without ever waiting, so a client that
// connects and says nothing cannot hold up the window.
sockaddr_un AbstractAddress(const std::string& runtimeDir, const std::string& name);

class TLinuxSingleInstance final : public ISingleInstance {
public:
    explicit TLinuxSingleInstance(std::string dir) : FDir(std::move(dir)) {
        if (FDir.empty()) FDir = "/tmp";
        while (FDir.size() > 1 && FDir.back() == '/') FDir.pop_back();
    }
    ~TLinuxSingleInstance() override { Release(); }

    bool Acquire(const std::string& name) override {
        Release();
        FName = name;
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd >= 0) {
            const sockaddr_un addr = AbstractAddress(FDir, name);
            if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), AbstractLength(addr)) == 0 && listen(fd, 8) == 0) {
                FListenFd = fd;
                return true;
            }
            const int err = errno;
            close(fd);
            if (err == EADDRINUSE && HolderIsUs(AbstractAddress(FDir, name)) == THolder::Us) {
                FName.clear();
                return false;
            }
        }
        // Someone else holds our name (or sockets fail): the lock file in the private folder instead.
        std::fprintf(stderr,
                     "Kestrum: the single-instance marker is held by another user; using the runtime "
                     "folder %s instead\n",
                     FDir.c_str());
        FFallback = true;
        mkdir(FDir.c_str(), 0700);
        int dir = OpenPrivateDir();
        sockaddr_un path{};
        if (dir < 0 || !PathAddress(name, path)) {
            if (dir >= 0) close(dir);
            Unmarked();
            return true;
        }
        int lock = openat(dir, (name + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        close(dir);
        struct stat st {};
        if (lock < 0 || fstat(lock, &st) != 0 || !S_ISREG(st.st_mode)) {
            if (lock >= 0) close(lock);
            Unmarked();
            return true;
        }
        if (flock(lock, LOCK_EX | LOCK_NB) != 0) {
            close(lock);
            FName.clear();
            return false;
        }
        FLockFd = lock;
        return true;
    }

    bool Send(const std::string& name, int64_t code) override {
        if (SendTo(AbstractAddress(FDir, name), code)) return true;
        sockaddr_un path{};
        int dir = OpenPrivateDir();
        if (dir >= 0) close(dir);
        if (dir >= 0 && PathAddress(name, path) && SendTo(path, code)) return true;
        std::fprintf(stderr,
                     "Kestrum: another instance holds the marker but cannot be reached; this start "
                     "ends without handing over\n");
        return false;
    }

    bool Listen(std::function<void(int64_t)> onCode) override {
        FOnCode = std::move(onCode);
        if (FName.empty()) return false;
        if (FListenFd < 0) {
            // The fallback: a socket beside the lock file, only while we hold that lock.
            sockaddr_un addr{};
            if (FLockFd < 0 || !PathAddress(FName, addr)) return false;
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
        }
        if (FPollFd >= 0) return true;
        int poll = epoll_create1(EPOLL_CLOEXEC);
        if (poll < 0 || !Watch(poll, FListenFd)) {
            if (poll >= 0) close(poll);
            return false;
        }
        FPollFd = poll;
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
            if (!FSocketPath.empty()) unlink(FSocketPath.c_str());
            FSocketPath.clear();
        }
        if (FLockFd >= 0) {
            close(FLockFd); // drops the flock
            FLockFd = -1;
        }
        FName.clear();
        FFallback = false;
    }

private:
    enum class THolder { Us, Other };

    void Unmarked() {
        std::fprintf(stderr,
                     "Kestrum: no safe place for the single-instance marker; running without it, so "
                     "a second start will run beside this one\n");
        FName.clear();
    }

    // Who listens at `addr`: only a listener of this user counts as a running instance of ours.
    static THolder HolderIsUs(const sockaddr_un& addr) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            if (fd < 0) return THolder::Other;
            const socklen_t length = addr.sun_path[0] ? socklen_t(sizeof addr) : AbstractLength(addr);
            const int rc = connect(fd, reinterpret_cast<const sockaddr*>(&addr), length);
            const int err = errno;
            ucred peer{};
            socklen_t size = sizeof peer;
            const bool known = rc == 0 && getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0;
            close(fd);
            if (known) return peer.uid == geteuid() ? THolder::Us : THolder::Other;
            if (err != EAGAIN) return THolder::Other; // bound but not listening: not an instance
            usleep(20000);                            // a full backlog empties quickly
        }
        return THolder::Other;
    }

    static bool SendTo(const sockaddr_un& addr, int64_t code) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        const socklen_t length = addr.sun_path[0] ? socklen_t(sizeof addr) : AbstractLength(addr);
        ucred peer{};
        socklen_t size = sizeof peer;
        // The code goes to an instance of ours only, never to whoever took the name.
        const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0 &&
                        getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == geteuid() &&
                        write(fd, &code, sizeof code) == static_cast<ssize_t>(sizeof code);
        close(fd);
        return ok;
    }

    static socklen_t AbstractLength(const sockaddr_un& addr) {
        return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::strlen(addr.sun_path + 1));
    }

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
            // Hand-overs come from this user's own starts; anybody else's connection is not even read.
            ucred peer{};
            socklen_t size = sizeof peer;
            if (getsockopt(c, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != geteuid()) {
                close(c);
                continue;
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

    bool PathAddress(const std::string& name, sockaddr_un& addr) const {
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
    bool FFallback = false;
    std::map<int, TPending> FPending;
    std::function<void(int64_t)> FOnCode;
};

sockaddr_un AbstractAddress(const std::string& runtimeDir, const std::string& name) {
    const std::string text = SingleInstanceSocketName(runtimeDir, name);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, text.c_str(), text.size() + 1);
    return addr;
}

} // namespace

std::string SingleInstanceSocketName(const std::string& runtimeDir, const std::string& name) {
    // One per user and runtime folder (a session), the same for every start of that session.
    std::string dir = runtimeDir.empty() ? std::string("/tmp") : runtimeDir;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    char text[64];
    std::snprintf(text, sizeof text, "kestrum.%u.%016llx", unsigned(geteuid()),
                  static_cast<unsigned long long>(Fnv1a(dir + '\n' + name)));
    return text;
}

std::unique_ptr<ISingleInstance> MakeLinuxSingleInstance(const std::string& runtimeDir) {
    return std::make_unique<TLinuxSingleInstance>(runtimeDir);
}

} // namespace kestrum::platform
