#include "RunExecutor.h"

#include <qdx/Log.h>

#include <algorithm>
#include <system_error>

namespace {

// Run objects per job: enough that a caller woken late still finds the worker busy, at most
// about 1 MB of count slots.
int RingSize(int values)
{
    const int fit = (1 << 20) / (8 * values + 64);
    return fit < 2 ? 2 : fit > 64 ? 64 : fit;
}

} // namespace

RunExecutor::RunExecutor(const RunSettings& settings, int jobs)
{
    // A stream is read in order, by one job.
    if (jobs < 1 || settings.input)
        jobs = 1;
    for (int j = 0; j < jobs; ++j) {
        auto job = std::make_unique<Job>();
        job->first = j;
        for (int r = RingSize(settings.values); r > 0; --r)
            job->ring.push_back(std::make_unique<CRollTally>(settings));
        m_jobs.push_back(std::move(job));
    }
}

RunExecutor::~RunExecutor()
{
    Cancel();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_quit = true;
    }
    m_changed.notify_all();
    for (auto& job : m_jobs)
        if (job->worker.joinable())
            job->worker.join();
}

void RunExecutor::Cancel()
{
    m_cancel.store(true, std::memory_order_relaxed);
    for (auto& job : m_jobs)
        for (auto& run : job->ring)
            run->Cancel();
}

void RunExecutor::Notify()
{
    // Taking the lock orders the change just made before the waiter's next look at it.
    { std::lock_guard<std::mutex> guard(m_lock); }
    m_changed.notify_all();
}

bool RunExecutor::StartWorkers()
{
    for (auto& job : m_jobs) {
        if (job->worker.joinable())
            continue;
        try {
            job->worker = std::thread(&RunExecutor::Work, this, std::ref(*job));
        } catch (const std::system_error&) {
            LogTrace("TallyRun", 1, "Start failed");
            return false;
        }
    }
    return true;
}

void RunExecutor::Work(Job& job)
{
    const int jobs = static_cast<int>(m_jobs.size());
    const int ring = static_cast<int>(job.ring.size());
    int seen = 0;
    for (;;) {
        int runs = 0;
        std::uint64_t base = 0;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_changed.wait(lock, [&] { return m_quit || m_round != seen; });
            if (m_quit)
                return;
            seen = m_round;
            runs = m_runs;
            base = m_base;
        }
        // In 64 bits: with --runs near 2^31 the next run number passes INT_MAX.
        for (long long i = job.first, k = 0; i < runs; i += jobs, ++k) {
            CRollTally& run = *job.ring[static_cast<std::size_t>(k % ring)];
            {
                std::unique_lock<std::mutex> lock(m_lock);
                // The whole ring rolled and not yet collected: wait for the caller.
                m_changed.wait(lock, [&] { return k - job.collected < ring || Cancelled(); });
            }
            if (Cancelled())
                break;
            run.m_nRunIndex = base + static_cast<std::uint64_t>(i);
            CRollTally::RollThread(&run);
            if (run.m_nState != 2)
                break;  // stopped, or its input ended: no run follows
            bool wake = false;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                wake = ++job.finished >= job.wakeAt;
            }
            if (wake)
                m_changed.notify_all();
        }
        {
            std::lock_guard<std::mutex> guard(m_lock);
            job.ended = true;
        }
        m_changed.notify_all();
    }
}

int RunExecutor::Run(int runs, const std::function<void(CRollTally&)>& collect)
{
    if (runs <= 0 || Cancelled())
        return 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_runs = runs;
        for (auto& job : m_jobs) {
            job->ended = false;
            job->finished = 0;
            job->collected = 0;
            job->wakeAt = 0;
        }
        ++m_round;
    }
    if (!StartWorkers()) {
        Cancel();  // the workers that did start end this round at once
    }
    m_changed.notify_all();

    const int jobs = static_cast<int>(m_jobs.size());
    int done = 0;
    for (int i = 0; i < runs && !Cancelled(); ++i) {
        Job& job = *m_jobs[static_cast<std::size_t>(i % jobs)];
        const int k = i / jobs;  // the job's own count of runs
        const int ring = static_cast<int>(job.ring.size());
        CRollTally& run = *job.ring[static_cast<std::size_t>(k % ring)];
        {
            std::unique_lock<std::mutex> lock(m_lock);
            if (job.finished <= k) {
                // Woken when half the ring is ready (or the job's last run), not for every run.
                const long long jobRuns = (static_cast<long long>(runs) - job.first + jobs - 1) / jobs;
                job.wakeAt = static_cast<int>(std::min<long long>(k + ring / 2, jobRuns));
                m_changed.wait(lock, [&] { return job.finished > k || job.ended; });
            }
        }
        if (run.m_nState != 2 || Cancelled())
            break;
        collect(run);
        run.Reset();  // idle again, its storage kept for the job's next run
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++job.collected;
        }
        m_changed.notify_all();
        ++done;
    }

    // Every worker leaves this round before the runs are touched again; a worker waiting for a
    // run to be collected learns of a Cancel here.
    Notify();
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [&] {
        for (auto& job : m_jobs)
            if (job->worker.joinable() && !job->ended)
                return false;
        return true;
    });
    m_base += static_cast<std::uint64_t>(done);
    bool started = true;
    for (auto& job : m_jobs)
        started = started && job->worker.joinable();
    return started ? done : -1;
}
