// The main dialog's scale: Rolvek with 6 faces and with the largest die (32767 faces).
//
//   BM_DialogUp/N     construct the dialog, OnInitDialog, show it and let it paint once
//   BM_Tick/N         one timer tick that collects a finished run and rewrites the list
//   BM_PlainTexts/N   reference: the same cell texts formatted into a std::vector<std::string>
//
// The run a tick collects is rolled beforehand, outside the timed part. The counter "ratio" of
// BM_Tick is its time over BM_PlainTexts of the same N, measured in the same run.
#include "CheckDlg.h"
#include "Resource.h"

#include <qdx/Settings.h>

#include <qdxtest/TestApp.h>

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void UseSettings(int values)
{
    static const std::string path = "/tmp/rolvek-dialog-bench-" + std::to_string(::getpid()) + ".ini";
    std::remove(path.c_str());
    SetIniPath(path.c_str());
    IniWriteString("SYS", "RollValues", std::to_string(values).c_str());
    IniWriteString("SYS", "RollsPerRun", "1000");
    IniWriteString("RELEASE", "WriteLog", "NO");
}

std::map<int, double>& ReferenceNs()
{
    static std::map<int, double> ns;
    return ns;
}

void BM_PlainTexts(benchmark::State& state)
{
    const int values = static_cast<int>(state.range(0));
    std::vector<std::string> cells(static_cast<size_t>(values) * 5);
    char text[64];
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int row = 0; row < values; ++row) {
            std::snprintf(text, sizeof text, "%d", row + 1);
            cells[row * 5 + 0] = text;
            std::snprintf(text, sizeof text, "%d", 1000 + row);
            cells[row * 5 + 1] = text;
            std::snprintf(text, sizeof text, "%.2f", row * -0.01);
            cells[row * 5 + 2] = text;
            cells[row * 5 + 3].clear();
            std::snprintf(text, sizeof text, "%.2f", row * 0.01);
            cells[row * 5 + 4] = text;
        }
        benchmark::DoNotOptimize(cells.data());
    }
    auto elapsed = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    ReferenceNs()[values] = elapsed / static_cast<double>(state.iterations());
}

void BM_DialogUp(benchmark::State& state)
{
    TestApp();
    RegisterRolvekStrings();
    UseSettings(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CCheckDlg dialog;
        dialog.OnInitDialog();
        dialog.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(dialog.m_nValues);
    }
}

void BM_Tick(benchmark::State& state)
{
    TestApp();
    RegisterRolvekStrings();
    const int values = static_cast<int>(state.range(0));
    UseSettings(values);
    CCheckDlg dialog;
    dialog.OnInitDialog();
    dialog.show();
    QApplication::processEvents();
    double totalNs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CRollTally::RollThread(&dialog.m_Run);  // a finished run, ready to be collected
        state.ResumeTiming();
        auto start = std::chrono::steady_clock::now();
        dialog.OnTimer(kCheckTimerId);
        QApplication::processEvents();  // the repaint the tick asked for
        totalNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
    }
    const double tickNs = totalNs / static_cast<double>(state.iterations());
    state.counters["tick_ms"] = tickNs / 1e6;
    if (ReferenceNs().count(values))
        state.counters["ratio"] = tickNs / ReferenceNs()[values];
}

BENCHMARK(BM_PlainTexts)->Arg(6)->Arg(32767);
BENCHMARK(BM_DialogUp)->Arg(6)->Arg(32767)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Tick)->Arg(6)->Arg(32767)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
