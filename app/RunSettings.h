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

#include <optional>
#include <string>
#include <vector>

// The 15-bit generators the check can test.
enum class RollGenerator {
    Libc,          // "libc": rand() of the C library, its top 15 bits; seeded with srand
    Lcg214013,     // "lcg214013": x = x * 214013 + 2531011, (x >> 16) & 0x7FFF
    Lcg1103515245, // "lcg1103515245": x = x * 1103515245 + 12345, (x / 65536) % 32768
};

// The setting's name of a generator ("libc", "lcg214013", "lcg1103515245").
const char* RollGeneratorName(RollGenerator generator);
// The generator of that name (ASCII case ignored); false when the name is not one of them.
bool RollGeneratorFromName(const char* name, RollGenerator* generator);

struct RunSettings {
    int values = 6;               // faces of the die, 1 .. 32767
    int rollsPerValue = 100000;   // rolls per face and run, 1000 .. INT_MAX / values
    RollGenerator generator = RollGenerator::Libc;
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

// Brings a wanted number of faces and rolls per face to what a run can use: faces into
// 1 .. 32767, rolls per face at least 1000 and at most what keeps a run's rolls within 32 bits.
RunSettings FitRunSize(long long values, long long rollsPerValue, RollGenerator generator = RollGenerator::Libc);
