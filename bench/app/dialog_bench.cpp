// The main dialog's scale: Rolvek with 6 faces and with the largest die (32767 faces).
//
//   BM_MinimalDialogUp/N  reference: a plain QDialog with a QTableWidget of N + 2 rows and five
//                         columns, the face numbers in the first, shown and painted once
//   BM_DialogUp/N         the Rolvek dialog: construct, OnInitDialog, show, paint once;
//                         counter "x_minimal" is its time over BM_MinimalDialogUp of the same N
//   BM_Tick/N             one timer tick that collects a finished run and repaints the list;
//                         counter "x_6_faces" (on N = 32767) is its time over the tick at 6 faces
//
// The run a tick collects is rolled once beforehand and copied into the run object before each
// tick, outside the timed part. Every ratio compares two
// measurements of the same run of this program.
#include "CheckDlg.h"
#include "Resource.h"

#include <qdx/Settings.h>

#include <qdxtest/TestApp.h>

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

QApplication& App()
{
    return TestApp();
}

void UseSettings(int values)
{
    static const std::string path = "/tmp/rolvek-dialog-bench-" + std::to_string(::getpid()) + ".ini";
    std::remove(path.c_str());
    SetIniPath(path.c_str());
    IniWriteString("SYS", "RollValues", std::to_string(values).c_str());
    IniWriteString("SYS", "RollsPerRun", "1000");
    IniWriteString("RELEASE", "WriteLog", "NO");
}

// Mean nanoseconds per iteration of each reference, by benchmark name and N.
std::map<std::pair<std::string, int>, double>& Measured()
{
    static std::map<std::pair<std::string, int>, double> ns;
    return ns;
}

double Ns(Clock::duration d) { return std::chrono::duration<double, std::nano>(d).count(); }

void BM_MinimalDialogUp(benchmark::State& state)
{
    App();
    const int rows = static_cast<int>(state.range(0)) + 2;
    Clock::duration total{};
    for (auto _ : state) {
        const auto start = Clock::now();
        {
            QDialog dialog;
            auto* layout = new QVBoxLayout(&dialog);
            auto* table = new QTableWidget(rows, 5, &dialog);
            table->setHorizontalHeaderLabels({"Value", "Count", "Less", "More", ""});
            table->verticalHeader()->hide();
            for (int row = 0; row < rows - 2; ++row)
                table->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
            layout->addWidget(table);
            dialog.resize(462, 275);
            dialog.show();
            QApplication::processEvents();
            benchmark::DoNotOptimize(table->rowCount());
        }
        total += Clock::now() - start;
    }
    Measured()[{"minimal", rows - 2}] = Ns(total) / static_cast<double>(state.iterations());
}

void BM_DialogUp(benchmark::State& state)
{
    TestApp();
    RegisterRolvekStrings();
    const int values = static_cast<int>(state.range(0));
    UseSettings(values);
    Clock::duration total{};
    for (auto _ : state) {
        const auto start = Clock::now();
        {
            CCheckDlg dialog;
            dialog.OnInitDialog();
            dialog.show();
            QApplication::processEvents();
            benchmark::DoNotOptimize(dialog.m_nValues);
        }
        total += Clock::now() - start;
    }
    const double ns = Ns(total) / static_cast<double>(state.iterations());
    state.counters["up_ms"] = ns / 1e6;
    if (Measured().count({"minimal", values}))
        state.counters["x_minimal"] = ns / Measured()[{"minimal", values}];
}

void BM_Tick(benchmark::State& state)
{
    TestApp();
    RegisterRolvekStrings();
    const int values = static_cast<int>(state.range(0));
    UseSettings(values);
    CCheckDlg dialog;
    dialog.OnInitDialog();
    // The benchmark drives the ticks; the dialog's own timer would start a worker on the run
    // that the benchmark rolls itself.
    dialog.killTimer(dialog.m_nTimer);
    dialog.m_nTimer = 0;
    dialog.show();
    QApplication::processEvents();
    // One run rolled for real; each tick collects a copy of it. Rolling 0.2 s right before a
    // tick would leave the tick waiting for the processor on a busy machine.
    CRollTally::RollThread(&dialog.m_Run);
    SPtrArray rolled;
    rolled.Copy(dialog.m_Run.m_Counts);
    Clock::duration total{};
    for (auto _ : state) {
        state.PauseTiming();
        dialog.m_Run.m_Counts.Copy(rolled);  // a finished run, ready to be collected
        dialog.m_Run.CalcDeviations();
        dialog.m_Run.m_nState = 2;
        state.ResumeTiming();
        const auto start = Clock::now();
        dialog.OnTimer(kCheckTimerId);
        QApplication::processEvents();  // the repaint the tick asked for
        total += Clock::now() - start;
    }
    const double ns = Ns(total) / static_cast<double>(state.iterations());
    Measured()[{"tick", values}] = ns;
    state.counters["tick_ms"] = ns / 1e6;
    if (values != 6 && Measured().count({"tick", 6}))
        state.counters["x_6_faces"] = ns / Measured()[{"tick", 6}];
}

BENCHMARK(BM_MinimalDialogUp)->Arg(6)->Arg(32767)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DialogUp)->Arg(6)->Arg(32767)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Tick)->Arg(6)->Arg(32767)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
