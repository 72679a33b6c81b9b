#include "RollTally.h"

#include "RollLoop.h"
#include "RollStream.h"
#include "RollTallyInternal.h"

#include <qdx/Log.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <mutex>
#include <string>
#include <vector>
#include <system_error>

static_assert(RAND_MAX == 0x7FFFFFFF, "the libc generator keeps the top 15 of rand()'s 31 bits");

namespace {

// Empties an array but keeps its storage, so the next run fills it without allocating.
void Empty(SPtrArray& array)
{
    if (array.GetSize() > 0)
        array.RemoveAt(0, array.GetSize());
}

// The generators under test, each giving results 0 .. 32767 and seeded with a 32-bit number.
// A run keeps its generator on its own stack, so runs on different threads share no state.
struct LibcGenerator {
    // rand()'s own algorithm with a state of its own: srandom_r(s) then random_r gives exactly
    // what srand(s) then rand() gives, without the process-wide state and its lock.
    random_data data = {};
    char state[128] = {};
    LibcGenerator() { initstate_r(1, state, sizeof state, &data); }
    void Seed(std::uint32_t seed) { srandom_r(seed, &data); }
    int operator()()
    {
        std::int32_t r = 0;
        random_r(&data, &r);
        return r >> 16;
    }
};

struct Lcg214013 {
    std::uint32_t x = 1;
    void Seed(std::uint32_t seed) { x = seed; }
    int operator()()
    {
        x = x * 214013u + 2531011u;
        return static_cast<int>((x >> 16) & 0x7FFF);
    }
};

struct Lcg1103515245 {
    std::uint32_t x = 1;
    void Seed(std::uint32_t seed) { x = seed; }
    int operator()()
    {
        x = x * 1103515245u + 12345u;
        return static_cast<int>((x / 65536) % 32768);
    }
};

struct Minstd {
    std::minstd_rand engine;
    void Seed(std::uint32_t seed) { engine.seed(seed); }  // a seed of 0 (mod 2^31 - 1) counts as 1
    int operator()() { return static_cast<int>(engine() >> 16); }  // results 1 .. 2^31 - 2
};

struct Mt19937 {
    std::mt19937 engine;
    void Seed(std::uint32_t seed) { engine.seed(seed); }
    int operator()() { return static_cast<int>(engine() >> 17); }
};

struct Randu {
    std::uint32_t x = 1;
    // RANDU needs an odd seed: an even one falls into ever shorter cycles, 0 stays at 0.
    void Seed(std::uint32_t seed) { x = (seed & 0x7FFFFFFFu) | 1u; }
    int operator()()
    {
        x = (x * 65539u) & 0x7FFFFFFFu;
        return static_cast<int>(x >> 16);
    }
};

// The seeds of a run: the clock's (SeedRandom) in the window, a run's own sequence under a
// fixed seed.
class SeedSource {
public:
    explicit SeedSource(const CRollTally& t) : m_seeds(t.m_seed.value_or(0), t.m_nRunIndex), m_fixed(t.m_seed.has_value()) {}
    std::uint32_t Next() { return m_fixed ? m_seeds.Next() : SeedRandom(); }

private:
    RunSeeds m_seeds;
    bool m_fixed;
};

// Rolls a whole run of `next` into t's counts, and into its pair tally when it has one: the
// generator is wrapped so that each accepted roll is also fed as a pair, an opt-in cost the
// plain loop never pays.
template <class Next, class Reseed>
bool RollInto(CRollTally& t, Next&& next, Reseed&& reseed, const std::atomic<bool>* stop)
{
    void** slots = t.m_Counts.GetRawData();
    if (!t.m_pPairs)
        return RollLoop(slots, t.m_nValues, t.m_nRolls, next, reseed, stop);
    PairTally& pairs = *t.m_pPairs;
    const int values = t.m_nValues;
    const int limit = 32766 - 32767 % values;
    const FaceOf faceOf(values);
    return RollLoop(
        slots, values, t.m_nRolls,
        [&] {
            const int r = next();
            if (r <= limit)
                pairs.Feed(static_cast<int>(faceOf(static_cast<std::uint32_t>(r))));
            return r;
        },
        reseed, stop);
}

template <class Generator>
bool RollWith(CRollTally& t, SeedSource& seeds)
{
    Generator g;  // a local copy the loop keeps in registers
    g.Seed(seeds.Next());
    return RollInto(t, [&g] { return g(); }, [&] { g.Seed(seeds.Next()); }, &t.m_bStop);
}

// Rolls from the input stream: the same loop, fed block by block. At the end of the input (or
// at an error, or when stopped while waiting for the stream) `next` gives 32767, which every
// die rejects, and raises the loop's stop flag, so the run ends incomplete.
bool RollFromStream(CRollTally& t)
{
    RollStream& in = *t.m_pInput;
    in.BeginRun();
    std::atomic<bool> ended{false};
    const std::uint16_t* p = in.Block() + in.Cursor();
    const std::uint16_t* end = in.Block() + in.BlockSize();
    const bool complete = RollInto(
        t,
        [&]() -> int {
            if (p == end) {
                in.SetCursor(in.BlockSize());
                if (!in.Fill(&t.m_bStop)) {
                    ended.store(true, std::memory_order_relaxed);
                    p = end = in.Block();
                    return 32767;
                }
                p = in.Block();
                end = p + in.BlockSize();
            }
            return *p++;
        },
        [] {}, &ended);
    in.SetCursor(static_cast<std::size_t>(p - in.Block()));
    return complete;
}

// Rolls a whole run into t's counts; false when it was stopped first or the input ended.
bool Roll(CRollTally& t)
{
    if (t.m_pInput)
        return RollFromStream(t);
    SeedSource seeds(t);
    switch (t.m_nGenerator) {
    case RollGenerator::Libc:
        return RollWith<LibcGenerator>(t, seeds);
    case RollGenerator::Lcg214013:
        return RollWith<Lcg214013>(t, seeds);
    case RollGenerator::Lcg1103515245:
        return RollWith<Lcg1103515245>(t, seeds);
    case RollGenerator::Minstd:
        return RollWith<Minstd>(t, seeds);
    case RollGenerator::Mt19937:
        return RollWith<Mt19937>(t, seeds);
    case RollGenerator::Randu:
        return RollWith<Randu>(t, seeds);
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

unsigned SeedRandom()
{
    long long ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    unsigned seed = static_cast<unsigned>(ticks % 1000000);
    std::srand(seed);
    return seed;
}

CRollTally::CRollTally(const RunSettings& settings)
    : m_nValues(settings.values), m_nRolls(settings.Rolls()), m_nRuns(0), m_fMaxDev(0.0f), m_nState(0),
      m_nGenerator(settings.generator), m_bStop(false), m_seed(settings.seed), m_pInput(settings.input)
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
    if (!complete) {
        // Stopped, or the input ended: the partial counts are dropped and the run is idle again.
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

namespace {

// A slot of m_Counts read and written as its 64-bit count, and a slot of m_Devs written as its
// float: the representation of SPtrArray's AddInt64/GetAtInt64 and AddFloat/GetAtFloat, for
// loops over every face that go straight over the slots.
std::int64_t SlotInt64(const void* slot)
{
    return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(slot));
}

void* Int64Slot(std::int64_t value)
{
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(value));
}

void* FloatSlot(float value)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(bits));
}

} // namespace

void CRollTally::CalcDeviations()
{
    m_fMaxDev = 0.0f;
    if (m_nValues <= 0 || m_Counts.GetSize() < m_nValues) {
        Empty(m_Devs);
        return;
    }
    // One slot per face. The totals recompute this every tick over up to 32767 faces, so the
    // slots are read and written directly; a set of the right size is simply overwritten.
    if (m_Devs.GetSize() != m_nValues) {
        Empty(m_Devs);
        if (m_Devs.SetSize(m_nValues) != 0)
            return;
        m_Devs.SetAtGrow(m_nValues - 1, nullptr);  // the count; every slot is written below
    }
    const void* const* counts = m_Counts.GetRawData();
    void** devs = m_Devs.GetRawData();
    std::int64_t sum = 0;
    for (int i = 0; i < m_nValues; ++i)
        sum += SlotInt64(counts[i]);
    float mean = static_cast<float>(static_cast<double>(sum) / m_nValues);
    float maxDev = 0.0f;
    const auto note = [&](int i, float dev) {
        devs[i] = FloatSlot(dev);
        if (std::fabs(dev) > maxDev)
            maxDev = std::fabs(dev);
    };
    if (!(mean > 0.0f)) {
        // With no rolls at all every face sits at the mean, rather than 0/0.
        for (int i = 0; i < m_nValues; ++i)
            note(i, 0.0f);
        m_fMaxDev = maxDev;
        return;
    }
    // The deviation of a count: divided by the mean in double, rounded once to float. The
    // division costs the most, so two faces go through it at once; each lane of the pair does
    // exactly the arithmetic of a single face.
    using Pair = double __attribute__((vector_size(16)));
    const double m = mean;
    int i = 0;
    for (; i + 1 < m_nValues; i += 2) {
        const Pair count = {static_cast<double>(SlotInt64(counts[i])), static_cast<double>(SlotInt64(counts[i + 1]))};
        const Pair dev = (count / m - 1.0) * 100.0;
        note(i, static_cast<float>(dev[0]));
        note(i + 1, static_cast<float>(dev[1]));
    }
    if (i < m_nValues)
        note(i, static_cast<float>((static_cast<double>(SlotInt64(counts[i])) / m - 1.0) * 100.0));
    m_fMaxDev = maxDev;
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
        m_Counts.InsertAt(0, nullptr, m_nValues);  // a count of 0 per face
    }
    int faces = run.m_nValues;
    if (faces > run.m_Counts.GetSize())
        faces = run.m_Counts.GetSize();
    if (faces > m_Counts.GetSize())
        faces = m_Counts.GetSize();
    // Every tick adds a run over all faces: straight over the slots.
    const void* const* from = run.m_Counts.GetRawData();
    void** to = m_Counts.GetRawData();
    for (int j = 0; j < faces; ++j)
        to[j] = Int64Slot(SlotInt64(from[j]) + SlotInt64(to[j]));
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
