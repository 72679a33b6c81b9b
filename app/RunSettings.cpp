#include "RunSettings.h"

#include <qdx/Fields.h>
#include <qdx/Settings.h>

#include <climits>
#include <string>

namespace {

struct GeneratorName {
    RollGenerator generator;
    const char* name;
};
constexpr GeneratorName kGenerators[] = {
    {RollGenerator::Libc, "libc"},
    {RollGenerator::Lcg214013, "lcg214013"},
    {RollGenerator::Lcg1103515245, "lcg1103515245"},
    {RollGenerator::Minstd, "minstd"},
    {RollGenerator::Mt19937, "mt19937"},
    {RollGenerator::Randu, "randu"},
};

// SplitMix64's output step (Steele, Lea and Flood, "Fast splittable pseudorandom number
// generators", OOPSLA 2014): a bijective mix of all 64 bits.
std::uint64_t Mix(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}
constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ull;

constexpr int kMaxValues = 32767;
constexpr int kMinRollsPerValue = 1000;

// A number as written somewhere, and how a note names it: "RollValues=abc in the settings".
struct Written {
    long long number = 0;
    std::string shown;
    bool wholeNumber = true;  // false: the text is not the number as IniReadInt writes it
};

Written FromSettings(const char* key, const std::string& text, int read)
{
    return {read, std::string(key) + "=" + text + " in the settings", text == std::to_string(read)};
}

Written FromOption(const char* option, int value)
{
    return {value, std::string(option) + " " + std::to_string(value), true};
}

void Note(std::vector<std::string>* notes, const Written& w, long long used, const std::string& why)
{
    if (notes)
        notes->push_back(w.shown + " cannot be used, using " + std::to_string(used) + " (" + why + ")");
}

} // namespace

RunSeeds::RunSeeds(std::uint64_t seed, std::uint64_t run) : m_state(Mix(seed) ^ Mix(run * kGolden + 1)) {}

std::uint32_t RunSeeds::Next()
{
    m_state += kGolden;
    return static_cast<std::uint32_t>(Mix(m_state) >> 32);
}

const char* RollGeneratorNames()
{
    return "libc, lcg214013, lcg1103515245, minstd, mt19937 or randu";
}

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

RunSettings FitRunSize(long long values, long long rollsPerValue, RollGenerator generator)
{
    // A die needs 1 .. 32767 faces: at 0 the acceptance limit divides by zero, above 32767 it
    // rejects every roll and a run would never end.
    RunSettings s;
    s.values = static_cast<int>(values < 1 ? 1 : values > kMaxValues ? kMaxValues : values);
    const long long most = INT_MAX / s.values;
    s.rollsPerValue = static_cast<int>(rollsPerValue < kMinRollsPerValue ? kMinRollsPerValue
                                       : rollsPerValue > most          ? most
                                                                       : rollsPerValue);
    s.generator = generator;
    return s;
}

RunSettings ReadRunSettings(const char* iniFile, const RunOverrides& overrides, std::vector<std::string>* notes)
{
    // The texts as stored, before IniReadInt rewrites one that is not a number.
    CString valuesText, rollsText, name;
    IniReadString("SYS", "RollValues", "6", valuesText, iniFile);
    IniReadString("SYS", "RollsPerRun", "100000", rollsText, iniFile);
    const int storedValues = IniReadInt("SYS", "RollValues", 6, iniFile);
    const int storedRolls = IniReadInt("SYS", "RollsPerRun", 100000, iniFile);
    IniReadString("SYS", "Generator", RollGeneratorName(RollGenerator::Libc), name, iniFile);
    IniWriteString("SYS", "Generator", name, iniFile);  // so the key is always in the file

    RollGenerator generator = RollGenerator::Libc;
    if (!RollGeneratorFromName(name, &generator) && !overrides.generator && notes)
        notes->push_back("Generator=" + name.str() + " in the settings cannot be used, using libc" +
                         " (not the name of a generator: " + RollGeneratorNames() + ")");
    if (overrides.generator)
        generator = *overrides.generator;

    const Written values = overrides.values ? FromOption("--values", *overrides.values)
                                            : FromSettings("RollValues", valuesText.str(), storedValues);
    const Written rolls = overrides.rollsPerValue ? FromOption("--rolls-per-run", *overrides.rollsPerValue)
                                                  : FromSettings("RollsPerRun", rollsText.str(), storedRolls);
    const RunSettings s = FitRunSize(values.number, rolls.number, generator);

    if (!values.wholeNumber)
        Note(notes, values, s.values, "not a whole number; the file now holds " + std::to_string(storedValues));
    else if (s.values != values.number)
        Note(notes, values, s.values, "a die has 1 to 32767 faces");
    if (!rolls.wholeNumber)
        Note(notes, rolls, s.rollsPerValue, "not a whole number; the file now holds " + std::to_string(storedRolls));
    else if (rolls.number < kMinRollsPerValue)
        Note(notes, rolls, s.rollsPerValue, "fewer than 1000 count as 1000");
    else if (s.rollsPerValue != rolls.number)
        Note(notes, rolls, s.rollsPerValue,
             "a run of " + std::to_string(s.values) + " faces holds at most " + std::to_string(s.rollsPerValue) +
                 " rolls per face");
    return s;
}
