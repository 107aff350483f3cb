#pragma once
// Children the integration tests start and trim, and a backend that lets the engine see only them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <string>

#include "platform/IProcesses.h"

namespace kestrum::test {

struct TRss {
    uint64_t AnonKb = 0, FileKb = 0;
};

inline TRss ReadRss(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    TRss r;
    std::string key;
    uint64_t value;
    while (in >> key) {
        if (key == "RssAnon:" && in >> value)
            r.AnonKb = value;
        else if (key == "RssFile:" && in >> value)
            r.FileKb = value;
    }
    return r;
}

// A field of /proc/meminfo in kB.
inline uint64_t MeminfoKb(const std::string& name) {
    std::ifstream in("/proc/meminfo");
    std::string key;
    uint64_t value;
    while (in >> key)
        if (key == name + ":" && in >> value) return value;
    return 0;
}
inline uint64_t SwapFreeKb() {
    return MeminfoKb("SwapFree");
}

// A child that maps and touches memory, reports ready through a pipe and waits to be killed; the hot
// kind keeps reading its file mapping until then.
class TChild {
public:
    enum TKind { FileBacked, Anonymous, FileWithLockedMiddle, HotFile };
    TChild(TKind kind, const std::string& file, size_t size) {
        int fds[2];
        if (pipe(fds) != 0) return;
        FPid = fork();
        if (FPid == 0) {
            close(fds[0]);
            volatile char sum = 0;
            char* p = nullptr;
            if (kind == FileWithLockedMiddle) {
                // Three mappings in a row; the kernel refuses to page out the locked middle one.
                int fd = ::open(file.c_str(), O_RDONLY);
                p = static_cast<char*>(mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
                if (p == MAP_FAILED) _exit(1);
                for (size_t i = 0; i < size; i += 4096) sum += p[i];
                // The system call itself: AddressSanitizer's mlock does nothing, and the pages would leave.
                if (syscall(SYS_mlock, p + size / 3, size / 3) != 0) _exit(2);
            } else if (kind == FileBacked || kind == HotFile) {
                int fd = ::open(file.c_str(), O_RDONLY);
                p = static_cast<char*>(mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0));
                if (p == MAP_FAILED) _exit(1);
                for (size_t i = 0; i < size; i += 4096) sum += p[i];
            } else {
                p = static_cast<char*>(mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
                if (p == MAP_FAILED) _exit(1);
                for (size_t i = 0; i < size; i += 4096) p[i] = static_cast<char>(i / 4096 + 1);
            }
            char c = 'r';
            if (write(fds[1], &c, 1) != 1) _exit(1);
            if (kind == HotFile)
                for (;;) {
                    for (size_t i = 0; i < size; i += 4096) sum += p[i];
                    usleep(20000);
                }
            for (;;) pause();
        }
        close(fds[1]);
        char c = 0;
        FReady = FPid > 0 && read(fds[0], &c, 1) == 1;
        close(fds[0]);
    }
    ~TChild() {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            waitpid(FPid, nullptr, 0);
        }
    }
    pid_t Pid() const { return FPid; }
    bool Ready() const { return FReady; }

private:
    pid_t FPid = -1;
    bool FReady = false;
};

// The real backend, but its snapshot shows only the children, under names of our choosing, and it
// refuses to trim anything else.
class TChildrenOnly final : public platform::IProcesses {
public:
    explicit TChildrenOnly(platform::IProcesses& real) : FReal(real) {}
    std::map<uint32_t, std::string> Names;
    std::optional<std::vector<platform::TProcessEntry>> Snapshot() override {
        std::vector<platform::TProcessEntry> out;
        for (auto& [pid, name] : Names) out.push_back({pid, name, false});
        return out;
    }
    std::string ExecutablePath(uint32_t pid) override {
        auto it = Names.find(pid);
        return it == Names.end() ? std::string() : "/opt/test/" + it->second;
    }
    platform::TTrimResult TrimWorkingSet(uint32_t pid) override {
        return Ours(pid) ? FReal.TrimWorkingSet(pid) : platform::TTrimResult{};
    }
    platform::TTrimResult TrimRanges(uint32_t pid, const std::vector<platform::TAddressRange>& ranges) override {
        return Ours(pid) ? FReal.TrimRanges(pid, ranges) : platform::TTrimResult{};
    }
    bool ClearAccessedBits(uint32_t pid) override { return Ours(pid) && FReal.ClearAccessedBits(pid); }
    std::optional<std::vector<platform::TMappingUse>> MappingUse(uint32_t pid) override {
        return FReal.MappingUse(pid);
    }
    std::optional<uint64_t> ResidentBytes(uint32_t pid) override { return FReal.ResidentBytes(pid); }
    std::optional<uint64_t> StartTime(uint32_t pid) override { return FReal.StartTime(pid); }
    uint32_t CurrentProcessId() override { return FReal.CurrentProcessId(); }
    std::optional<platform::TMemoryCounters> MemoryCounters() override { return FReal.MemoryCounters(); }
    platform::TReclaimResult ReclaimPushedOut(const std::vector<platform::TPushedOut>& pushedOut,
                                              const std::vector<uint32_t>& spare) override {
        return FReal.ReclaimPushedOut(pushedOut, spare);
    }
    platform::TReclaimResult ReclaimFromNodes(uint64_t bytes) override { return FReal.ReclaimFromNodes(bytes); }
    bool ReleaseFreeListPages() override { return FReal.ReleaseFreeListPages(); }
    void LowerThreadPriority() override { FReal.LowerThreadPriority(); }

private:
    bool Ours(uint32_t pid) {
        EXPECT_TRUE(Names.count(pid)) << "asked to trim a process the test did not start";
        return Names.count(pid) != 0;
    }
    platform::IProcesses& FReal;
};

} // namespace kestrum::test
