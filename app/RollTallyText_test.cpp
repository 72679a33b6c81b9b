// The cell texts of the result list, and the report of settings the engine cannot use.
#include "RollTally.h"

#include <qdx/Platform.h>
#include <qdx/Settings.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using ::testing::ElementsAre;

// The runner's settings file, read by the log writer, switches the log file off: no test of this
// runner leaves a logs directory in the build tree. Reports still reach the last-message sink.
class QuietLog : public ::testing::Environment {
public:
    void SetUp() override
    {
        char pattern[] = "/tmp/rolvek-engine-log-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0)
            close(fd);
        m_path = pattern;
        std::ofstream(m_path, std::ios::trunc) << "[RELEASE]\nWriteLog=NO\n";
        SetIniPath(m_path.c_str());
    }
    void TearDown() override
    {
        SetIniPath(nullptr);
        unlink(m_path.c_str());
    }

private:
    std::string m_path;
};
const auto* const g_quietLog = ::testing::AddGlobalTestEnvironment(new QuietLog);

// A settings file of its own, removed at the end of the test.
class TempIni {
public:
    explicit TempIni(const std::string& text = "")
    {
        char pattern[] = "/tmp/rolvek-text-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0)
            close(fd);
        m_path = pattern;
        Write(text);
    }
    ~TempIni() { unlink(m_path.c_str()); }
    void Write(const std::string& text) { std::ofstream(m_path, std::ios::trunc) << text; }
    const char* Path() const { return m_path.c_str(); }

private:
    std::string m_path;
};

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

TEST(RollTallyText, SettingsTheEngineCannotUseAreReportedOnce)
{
    std::vector<std::string> messages;
    SetLastMessageSink([&messages](const char* text) { messages.push_back(text); });
    TempIni ini("[SYS]\nRollValues=40001\nRollsPerRun=321\n");
    {
        CRollTally run(ini.Path()), totals(ini.Path());  // the dialog's pair reads the same settings
        EXPECT_EQ(run.m_nValues, 32767);
        EXPECT_EQ(totals.m_nRolls, 32767 * 1000);
    }
    EXPECT_THAT(messages, ElementsAre("RollValues=40001 in the settings cannot be used, using 32767",
                                      "RollsPerRun=321 in the settings cannot be used, using 1000"));

    // Values the engine can use are not reported; a new unusable one is.
    messages.clear();
    ini.Write("[SYS]\nRollValues=6\nRollsPerRun=322\n");
    { CRollTally t(ini.Path()); }
    EXPECT_THAT(messages, ElementsAre("RollsPerRun=322 in the settings cannot be used, using 1000"));
    messages.clear();
    ini.Write("[SYS]\nRollValues=6\nRollsPerRun=5000\n");
    { CRollTally t(ini.Path()); }
    EXPECT_TRUE(messages.empty());

    SetLastMessageSink(nullptr);
}

TEST(RollTallyText, ConfigureUsesTheSameClamps)
{
    TempIni ini;
    CRollTally t(ini.Path());
    t.Configure(4, 2500);
    EXPECT_EQ(t.m_nValues, 4);
    EXPECT_EQ(t.m_nRolls, 10000);
    t.Configure(0, 10);
    EXPECT_EQ(t.m_nValues, 1);
    EXPECT_EQ(t.m_nRolls, 1000);
    t.Configure(32767, 2000000);
    EXPECT_EQ(t.m_nValues, 32767);
    EXPECT_EQ(t.m_nRolls, 32767 * (2147483647 / 32767));
}

} // namespace
