// The single-instance marker against another local user: a name taken first, a hostile per-user temp
// folder, a runtime folder whose path is too long for a socket file, strangers on the channel.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstring>
#include <string>

#include "platform/ISingleInstance.h"

using namespace kestrum::platform;

namespace {

const std::string kName = "Test_@Marker";
constexpr uid_t kNobody = 65534;

sockaddr_un Abstract(const std::string& dir, socklen_t& length) {
    const std::string name = SingleInstanceSocketName(dir, kName);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.c_str(), name.size());
    length = socklen_t(sizeof(sa_family_t) + 1 + name.size());
    return addr;
}

// A process of the user nobody that does `what` (bind and listen at our marker's name, or connect to it
// and write a code) and then waits to be killed.
class TStranger {
public:
    enum TWhat { Squat, Knock };
    TStranger(const std::string& dir, TWhat what) {
        socklen_t length = 0;
        const sockaddr_un addr = Abstract(dir, length);
        int ready[2];
        if (pipe(ready) != 0) return;
        FPid = fork();
        if (FPid == 0) {
            close(ready[0]);
            if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(1);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            bool ok = false;
            if (what == Squat) {
                ok = bind(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0 && listen(fd, 8) == 0;
            } else {
                const int64_t code = 666;
                ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), length) == 0 &&
                     write(fd, &code, sizeof code) == sizeof code;
            }
            (void)!write(ready[1], ok ? "y" : "n", 1);
            pause();
            _exit(0);
        }
        close(ready[1]);
        char c = 0;
        FReady = read(ready[0], &c, 1) == 1 && c == 'y';
        close(ready[0]);
    }
    ~TStranger() {
        if (FPid <= 0) return;
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
    }
    bool Ready() const { return FReady; }

private:
    pid_t FPid = -1;
    bool FReady = false;
};

int64_t HandOver(ISingleInstance& first, ISingleInstance& second) {
    int64_t got = 0;
    first.Listen([&](int64_t code) { got = code; });
    if (!second.Send(kName, 73826)) return 0;
    for (int i = 0; i < 100 && got == 0; ++i) {
        first.Poll();
        usleep(10000);
    }
    return got;
}

} // namespace

TEST(SingleInstanceAgainstAnotherUser, ANameTakenFirstIsNotMistakenForUs) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as the user nobody";
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString() + "/run";
    TStranger squatter(dir, TStranger::Squat);
    ASSERT_TRUE(squatter.Ready());
    // Our private runtime folder serves instead: still one instance, and the hand-over still arrives.
    auto first = MakeLinuxSingleInstance(dir);
    auto second = MakeLinuxSingleInstance(dir);
    ASSERT_TRUE(first->Acquire(kName)) << "the squatter is no instance of ours";
    EXPECT_FALSE(second->Acquire(kName)) << "never two instances";
    EXPECT_EQ(HandOver(*first, *second), 73826);
}

TEST(SingleInstanceAgainstAnotherUser, AHostileTempFolderChangesNothing) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as the user nobody";
    QTemporaryDir tmp;
    // What a start without XDG_RUNTIME_DIR uses, made first by another user, open to all, with a link.
    const std::string dir = tmp.path().toStdString() + "/kestrum-0";
    mkdir(dir.c_str(), 0777);
    chmod(dir.c_str(), 0777);
    ASSERT_EQ(chown(dir.c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(symlink("/etc/passwd", (dir + "/" + kName + ".lock").c_str()), 0);
    auto first = MakeLinuxSingleInstance(dir);
    auto second = MakeLinuxSingleInstance(dir);
    ASSERT_TRUE(first->Acquire(kName));
    EXPECT_FALSE(second->Acquire(kName));
    EXPECT_EQ(HandOver(*first, *second), 73826);

    // A stranger's code on our channel is dropped unread.
    int64_t got = 0;
    first->Listen([&](int64_t code) { got = code; });
    TStranger knocker(dir, TStranger::Knock);
    ASSERT_TRUE(knocker.Ready());
    for (int i = 0; i < 20; ++i) {
        first->Poll();
        usleep(10000);
    }
    EXPECT_EQ(got, 0);
}

TEST(SingleInstanceAgainstAnotherUser, ALongRuntimePathStillHandsOver) {
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString() + "/" + std::string(120, 'r');
    auto first = MakeLinuxSingleInstance(dir);
    auto second = MakeLinuxSingleInstance(dir);
    ASSERT_TRUE(first->Acquire(kName));
    EXPECT_FALSE(second->Acquire(kName));
    EXPECT_EQ(HandOver(*first, *second), 73826) << "no silent end without a hand-over";
}
