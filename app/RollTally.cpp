#include "RollTally.h"

#include "RollLoop.h"
#include "RollTallyInternal.h"

#include <qdx/Log.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <set>
#include <mutex>
#include <string>
#include <vector>
#include <system_error>

static_assert(RAND_MAX == 0x7FFFFFFF, "the libc generator keeps the top 15 of rand()'s 31 bits");

namespace {

// The seed of the LCG generators, set by SeedRandom for the calling thread. Each worker seeds
// its own, so runs on different threads never share a generator's state.
thread_local std::uint32_t t_lcgSeed = 1;

// Empties an array but keeps its storage, so the next run fills it without allocating.
void Empty(SPtrArray& array)
{
    if (array.GetSize() > 0)
        array.RemoveAt(0, array.GetSize());
}

// Rolls a whole run of `next` into t's counts, and into its pair tally when it has one: the
// generator is wrapped so that each accepted roll is also fed as a pair, an opt-in cost the
// plain loop never pays.
template <class Next, class Reseed>
bool RollWith(CRollTally& t, Next&& next, Reseed&& reseed)
{
    void** slots = t.m_Counts.GetRawData();
    if (!t.m_pPairs)
        return RollLoop(slots, t.m_nValues, t.m_nRolls, next, reseed, &t.m_bStop);
    PairTally& pairs = *t.m_pPairs;
    const int values = t.m_nValues;
    const int limit = 32766 - 32767 % values;
    return RollLoop(
        slots, values, t.m_nRolls,
        [&] {
            const int r = next();
            if (r <= limit)
                pairs.Feed(r % values);
            return r;
        },
        reseed, &t.m_bStop);
}

// Rolls a whole run into t's counts; false when it was stopped first.
bool Roll(CRollTally& t)
{
    switch (t.m_nGenerator) {
    case RollGenerator::Libc:
        return RollWith(t, [] { return std::rand() >> 16; }, [] { SeedRandom(); });
    case RollGenerator::Lcg214013: {
        std::uint32_t x = t_lcgSeed;
        return RollWith(
            t,
            [&x] {
                x = x * 214013u + 2531011u;
                return static_cast<int>((x >> 16) & 0x7FFF);
            },
            [&x] {
                SeedRandom();
                x = t_lcgSeed;
            });
    }
    case RollGenerator::Lcg1103515245: {
        std::uint32_t x = t_lcgSeed;
        return RollWith(
            t,
            [&x] {
                x = x * 1103515245u + 12345u;
                return static_cast<int>((x / 65536) % 32768);
            },
            [&x] {
                SeedRandom();
                x = t_lcgSeed;
            });
    }
    }
    return false;
}

// Logs a note on the settings once per process (the dialog's run and totals read the same
// settings).
void LogNoteOnce(const std::string& note)
{
    static std::mutex lock;
    static std::set<std::string> logged;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!logged.insert(note).second)
            return;
    }
    LogTrace("TallyRun", 1, "%s", note.c_str());
}

} // namespace

RollWorkerFactory g_rollWorkerFactory = [](CRollTally* tally) { return std::thread(CRollTally::RollThread, tally); };

void SeedRandom()
{
    long long ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    unsigned seed = static_cast<unsigned>(ticks % 1000000);
    std::srand(seed);
    t_lcgSeed = seed;
}

CRollTally::CRollTally(const RunSettings& settings)
    : m_nValues(settings.values), m_nRolls(settings.Rolls()), m_nRuns(0), m_fMaxDev(0.0f), m_nState(0),
      m_nGenerator(settings.generator), m_bStop(false)
{
    if (settings.pairs && settings.values <= kMaxPairValues)
        m_pPairs = std::make_unique<PairTally>(settings.values);
}

CRollTally::CRollTally(const char* iniFile) : CRollTally(RunSettings())
{
    std::vector<std::string> notes;
    const RunSettings settings = ReadRunSettings(iniFile, {}, &notes);
    for (const std::string& note : notes)
        LogNoteOnce(note);
    m_nValues = settings.values;
    m_nRolls = settings.Rolls();
    m_nGenerator = settings.generator;
}

CRollTally::~CRollTally()
{
    if (m_hThread.joinable())
        m_hThread.join();
}

int CRollTally::Start()
{
    int idle = 0;
    // Taking state 1 before the thread exists means no second worker can start on this object.
    if (!m_nState.compare_exchange_strong(idle, 1))
        return 1;
    if (m_hThread.joinable())
        m_hThread.join();  // a finished worker that nobody reset: it has ended already
    m_hDoneThread = std::thread::id();
    try {
        m_hThread = g_rollWorkerFactory(this);
    } catch (const std::system_error&) {
        LogTrace("TallyRun", 1, "Start failed");
        m_nState = 0;
        return -1;
    }
    return 0;
}

int CRollTally::RollThread(CRollTally* tally)
{
    CRollTally& t = *tally;
    t.m_nState = 1;
    SeedRandom();
    Empty(t.m_Counts);
    bool complete = false;
    if (t.m_Counts.SetSize(t.m_nValues) == 0) {
        for (int i = 0; i < t.m_nValues; ++i)
            t.m_Counts.AddInt64(0);
        if (t.m_pPairs)
            t.m_pPairs->Reset(t.m_nValues);
        complete = Roll(t);
        if (complete && t.m_pPairs)
            t.m_pPairs->Close();
    }
    if (!complete && t.m_bStop.load(std::memory_order_relaxed)) {
        // Stopped: the partial counts are dropped and the run is idle again.
        Empty(t.m_Counts);
        Empty(t.m_Devs);
        t.m_fMaxDev = 0.0f;
        t.m_hDoneThread = std::this_thread::get_id();
        t.m_nState = 0;
        return 0;
    }
    // Without storage for the counts the run ends empty rather than writing past them.
    t.CalcDeviations();
    t.m_hDoneThread = std::this_thread::get_id();
    t.m_nState = 2;  // the worker touches nothing of the object after this
    return 0;
}

void CRollTally::CalcDeviations()
{
    Empty(m_Devs);
    m_fMaxDev = 0.0f;
    // Sized once for all faces: no growth while they are appended.
    if (m_nValues <= 0 || m_Counts.GetSize() < m_nValues || m_Devs.SetSize(m_nValues) != 0)
        return;
    std::int64_t sum = 0;
    for (int i = 0; i < m_nValues; ++i)
        sum += GetCount(i);
    float mean = static_cast<float>(static_cast<double>(sum) / m_nValues);
    for (int i = 0; i < m_nValues; ++i) {
        // With no rolls at all every face sits at the mean, rather than 0/0.
        float dev = 0.0f;
        if (mean > 0.0f)
            dev = static_cast<float>((static_cast<double>(GetCount(i)) / mean - 1.0) * 100.0);
        m_Devs.AddFloat(dev);
        if (std::fabs(dev) > m_fMaxDev)
            m_fMaxDev = std::fabs(dev);
    }
}

void CRollTally::Reset()
{
    // Joining first: a rolling worker is never reset under its feet, and a finished one is
    // joined exactly once.
    if (m_hThread.joinable())
        m_hThread.join();
    m_hThread = std::thread();
    m_hDoneThread = std::thread::id();
    m_nRuns = 0;
    m_fMaxDev = 0.0f;
    Empty(m_Devs);
    Empty(m_Counts);
    if (m_pPairs)
        m_pPairs->Reset(m_nValues);
    m_bStop = false;
    m_nState = 0;
}

int CRollTally::AddRun(CRollTally& run)
{
    if (run.m_nState == 1)
        return -1;
    run.m_nState = 3;
    ++m_nRuns;
    if (m_Counts.GetSize() < m_nValues) {
        m_Counts.RemoveAll();
        for (int i = 0; i < m_nValues; ++i)
            m_Counts.AddInt64(0);
    }
    int faces = run.m_nValues;
    if (faces > run.m_Counts.GetSize())
        faces = run.m_Counts.GetSize();
    if (faces > m_Counts.GetSize())
        faces = m_Counts.GetSize();
    for (int j = 0; j < faces; ++j)
        m_Counts.SetAt(j, reinterpret_cast<void*>(static_cast<std::intptr_t>(run.GetCount(j) + GetCount(j))));
    if (m_pPairs && run.m_pPairs)
        m_pPairs->Add(*run.m_pPairs);
    CalcDeviations();
    return 0;
}

int CRollTally::GetCountText(int row, CTxt& out) const
{
    out.Empty();
    if (row < 0 || row >= m_Counts.GetSize())
        return 0;
    const std::int64_t count = GetCount(row);
    if (count >= 1000000)
        out.Format("%.5f Mill", static_cast<float>(count) * 1e-6f);
    else
        out.Format("%lld", static_cast<long long>(count));
    return out.GetLength();
}

int CRollTally::GetDeviationText(int row, int sign, CTxt& out) const
{
    out.Empty();
    if (row < 0 || row >= m_Devs.GetSize())
        return 0;
    // Hundredths of a percent: a percent deviation of 0.1234 is shown as 12.34.
    const float x = GetDev(row) * 100.0f;
    const bool write = sign == -1 ? x < 0.0f : sign == 1 ? !(x < 0.0f) : true;
    if (write)
        out.Format("%.2f", x);
    return out.GetLength();
}
