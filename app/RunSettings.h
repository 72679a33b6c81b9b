// The settings of a check, read once: faces of the die, rolls per face and run, and the
// generator under test. Both front ends make their run objects from one record.
//
//   std::vector<std::string> notes;
//   RunSettings s = ReadRunSettings(nullptr, {}, &notes);   // the program's settings file
//   // RollValues=abc gives s.values == 1 and the note
//   // "RollValues=abc in the settings cannot be used, using 1 (not a whole number; the file now holds 0)"
//
// Settings (section "SYS"; a missing key is written with its default, a number that is not
// written as one is rewritten as the number read, as IniReadInt does):
//   RollValues=6          faces of the die, 1 .. 32767 (values outside are taken as the nearest)
//   RollsPerRun=100000    rolls per face and run; below 1000 counts as 1000, and it is lowered
//                         so that a run's rolls fit in 32 bits. The file keeps what it holds.
//   Generator=libc        the 15-bit generator under test, see RollGenerator
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class RollStream;

// The 15-bit generators the check can test.
enum class RollGenerator {
    Libc,          // "libc": rand()'s algorithm (random_r, a state per run), its top 15 bits
    Lcg214013,     // "lcg214013": x = x * 214013 + 2531011, (x >> 16) & 0x7FFF
    Lcg1103515245, // "lcg1103515245": x = x * 1103515245 + 12345, (x / 65536) % 32768
    Minstd,        // "minstd": std::minstd_rand (x = 48271 x mod 2^31 - 1), bits 16 to 30
    Mt19937,       // "mt19937": std::mt19937, the top 15 of its 32 bits
    Randu,         // "randu": x = 65539 x mod 2^31, the top 15 of its 31 bits (a famous failure)
};

// Every generator's name, for messages: "libc, lcg214013, ..., mt19937 or randu".
const char* RollGeneratorNames();

// The setting's name of a generator ("libc", "lcg214013", ..., "randu").
const char* RollGeneratorName(RollGenerator generator);
// The generator of that name (ASCII case ignored); false when the name is not one of them.
bool RollGeneratorFromName(const char* name, RollGenerator* generator);

struct RunSettings {
    int values = 6;               // faces of the die, 1 .. 32767
    int rollsPerValue = 100000;   // rolls per face and run, 1000 .. INT_MAX / values
    RollGenerator generator = RollGenerator::Libc;
    // With a seed, run r of the check is seeded from RunSeeds(seed, r) and so are its reseeds:
    // the same seed rolls the same counts. Without one every seed comes from the clock.
    std::optional<std::uint64_t> seed;
    // Values read from a stream instead of the generator (not owned; see RollStream.h).
    RollStream* input = nullptr;
    // Also tally the pairs of consecutive accepted rolls in each run (Good's serial test,
    // SerialTest.h); opt-in, as the pair cells cost memory and time. At most kMaxPairValues faces.
    bool pairs = false;

    // Accepted rolls of one run, all faces together.
    int Rolls() const { return values * rollsPerValue; }
};

// What the command line puts in place of the settings, for one call.
struct RunOverrides {
    std::optional<int> values;          // --values
    std::optional<int> rollsPerValue;   // --rolls-per-run
    std::optional<RollGenerator> generator;
};

// Reads RollValues, RollsPerRun and Generator from `iniFile` (null: the program's settings
// file), then applies `overrides`. Every value that cannot be used as written adds one line to
// `notes` (when given) naming the key or option, the text as written and the value used:
//   "RollValues=40001 in the settings cannot be used, using 32767 (a die has 1 to 32767 faces)"
//   "Generator=bogus42 in the settings cannot be used, using libc (not a generator's name)"
//   "--values 0 cannot be used, using 1 (a die has 1 to 32767 faces)"
//   "RollsPerRun=100000 in the settings cannot be used, using 65538 (a run of 32767 faces
//    holds at most 65538 rolls per face)"
RunSettings ReadRunSettings(const char* iniFile, const RunOverrides& overrides = {},
                            std::vector<std::string>* notes = nullptr);

// The seeds of run `run` of a check with seed `seed`: the first seeds the run, each further one
// a reseed. A SplitMix64 sequence started from both numbers, so every run has seeds of its own
// whichever thread rolls it.
class RunSeeds {
public:
    RunSeeds(std::uint64_t seed, std::uint64_t run);
    std::uint32_t Next();

private:
    std::uint64_t m_state;
};

// Brings a wanted number of faces and rolls per face to what a run can use: faces into
// 1 .. 32767, rolls per face at least 1000 and at most what keeps a run's rolls within 32 bits.
RunSettings FitRunSize(long long values, long long rollsPerValue, RollGenerator generator = RollGenerator::Libc);
