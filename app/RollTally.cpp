#include "RollTally.h"

#include "RollLoop.h"
#include "RollTallyInternal.h"

#include <qdx/Fields.h>
#include <qdx/Log.h>
#include <qdx/Settings.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <system_error>

static_assert(RAND_MAX == 0x7FFFFFFF, "the libc generator keeps the top 15 of rand()'s 31 bits");

namespace {

// The seed of the LCG generators, set by SeedRandom for the calling thread. Each worker seeds
// its own, so runs on different threads never share a generator's state.
thread_local std::uint32_t t_lcgSeed = 1;

struct GeneratorName {
    RollGenerator generator;
    const char* name;
};
constexpr GeneratorName kGenerators[] = {
    {RollGenerator::Libc, "libc"},
    {RollGenerator::Lcg214013, "lcg214013"},
    {RollGenerator::Lcg1103515245, "lcg1103515245"},
};

void Roll(CRollTally& t)
{
    void** slots = t.m_Counts.GetRawData();
    switch (t.m_nGenerator) {
    case RollGenerator::Libc:
        RollLoop(slots, t.m_nValues, t.m_nRolls, [] { return std::rand() >> 16; }, [] { SeedRandom(); });
        break;
    case RollGenerator::Lcg214013: {
        std::uint32_t x = t_lcgSeed;
        RollLoop(
            slots, t.m_nValues, t.m_nRolls,
            [&x] {
                x = x * 214013u + 2531011u;
                return static_cast<int>((x >> 16) & 0x7FFF);
            },
            [&x] {
                SeedRandom();
                x = t_lcgSeed;
            });
        break;
    }
    case RollGenerator::Lcg1103515245: {
        std::uint32_t x = t_lcgSeed;
        RollLoop(
            slots, t.m_nValues, t.m_nRolls,
            [&x] {
                x = x * 1103515245u + 12345u;
                return static_cast<int>((x / 65536) % 32768);
            },
            [&x] {
                SeedRandom();
                x = t_lcgSeed;
            });
        break;
    }
    }
}

// Reports a setting the engine could not use as stored, once per process for each stored and
// used value (the dialog's run and totals read the same settings).
void ReportClamp(const char* key, int stored, int used)
{
    if (stored == used)
        return;
    static std::mutex lock;
    static std::map<std::string, std::pair<int, int>> reported;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto [it, added] = reported.try_emplace(key, stored, used);
        if (!added && it->second == std::make_pair(stored, used))
            return;
        it->second = {stored, used};
    }
    LogTrace("TallyRun", 1, "%s=%d in the settings cannot be used, using %d", key, stored, used);
}

} // namespace

RollWorkerFactory g_rollWorkerFactory = [](CRollTally* tally) { return std::thread(CRollTally::RollThread, tally); };

const char* RollGeneratorName(RollGenerator generator)
{
    for (const GeneratorName& g : kGenerators)
        if (g.generator == generator)
            return g.name;
    return "libc";
}

bool RollGeneratorFromName(const char* name, RollGenerator* generator)
{
    if (!name)
        return false;
    for (const GeneratorName& g : kGenerators) {
        if (strcmpmode(name, g.name, 1) == 0) {
            *generator = g.generator;
            return true;
        }
    }
    return false;
}

void SeedRandom()
{
    long long ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    unsigned seed = static_cast<unsigned>(ticks % 1000000);
    std::srand(seed);
    t_lcgSeed = seed;
}

CRollTally::CRollTally(const char* iniFile)
    : m_nValues(6), m_nRolls(0), m_nRuns(0), m_fMaxDev(0.0f), m_nState(0),
      m_nGenerator(RollGenerator::Libc)
{
    const int storedValues = IniReadInt("SYS", "RollValues", 6, iniFile);
    const int storedPerValue = IniReadInt("SYS", "RollsPerRun", 100000, iniFile);
    int values = storedValues, perValue = storedPerValue;
    ClampRunSize(values, perValue);
    ReportClamp("RollValues", storedValues, values);
    ReportClamp("RollsPerRun", storedPerValue, perValue);
    m_nValues = values;
    m_nRolls = values * perValue;

    CString name;
    IniReadString("SYS", "Generator", RollGeneratorName(RollGenerator::Libc), name, iniFile);
    IniWriteString("SYS", "Generator", name, iniFile);  // so the key is always in the file
    RollGeneratorFromName(name, &m_nGenerator);         // an unknown name keeps libc
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
    t.m_Counts.RemoveAll();
    if (t.m_Counts.SetSize(t.m_nValues) == 0) {
        for (int i = 0; i < t.m_nValues; ++i)
            t.m_Counts.AddInt64(0);
        Roll(t);
    }
    // Without storage for the counts the run ends empty rather than writing past them.
    t.CalcDeviations();
    t.m_hDoneThread = std::this_thread::get_id();
    t.m_nState = 2;  // the worker touches nothing of the object after this
    return 0;
}

void CRollTally::CalcDeviations()
{
    m_Devs.RemoveAll();
    m_fMaxDev = 0.0f;
    if (m_nValues <= 0 || m_Counts.GetSize() < m_nValues)
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
    m_Devs.RemoveAll();
    m_Counts.RemoveAll();
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
    CalcDeviations();
    return 0;
}

void CRollTally::ClampRunSize(int& values, int& rollsPerValue)
{
    // A die needs 1 .. 32767 faces: at 0 the acceptance limit divides by zero, above 32767 it
    // rejects every roll and a run would never end.
    values = values < 1 ? 1 : values > 32767 ? 32767 : values;
    if (rollsPerValue < 1000)
        rollsPerValue = 1000;
    if (rollsPerValue > INT_MAX / values)
        rollsPerValue = INT_MAX / values;
}

void CRollTally::Configure(int values, int rollsPerValue)
{
    ClampRunSize(values, rollsPerValue);
    m_nValues = values;
    m_nRolls = values * rollsPerValue;
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
