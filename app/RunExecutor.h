// Runs of one check rolled on worker threads that live as long as the executor, and handed to
// the caller one by one in run order.
//
//   RunExecutor executor(settings);                     // one job: one worker
//   executor.Run(10, [&](CRollTally& run) { totals.AddRun(run); });
//
// Each job is one worker with a ring of run objects of its own (up to 64, about 1 MB of counts):
// while the caller collects finished runs, the worker rolls on into the free ones, so it waits
// only when the whole ring is uncollected, and the caller is woken once per half ring rather
// than once per run. With several jobs, run i goes to job i % jobs; each worker seeds its own
// generator, and the caller still gets the runs in order 0, 1, 2, ...
//
// Cancel stops every rolling run within kRollStopCheckAttempts rolls and drops its partial
// counts; Run then returns the number of runs handed over so far.
//
// Each run learns its number in the check (CRollTally::m_nRunIndex, counted over all Run calls),
// so under a fixed seed its seeds are the same whichever job rolls it: the totals of a seed do
// not depend on the number of jobs. With an input stream (RunSettings::input) there is one job,
// and a run that the input cannot fill ends the Run call.
#pragma once

#include "RollTally.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class RunExecutor {
public:
    // `jobs` jobs (at least 1) with their run objects; the workers are made when Run first
    // needs them.
    explicit RunExecutor(const RunSettings& settings, int jobs = 1);
    // Cancels what still rolls and joins the workers.
    ~RunExecutor();
    RunExecutor(const RunExecutor&) = delete;
    RunExecutor& operator=(const RunExecutor&) = delete;

    // Rolls `runs` runs and calls `collect` on the calling thread with each finished run
    // (state 2), in run order. `collect` may add the run to totals (state 3) or reset it; the
    // executor makes it idle again afterwards. Returns the number of runs handed over: `runs`,
    // fewer after Cancel, or -1 when no worker thread could be made ("Start failed" is logged).
    int Run(int runs, const std::function<void(CRollTally&)>& collect);

    // Asks every worker to stop: a rolling run ends early and is dropped, no further run starts,
    // and Run returns. Only stores atomic flags, so a signal handler may call it.
    void Cancel();
    bool Cancelled() const { return m_cancel.load(std::memory_order_relaxed); }

private:
    struct Job {
        std::vector<std::unique_ptr<CRollTally>> ring;
        std::thread worker;
        int first = 0;       // this job rolls runs first, first + jobs, ...
        // Of this job's runs in the current Run call (guarded by m_lock):
        int finished = 0;    // rolled (or dropped by Cancel)
        int collected = 0;   // handed over and made idle again
        int wakeAt = 0;      // the caller sleeps until `finished` reaches this
        bool ended = false;  // the worker has left this Run call's runs (guarded by m_lock)
    };
    void Work(Job& job);
    bool StartWorkers();
    void Notify();

    std::vector<std::unique_ptr<Job>> m_jobs;  // fixed at construction (Cancel reads it)
    std::atomic<bool> m_cancel{false};
    std::mutex m_lock;
    std::condition_variable m_changed;  // a run finished, or was collected, or a worker ended
    int m_runs = 0;                     // runs of the current Run call (guarded by m_lock)
    int m_round = 0;                    // counts Run calls; a new one wakes the workers
    std::uint64_t m_base = 0;           // runs handed over by earlier Run calls (guarded by m_lock)
    bool m_quit = false;
};
