// The cell texts of the result list, and the report of settings the engine cannot use.
#include "RollTally.h"
#include "RunSettings.h"

#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <qdxtest/QuietLog.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using ::testing::ElementsAre;

// The runner's settings file, read by the log writer, switches the log file off: no test of this
// runner leaves a logs directory in the build tree. Reports still reach the last-message sink.
const auto* const g_quietLog = ::testing::AddGlobalTestEnvironment(new qdx::test::QuietLog);

using TempIni = qdx::test::TempFile;  // a settings file of its own for each engine

std::string CountText(const CRollTally& t, int row)
{
    CTxt out("stale");
    const int length = t.GetCountText(row, out);
    EXPECT_EQ(length, out.GetLength());
    return static_cast<const char*>(out);
}

std::string DevText(const CRollTally& t, int row, int sign)
{
    CTxt out("stale");
    const int length = t.GetDeviationText(row, sign, out);
    EXPECT_EQ(length, out.GetLength());
    return static_cast<const char*>(out);
}

TEST(RollTallyText, CountsSwitchToMillionsAtOneMillion)
{
    TempIni ini;
    CRollTally t(ini.Path());
    EXPECT_EQ(CountText(t, 0), "");  // nothing counted yet
    for (std::int64_t c : {0LL, 999999LL, 1000000LL, 1234567LL, 2147483647LL, 5000000000LL})
        t.m_Counts.AddInt64(c);
    EXPECT_EQ(CountText(t, 0), "0");
    EXPECT_EQ(CountText(t, 1), "999999");
    EXPECT_EQ(CountText(t, 2), "1.00000 Mill");
    EXPECT_EQ(CountText(t, 3), "1.23457 Mill");
    EXPECT_EQ(CountText(t, 4), "2147.48364 Mill");  // single precision, as the list always showed
    EXPECT_EQ(CountText(t, 5), "5000.00000 Mill");  // totals past 32 bits keep counting
    EXPECT_EQ(CountText(t, 6), "");
    EXPECT_EQ(CountText(t, -1), "");
}

TEST(RollTallyText, DeviationsGoToLessOrMoreInHundredthsOfAPercent)
{
    TempIni ini;
    CRollTally t(ini.Path());
    EXPECT_EQ(DevText(t, 0, 1), "");
    for (float d : {0.1234f, -0.05f, 0.0f, -0.0f, -12.3456f})
        t.m_Devs.AddFloat(d);

    EXPECT_EQ(DevText(t, 0, 1), "12.34");
    EXPECT_EQ(DevText(t, 0, -1), "");
    EXPECT_EQ(DevText(t, 1, -1), "-5.00");
    EXPECT_EQ(DevText(t, 1, 1), "");
    // Zero (of either sign) belongs to "More".
    EXPECT_EQ(DevText(t, 2, 1), "0.00");
    EXPECT_EQ(DevText(t, 2, -1), "");
    EXPECT_EQ(DevText(t, 3, -1), "");
    EXPECT_EQ(DevText(t, 3, 1), "-0.00");
    EXPECT_EQ(DevText(t, 4, -1), "-1234.56");
    // Any other sign writes whatever the deviation.
    EXPECT_EQ(DevText(t, 1, 0), "-5.00");
    EXPECT_EQ(DevText(t, 0, 7), "12.34");
    EXPECT_EQ(DevText(t, 5, 0), "");
    EXPECT_EQ(DevText(t, -1, 0), "");
}

// Every value the engine cannot use as written gives one note naming it, its text and the value
// used; values it can use give none.
TEST(RunSettingsNotes, EachUnusableValueIsNamedWithTheValueUsed)
{
    struct Case {
        const char* file;
        RunOverrides overrides;
        int values, rollsPerValue;
        std::vector<std::string> notes;
    } cases[] = {
        {"RollValues=6\nRollsPerRun=5000\nGenerator=LCG214013\n", {}, 6, 5000, {}},
        {"RollValues=abc\n", {}, 1, 100000,
         {"RollValues=abc in the settings cannot be used, using 1 (not a whole number; the file now holds 0)"}},
        {"Generator=bogus42\n", {}, 6, 100000,
         {"Generator=bogus42 in the settings cannot be used, using libc (not the name of a generator: libc, "
          "lcg214013, lcg1103515245, minstd, mt19937 or randu)"}},
        {"RollValues=40001\nRollsPerRun=321\n", {}, 32767, 1000,
         {"RollValues=40001 in the settings cannot be used, using 32767 (a die has 1 to 32767 faces)",
          "RollsPerRun=321 in the settings cannot be used, using 1000 (fewer than 1000 count as 1000)"}},
        {"", {32767, {}, {}}, 32767, 65538,
         {"RollsPerRun=100000 in the settings cannot be used, using 65538 (a run of 32767 faces holds at most "
          "65538 rolls per face)"}},
        {"RollValues=x\nGenerator=bogus42\n", {0, 10, RollGenerator::Libc}, 1, 1000,
         {"--values 0 cannot be used, using 1 (a die has 1 to 32767 faces)",
          "--rolls-per-run 10 cannot be used, using 1000 (fewer than 1000 count as 1000)"}},
    };
    for (const Case& c : cases) {
        TempIni ini(std::string("[SYS]\n") + c.file);
        std::vector<std::string> notes;
        const RunSettings s = ReadRunSettings(ini.Path(), c.overrides, &notes);
        EXPECT_EQ(s.values, c.values) << c.file;
        EXPECT_EQ(s.rollsPerValue, c.rollsPerValue) << c.file;
        EXPECT_EQ(notes, c.notes) << c.file;
    }
}

// The window gets the notes through the log, once although its run and totals both read them.
TEST(RunSettingsNotes, TheWindowsPairLogsEachNoteOnce)
{
    std::vector<std::string> messages;
    SetLastMessageSink([&messages](const char* text) { messages.push_back(text); });
    TempIni ini("[SYS]\nRollValues=40002\nRollsPerRun=5000\n");
    {
        CRollTally run(ini.Path()), totals(ini.Path());
        EXPECT_EQ(run.m_nValues, 32767);
        EXPECT_EQ(totals.m_nRolls, 32767 * 5000);
    }
    SetLastMessageSink(nullptr);
    EXPECT_THAT(messages,
                ElementsAre("RollValues=40002 in the settings cannot be used, using 32767 (a die has 1 to 32767 faces)"));
}

} // namespace
