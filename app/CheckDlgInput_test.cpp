// The window rolling a stream's values (rolvek --input): ticked until the stream has ended.
#include "CheckDlg.h"
#include "Resource.h"
#include "RollStream.h"

#include <qdxtest/QuietLog.h>
#include <qdxtest/StreamRuns.h>
#include <qdxtest/TestApp.h>

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

class CheckDlgInputTest : public qdx::test::TempDirTest {
protected:
    void SetUp() override
    {
        TestApp();
        RegisterRolvekStrings();
    }

    // A window rolling the values file, ticked as its timer would until the check has stopped
    // (bounded).
    std::unique_ptr<CCheckDlg> TickToTheEnd(InputFormat format)
    {
        std::string error;
        EXPECT_TRUE(m_input.Open(m_values, format, 0, error)) << error;
        auto dialog = std::make_unique<CCheckDlg>();
        dialog->AttachAsMainWindow();
        dialog->SetInput(&m_input);
        dialog->OnInitDialog();
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!dialog->m_bStopped && std::chrono::steady_clock::now() < giveUp) {
            dialog->OnTimer(kCheckTimerId);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return dialog;
    }

    static std::string Status(const CCheckDlg& dialog) { return dialog.m_stStatus->text().toStdString(); }

    qdx::test::ScopedSettings m_settings{dir, "[SYS]\nRollValues=6\nRollsPerRun=1000\n"};  // runs of 6000 rolls
    const std::string m_values = dir.File("values");
    RollStream m_input;
};

TEST_F(CheckDlgInputTest, RollsTheStreamAndStopsAtItsEndSayingSo)
{
    // minstd's top 15 bits as u16le words (bit 0 zero): four whole runs and part of a fifth.
    std::minstd_rand generator(7);
    std::vector<int> results;
    {
        std::ofstream out(m_values, std::ios::binary);
        for (int i = 0; i < 4 * 6000 + 2000; ++i) {
            results.push_back(static_cast<int>(generator() >> 16));
            out.put(static_cast<char>((results.back() << 1) & 0xFF)).put(static_cast<char>(results.back() >> 7));
        }
    }
    const qdx::test::StreamRuns expected(results);
    ASSERT_EQ(expected.runs, 4);

    const auto dialog = TickToTheEnd(InputFormat::U16le);
    EXPECT_EQ(dialog->m_Totals.m_nRuns, 4);
    for (int f = 0; f < 6; ++f)
        EXPECT_EQ(dialog->m_Totals.GetCount(f), expected.counts[static_cast<std::size_t>(f)]) << "face " << f + 1;
    EXPECT_EQ(Status(*dialog), "Completed Runs: 4 - Stopped: the input has ended (" +
                                   std::to_string(expected.leftOver) + " values at the end do not fill a run)");
    EXPECT_EQ(dialog->m_btnStop->text().toStdString(), "&Continue");
}

TEST_F(CheckDlgInputTest, ABadValueStopsTheCheckAndTheStatusNamesIt)
{
    {
        std::ofstream out(m_values);
        for (int i = 0; i < 7000; ++i)
            out << i % 32766 << (i % 10 == 9 ? "\n" : " ");
        out << "12 x7\n";
    }
    const auto dialog = TickToTheEnd(InputFormat::Text);
    EXPECT_EQ(dialog->m_Totals.m_nRuns, 1);  // the run the bad value broke is not counted
    EXPECT_EQ(Status(*dialog), "Completed Runs: 1 - Stopped: " + m_values + ", line 701, column 4: 'x7' is not a whole number");
}

TEST(InputOptions, AreTakenOutOfTheArgumentsQtGets)
{
    char a0[] = "rolvek", a1[] = "-platform", a2[] = "offscreen", a3[] = "--input=-", a4[] = "--bits", a5[] = "20",
         a6[] = "--input-format", a7[] = "u32le";
    char* argv[] = {a0, a1, a2, a3, a4, a5, a6, a7, nullptr};
    int argc = 8;
    InputOptions options;
    std::string error;
    ASSERT_TRUE(TakeInputOptions(argc, argv, options, error)) << error;
    EXPECT_EQ(argc, 3);
    EXPECT_STREQ(argv[2], "offscreen");
    EXPECT_EQ(argv[3], nullptr);
    EXPECT_EQ(options.input, "-");
    EXPECT_EQ(options.bits, 20);
    EXPECT_EQ(options.format, InputFormat::U32le);

    struct Case {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"--input"}, "option --input needs a value"},
        {{"--input", "f", "--bits", "14"}, "bad value '14' for --bits: expected a whole number from 15 to 64"},
        {{"--input", "f", "--input-format=u8"}, "bad value 'u8' for --input-format: expected u16le, u32le, u64le or text"},
        {{"--bits=16"}, "--input-format and --bits describe the values of --input; give --input FILE too"},
    };
    for (Case& c : cases) {
        std::vector<char*> args{a0};
        for (std::string& arg : c.args)
            args.push_back(arg.data());
        args.push_back(nullptr);
        int count = static_cast<int>(args.size()) - 1;
        InputOptions o;
        EXPECT_FALSE(TakeInputOptions(count, args.data(), o, error));
        EXPECT_EQ(error, c.error);
    }
}

} // namespace
