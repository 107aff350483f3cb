// What the trimming threads ask of the real scheduler, and how the real backend tells a running process
// from a sleeping one.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "engine/FreeRun.h"
#include "platform/IProcesses.h"

using namespace kestrum;

TEST(WorkerScheduling, TrimmingThreadsTakeTheIdleClassAndLeaveTheCallerAlone) {
    auto processes = platform::MakeLinuxProcesses("/proc");
    int worker = -1;
    std::thread t([&] {
        processes->LowerThreadPriority();
        worker = sched_getscheduler(0);
    });
    t.join();
    EXPECT_EQ(worker, SCHED_IDLE);
    EXPECT_EQ(sched_getscheduler(0), SCHED_OTHER);
}

TEST(WorkerScheduling, ProcessorTimeMovesOnlyForAProcessThatRuns) {
    auto processes = platform::MakeLinuxProcesses("/proc");
    const pid_t sleeper = fork();
    if (sleeper == 0) {
        for (;;) pause();
    }
    const pid_t spinner = fork();
    if (spinner == 0) {
        for (volatile unsigned long i = 0;; ++i) {
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto s0 = processes->ProcessorTime(sleeper), r0 = processes->ProcessorTime(spinner);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto s1 = processes->ProcessorTime(sleeper), r1 = processes->ProcessorTime(spinner);
    kill(sleeper, SIGKILL);
    kill(spinner, SIGKILL);
    waitpid(sleeper, nullptr, 0);
    waitpid(spinner, nullptr, 0);
    ASSERT_TRUE(s0 && s1 && r0 && r1);
    EXPECT_EQ(*s0, *s1);
    EXPECT_GT(*r1, *r0);
    EXPECT_FALSE(processes->ProcessorTime(999999999).has_value());
}
