#include "engine/FreeRun.h"

#include <QThread>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>

namespace kestrum {

namespace {
using TClock = std::chrono::steady_clock;
constexpr uint64_t kMiB = 1ull << 20;

uint64_t NanosecondsSince(TClock::time_point since) {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(TClock::now() - since).count());
}

uint64_t Share(uint64_t value, uint64_t numerator, uint64_t denominator) {
    if (denominator == 0 || numerator >= denominator) return value;
    return static_cast<uint64_t>(static_cast<unsigned __int128>(value) * numerator / denominator);
}
} // namespace

TFreeRun::TFreeRun(platform::IProcesses& processes, const TFreeRunOptions& options)
    : FProcesses(processes), FOptions(options) {}

unsigned TFreeRun::ProcessorCount() {
    // Honours the processor set the program may run on, not just the machine's.
    return static_cast<unsigned>(std::max(1, QThread::idealThreadCount()));
}

bool TFreeRun::Cancelled() const {
    return FOptions.Cancel && FOptions.Cancel->load(std::memory_order_relaxed);
}

void TFreeRun::Pause(int ms) const {
    const auto end = TClock::now() + std::chrono::milliseconds(ms);
    while (!Cancelled()) {
        const auto now = TClock::now();
        if (now >= end) break;
        std::this_thread::sleep_for(std::min<TClock::duration>(end - now, std::chrono::milliseconds(10)));
    }
}

std::vector<platform::TAddressRange> TFreeRun::ColdRanges(const std::vector<platform::TMappingUse>& mappings,
                                                          bool anonymousCanLeave, uint64_t* hotBytes) {
    std::vector<platform::TAddressRange> out;
    for (const auto& m : mappings) {
        if (m.Resident == 0) continue;
        // Without swap the kernel would only walk anonymous pages and keep them.
        if (!anonymousCanLeave && m.Anonymous >= m.Resident) continue;
        if (m.Referenced * kHotShare > m.Resident) {
            if (hotBytes) *hotBytes += m.Resident;
            continue;
        }
        out.push_back(m.Range);
    }
    return out;
}

void TFreeRun::Execute(const std::vector<uint32_t>& targets, const std::vector<uint32_t>& spared,
                       TFreeRunReport& report) {
    const auto start = TClock::now();
    const std::optional<platform::TMemoryCounters> before = FProcesses.MemoryCounters();
    if (before) report.NoSwap = before->SwapTotal == 0;
    FAnonymousCanLeave = !before || before->SwapFree > 0;

    std::vector<TJob> jobs(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) {
        jobs[i].ProcessId = targets[i];
        jobs[i].Resident = FProcesses.ResidentBytes(targets[i]).value_or(0);
    }
    // Watching: clear the accessed bits of every target that is not running first, so all of them are
    // watched over the same single wait.
    if (FOptions.WatchMs > 0) {
        PreWatch(jobs, report);
        const auto clearStart = TClock::now();
        for (auto& job : jobs) {
            if (Cancelled()) break;
            job.StartTime = FProcesses.StartTime(job.ProcessId);
            if (job.Running) {
                ++report.RunningNotWatched;
                continue;
            }
            if (FProcesses.ClearAccessedBits(job.ProcessId)) ++report.Watched;
        }
        report.WatchWorkNanoseconds += NanosecondsSince(clearStart);
    }
    FRunning.clear();
    for (const auto& job : jobs)
        if (job.Running) FRunning.push_back(job.ProcessId);
    // Processes that ran are judged by their bits as they stand (what they touched since their pages came
    // in, less what the kernel aged): most of it counts as in use and stays.
    const bool watched = report.Watched > 0 || report.RunningNotWatched > 0;
    uint64_t serialNs = NanosecondsSince(start) - report.PreWatchNanoseconds;
    if (watched) {
        const auto watchStart = TClock::now();
        Pause(FOptions.WatchMs);
        report.WatchNanoseconds = NanosecondsSince(watchStart);
    }

    TrimJobs(jobs, watched, report);

    // Sums in snapshot order, whichever thread did the work: the report does not depend on timing.
    std::vector<platform::TPushedOut> pushedOut;
    const auto sumStart = TClock::now();
    FTaken.assign(jobs.size(), 0);
    for (size_t index = 0; index < jobs.size(); ++index) {
        const TJob& job = jobs[index];
        if (!job.Done) continue;
        report.WatchWorkNanoseconds += job.WatchWorkNs;
        const platform::TTrimResult& r = job.Result;
        switch (r.Status) {
            case platform::TTrimStatus::Trimmed:
                ++report.Trimmed;
                break;
            case platform::TTrimStatus::Gone:
                ++report.Gone;
                break;
            case platform::TTrimStatus::NoRight:
                ++report.NoRight;
                break;
            case platform::TTrimStatus::Failed:
                ++report.Failed;
                if (!report.FirstError) report.FirstError = r.Error;
                break;
        }
        if (r.Status != platform::TTrimStatus::Trimmed) continue;
        report.HotBytesKept += job.HotBytes;
        report.BytesRequested += r.BytesRequested;
        report.KernelNanoseconds += r.KernelNanoseconds;
        // 0 after the trim means the figure could not be read (the process left meanwhile).
        if (r.ResidentAfter == 0) continue;
        if (r.ResidentBefore > r.ResidentAfter) {
            report.ResidentTaken += r.ResidentBefore - r.ResidentAfter;
            FTaken[index] = r.ResidentBefore - r.ResidentAfter;
        }
        if (r.AnonBefore > r.AnonAfter) {
            report.AnonTaken += r.AnonBefore - r.AnonAfter;
            pushedOut.push_back({job.ProcessId, r.AnonBefore - r.AnonAfter});
        }
    }
    serialNs += NanosecondsSince(sumStart);
    report.WorkNanoseconds += serialNs;
    report.TrimNanoseconds = NanosecondsSince(start) - report.WatchNanoseconds - report.PreWatchNanoseconds;
    if (Cancelled()) {
        report.Cancelled = true;
        return;
    }

    // The gain is measured after this returns: let writeback end first, then free what went to swap, then
    // hand back the pages the processors keep to themselves.
    const auto settleStart = TClock::now();
    // Only pages pushed out to swap are written; the file pages a trim drops are clean.
    if (report.AnonTaken > 0 && before) WaitForWriteback(before->Writeback);
    uint64_t settleNs = NanosecondsSince(settleStart);
    const auto reclaimStart = TClock::now();
    FollowUp(pushedOut, spared, before, report);
    report.ReclaimNanoseconds = NanosecondsSince(reclaimStart);
    const auto releaseStart = TClock::now();
    ReleaseFreeLists(report);
    settleNs += NanosecondsSince(releaseStart);
    report.SettleNanoseconds = settleNs;
    report.Cancelled = Cancelled();
}

void TFreeRun::PreWatch(std::vector<TJob>& jobs, TFreeRunReport& report) {
    if (FOptions.PreWatchMs <= 0) return;
    const auto readStart = TClock::now();
    bool any = false;
    for (auto& job : jobs) {
        job.ProcessorTime = FProcesses.ProcessorTime(job.ProcessId);
        any = any || job.ProcessorTime.has_value();
    }
    report.WatchWorkNanoseconds += NanosecondsSince(readStart);
    if (!any || Cancelled()) return;
    const auto waitStart = TClock::now();
    Pause(FOptions.PreWatchMs);
    report.PreWatchNanoseconds = NanosecondsSince(waitStart);
    const auto againStart = TClock::now();
    for (auto& job : jobs) {
        if (!job.ProcessorTime) continue;
        const std::optional<uint64_t> now = FProcesses.ProcessorTime(job.ProcessId);
        job.Running = now && *now != *job.ProcessorTime;
    }
    report.WatchWorkNanoseconds += NanosecondsSince(againStart);
}

void TFreeRun::TrimJobs(std::vector<TJob>& jobs, bool watched, TFreeRunReport& report) {
    if (jobs.empty()) return;
    // Biggest first, so the threads end together instead of one trimming a giant alone at the end.
    std::vector<size_t> order(jobs.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return jobs[a].Resident > jobs[b].Resident; });

    std::atomic<size_t> next = 0;
    std::atomic<uint64_t> workNs = 0;
    auto weight = [](const TJob& j) { return std::min<uint64_t>(j.Resident / 1024 + 1, UINT32_MAX); };
    uint64_t totalWork = 0;
    for (const TJob& j : jobs) totalWork += weight(j);
    const auto total = static_cast<uint32_t>(std::min<uint64_t>(totalWork, UINT32_MAX));
    std::atomic<uint64_t> doneWork = 0;
    std::mutex poolMutex;
    std::condition_variable poolDone;
    size_t working = 0;
    std::vector<uint64_t> threadIds;
    auto finished = [&](const TJob& j) {
        const uint64_t done = doneWork += weight(j);
        if (FOptions.Progress) FOptions.Progress(static_cast<uint32_t>(std::min<uint64_t>(done, total)), total);
    };
    auto worker = [&] {
        // Page-out work (compression for zram) runs in this thread: keep it below the desktop.
        FProcesses.LowerThreadPriority();
        const uint64_t self = FProcesses.CurrentThreadId();
        {
            std::lock_guard lock(poolMutex);
            threadIds.push_back(self);
        }
        const auto t0 = TClock::now();
        for (;;) {
            if (Cancelled()) break;
            const size_t i = next.fetch_add(1);
            if (i >= order.size()) break;
            TJob& job = jobs[order[i]];
            try {
                TrimOne(job, watched);
            } catch (...) {
                job.Result = {platform::TTrimStatus::Failed};
            }
            job.Done = true;
            finished(job);
        }
        workNs += NanosecondsSince(t0);
        // Out of the list before it ends: a thread id is soon reused, by any program.
        std::lock_guard lock(poolMutex);
        threadIds.erase(std::find(threadIds.begin(), threadIds.end(), self));
        --working;
        poolDone.notify_all();
    };

    const unsigned wanted = FOptions.MaxThreads ? FOptions.MaxThreads : ProcessorCount();
    const size_t count = std::min<size_t>(std::max(1u, wanted), jobs.size());
    std::vector<std::thread> pool;
    pool.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        try {
            {
                std::lock_guard lock(poolMutex);
                ++working;
            }
            pool.emplace_back(worker);
        } catch (...) {
            std::lock_guard lock(poolMutex);
            --working;
            break; // no more threads: the ones started share the work
        }
    }
    RaiseWhileSlow(poolMutex, poolDone, working, threadIds);
    report.Threads = static_cast<uint32_t>(pool.size());
    if (pool.empty()) {
        // Not even one thread: do the work here, at the caller's priority.
        report.Threads = 1;
        const auto t0 = TClock::now();
        for (size_t i = 0; i < order.size() && !Cancelled(); ++i) {
            TrimOne(jobs[order[i]], watched);
            jobs[order[i]].Done = true;
            finished(jobs[order[i]]);
        }
        workNs += NanosecondsSince(t0);
    }
    for (auto& t : pool) t.join();
    report.WorkNanoseconds += workNs;
}

void TFreeRun::RaiseWhileSlow(std::mutex& mutex, std::condition_variable& done, const size_t& working,
                              const std::vector<uint64_t>& threads) {
    std::unique_lock lock(mutex);
    const auto start = TClock::now();
    for (int step = 1; step <= 2; ++step) {
        const auto when = start + std::chrono::milliseconds(FOptions.RaiseAfterMs[step - 1]);
        if (done.wait_until(lock, when, [&] { return working == 0; })) return;
        for (uint64_t thread : threads)
            if (thread != 0) FProcesses.RaiseThreadPriority(thread, step);
    }
}

void TFreeRun::TrimOne(TJob& job, bool watched) {
    if (!watched) {
        job.Result = FProcesses.TrimWorkingSet(job.ProcessId);
        return;
    }
    const std::optional<uint64_t> startTime = FProcesses.StartTime(job.ProcessId);
    if (job.StartTime && startTime != job.StartTime) {
        // The process ended while we watched (and its id may belong to another one by now).
        job.Result = {platform::TTrimStatus::Gone};
        return;
    }
    const auto readStart = TClock::now();
    const auto mappings = FProcesses.MappingUse(job.ProcessId);
    job.WatchWorkNs += NanosecondsSince(readStart);
    if (!mappings) {
        // Unreadable mappings: gone, or no right to look into (and so to trim) the process.
        job.Result = {startTime ? platform::TTrimStatus::NoRight : platform::TTrimStatus::Gone};
        return;
    }
    job.Result = FProcesses.TrimRanges(job.ProcessId, ColdRanges(*mappings, FAnonymousCanLeave, &job.HotBytes));
}

void TFreeRun::FollowUp(const std::vector<platform::TPushedOut>& pushedOut, const std::vector<uint32_t>& spared,
                        const std::optional<platform::TMemoryCounters>& start, TFreeRunReport& report) {
    if (!FOptions.FollowUp) {
        report.FollowUp = FOLLOWUP_OFF;
        return;
    }
    // Only what still sits in memory as swap cache can be freed; with zram (or no swap) that is nothing,
    // and a reclaim would only take other memory.
    uint64_t bound = report.AnonTaken;
    const std::optional<platform::TMemoryCounters> now = FProcesses.MemoryCounters();
    if (start && now) {
        report.SwapCacheGrowth = now->SwapCached > start->SwapCached ? now->SwapCached - start->SwapCached : 0;
        bound = std::min(bound, report.SwapCacheGrowth);
    }
    if (pushedOut.empty() || bound < kMiB) {
        report.FollowUp = FOLLOWUP_NOT_NEEDED;
        return;
    }
    std::vector<platform::TPushedOut> asked = pushedOut;
    for (auto& p : asked) p.Bytes = Share(p.Bytes, bound, report.AnonTaken);
    platform::TReclaimResult r = FProcesses.ReclaimPushedOut(asked, spared);
    if (r.Available) {
        report.FollowUp = FOLLOWUP_CGROUPS;
        report.Reclaim = r;
        return;
    }
    // The node-wide reclaim is bounded by the swap cache the run added; without the counters it cannot be.
    // It takes the coldest pages of every program, this one's too: the window's would come back from a disk
    // busy with the run's writing, and the window would wait. So this program's memory stays put meanwhile.
    if (start && now) {
        const bool held = FProcesses.HoldOwnMemory(true);
        ReclaimNodes(bound, start->SwapCached, spared, report);
        if (held) FProcesses.HoldOwnMemory(false);
    } else {
        report.FollowUp = FOLLOWUP_NOT_OFFERED;
    }
}

void TFreeRun::ReclaimNodes(uint64_t bound, uint64_t swapCacheStart, const std::vector<uint32_t>& spared,
                            TFreeRunReport& report) {
    if (!FProcesses.ReclaimFromNodes(0).Available) {
        report.FollowUp = FOLLOWUP_NOT_OFFERED;
        return;
    }
    report.FollowUp = FOLLOWUP_NODES;
    report.Reclaim.Available = true;
    report.SparedResidentBefore = report.SparedResidentAfter = ResidentOf(spared);
    // The kernel takes the coldest pages of the whole node. Most of what the run pushed out waits at the
    // cold end of the list, but not all of it: pages whose writing ended before they were back on the list
    // sit at its warm end, behind the programs in use. Once the cold end is used up, a step goes through a
    // program in use, and every page it evicts there that program reads back from the disk. So: small
    // steps, and stop at the first sign of it (pages taken that were not ours, pages looked at and left,
    // a program in use sending pages to swap). Resident sizes would not tell: busy programs allocate and
    // free all the time.
    struct TWatched {
        uint32_t ProcessId;
        uint64_t Swapped;
        bool InUse; // ran during the pre-watch (else spared)
    };
    std::vector<TWatched> watched;
    const uint32_t self = FProcesses.CurrentProcessId();
    for (const bool inUse : {true, false})
        for (uint32_t pid : inUse ? FRunning : spared)
            if (pid != self)
                if (auto swapped = FProcesses.SwappedBytes(pid)) watched.push_back({pid, *swapped, inUse});
    const uint64_t tail = std::max(kNodeTailBytes, bound / kNodeTailShare);
    uint64_t left = bound, ours = bound;
    std::optional<platform::TMemoryCounters> before = FProcesses.MemoryCounters();
    std::optional<platform::TReclaimCounters> reclaimBefore = FProcesses.ProactiveReclaimCounters();
    report.NodeStop = NODESTOP_TAIL;
    while (true) {
        if (Cancelled()) {
            report.NodeStop = NODESTOP_CANCELLED;
            break;
        }
        if (!before) {
            report.NodeStop = NODESTOP_COUNTERS;
            break;
        }
        const uint64_t room = std::min(left, ours);
        if (room <= tail) break;
        const uint64_t step = std::min(kNodeStepBytes, room - tail);
        left -= step;
        const platform::TReclaimResult r = FProcesses.ReclaimFromNodes(step);
        ++report.NodeSteps;
        report.Reclaim.BytesRequested += r.BytesRequested;
        report.Reclaim.BytesDone += r.BytesDone;
        const auto after = FProcesses.MemoryCounters();
        const auto reclaimAfter = FProcesses.ProactiveReclaimCounters();
        report.SparedResidentAfter = ResidentOf(spared);
        // A program in use must not lose a page; the spared ones may lose their coldest pages as the rest
        // of the system does, but not a large part of a step.
        bool inUseLost = false;
        uint64_t sparedSwapped = 0;
        for (auto& w : watched) {
            const auto now = FProcesses.SwappedBytes(w.ProcessId);
            if (!now) continue; // gone
            if (*now > w.Swapped) {
                if (w.InUse)
                    inUseLost = true;
                else
                    sparedSwapped += *now - w.Swapped;
            }
            w.Swapped = *now;
        }
        if (sparedSwapped > step / kNodeForeignShare) inUseLost = true;
        if (!after) {
            report.NodeStop = NODESTOP_COUNTERS;
            break;
        }
        const uint8_t verdict = JudgeNodeStep(step, *before, *after, reclaimBefore, reclaimAfter, report);
        if (inUseLost) {
            report.NodeStop = NODESTOP_IN_USE;
            break;
        }
        if (verdict == NODESTOP_FOREIGN || verdict == NODESTOP_SCANNED) {
            report.NodeStop = verdict;
            break;
        }
        if (after->SwapCached <= swapCacheStart + kMiB) {
            report.NodeStop = NODESTOP_DONE;
            break;
        }
        if (verdict != NODESTOP_NONE) {
            report.NodeStop = verdict;
            break;
        }
        ours = std::min(ours, after->SwapCached - swapCacheStart);
        before = after;
        reclaimBefore = reclaimAfter;
    }
}

uint8_t TFreeRun::JudgeNodeStep(uint64_t step, const platform::TMemoryCounters& before,
                                const platform::TMemoryCounters& after,
                                const std::optional<platform::TReclaimCounters>& reclaimBefore,
                                const std::optional<platform::TReclaimCounters>& reclaimAfter, TFreeRunReport& report) {
    // Signed: pages the kernel pushes out of a program are added to the swap cache while they are written.
    const int64_t dropped = static_cast<int64_t>(before.SwapCached) - static_cast<int64_t>(after.SwapCached);
    if (reclaimBefore && reclaimAfter && reclaimAfter->Stolen >= reclaimBefore->Stolen &&
        reclaimAfter->Scanned >= reclaimBefore->Scanned) {
        const uint64_t stolen = reclaimAfter->Stolen - reclaimBefore->Stolen;
        const uint64_t scanned = reclaimAfter->Scanned - reclaimBefore->Scanned;
        report.NodeStolenBytes += stolen;
        report.NodeScannedBytes += scanned;
        // What it freed and what it started to push out, beyond the swap cache that went.
        const int64_t foreign = static_cast<int64_t>(stolen) - dropped;
        if (foreign > 0) report.NodeForeignBytes += static_cast<uint64_t>(foreign);
        if (foreign > static_cast<int64_t>(step / kNodeForeignShare)) return NODESTOP_FOREIGN;
        // Many pages looked at and left are pages in use: the cold end is behind us.
        if (scanned * 4 > stolen * kNodeScanQuarters) return NODESTOP_SCANNED;
    }
    // Without the kernel's counters (or besides them): less of ours went than was asked for.
    if (dropped < static_cast<int64_t>(step / 4 * 3)) return NODESTOP_SHORT;
    return NODESTOP_NONE;
}

uint64_t TFreeRun::ResidentOf(const std::vector<uint32_t>& processes) {
    uint64_t sum = 0;
    for (uint32_t pid : processes) sum += FProcesses.ResidentBytes(pid).value_or(0);
    return sum;
}

void TFreeRun::WaitForWriteback(uint64_t before) {
    // Pages still being written cannot be freed yet, and the gain measured meanwhile is not the gain.
    // Other programs' writing goes on meanwhile: wait for the level of the run's start, not for zero.
    const auto end = TClock::now() + std::chrono::milliseconds(kWritebackWaitMs);
    while (!Cancelled() && TClock::now() < end) {
        const auto c = FProcesses.MemoryCounters();
        if (!c || c->Writeback <= before + kMiB) break;
        Pause(10);
    }
}

void TFreeRun::ReleaseFreeLists(TFreeRunReport& report) {
    const auto first = FProcesses.MemoryCounters();
    if (!first) return;
    // Each step frees a bounded part of every processor's private list, and the first steps may only
    // lower the lists' limits; so go on until a long series of steps brought nothing.
    uint64_t free = first->Free;
    int quiet = 0;
    for (int i = 0; i < kFreeListSteps && quiet < kFreeListQuietSteps && !Cancelled(); ++i) {
        if (!FProcesses.ReleaseFreeListPages()) break;
        const auto c = FProcesses.MemoryCounters();
        if (!c) break;
        quiet = c->Free >= free + kMiB ? 0 : quiet + 1;
        free = std::max(free, c->Free);
    }
    report.FreeListBytes = free > first->Free ? free - first->Free : 0;
}

} // namespace kestrum
