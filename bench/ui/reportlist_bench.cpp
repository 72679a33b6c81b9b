// The report list with a bar per row, as the main window fills and refreshes it every second.
//
// Each benchmark times the list and, in the same run, the same texts written into a plain array
// of strings (the least any list could do); the counter "x_plain" is the ratio of the two. Row
// counts: 8 (six values, the usual case) and 32767 (the most values the check allows).
#include <qdxui/ReportListCtrl.h>

#include <benchmark/benchmark.h>

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kColumns = 5;

// The texts of one refresh: count, deviation in one of two columns, a bar caption.
struct RowTexts {
    char value[16];
    char count[32];
    char dev[32];
    char caption[32];
    int position;
    bool less;
};

RowTexts MakeTexts(int row, int tick)
{
    RowTexts t;
    const double dev = ((row * 7919 + tick * 104729) % 2001 - 1000) / 100.0;
    std::snprintf(t.value, sizeof t.value, "%d", row + 1);
    std::snprintf(t.count, sizeof t.count, "%d", 100000 * (tick + 1) + row);
    std::snprintf(t.dev, sizeof t.dev, "%.2f", dev);
    std::snprintf(t.caption, sizeof t.caption, "%.2f", dev);
    t.position = static_cast<int>(500 + dev * 50);
    t.less = dev < 0;
    return t;
}

std::unique_ptr<CReportListCtrl> BuildList(int rows)
{
    auto list = std::make_unique<CReportListCtrl>();
    list->SetupReport(0);
    const char* headings[kColumns] = {"Value", "Count", "Less", "More", ""};
    const char* samples[kColumns] = {"Value", "999999999999", "999.99", "999.99", "XXXXXXXXXXXXXXXXXXXXX"};
    for (int c = 0; c < kColumns; ++c)
        list->InsertColumn(c, headings[c], LVCFMT_RIGHT, list->GetStringWidth(samples[c]) + 12);
    for (int r = 0; r < rows; ++r)
        list->InsertItem(r, "");
    list->CreateBars(4, 1000, RGB(0, 0xB2, 0), RGB(0xFF, 0, 0), RGB(0xFF, 0xFF, 0));
    list->resize(441, 205);
    list->show();
    QApplication::processEvents();
    return list;
}

void RefreshList(CReportListCtrl& list, int rows, int tick)
{
    for (int r = 0; r < rows; ++r) {
        const RowTexts t = MakeTexts(r, tick);
        list.SetItemText(r, 0, t.value);
        list.SetItemText(r, 1, t.count);
        list.SetItemText(r, 2, t.less ? t.dev : "");
        list.SetItemText(r, 3, t.less ? "" : t.dev);
        list.SetBar(r, t.position, t.caption);
    }
    QApplication::processEvents();  // the repaint belongs to the refresh
}

void RefreshPlain(std::vector<std::string>& cells, int rows, int tick)
{
    for (int r = 0; r < rows; ++r) {
        const RowTexts t = MakeTexts(r, tick);
        std::string* row = &cells[static_cast<std::size_t>(r) * kColumns];
        row[0] = t.value;
        row[1] = t.count;
        row[2] = t.less ? t.dev : "";
        row[3] = t.less ? "" : t.dev;
        row[4] = t.caption;
    }
    benchmark::DoNotOptimize(cells.data());
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_Refresh(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    auto list = BuildList(rows);
    std::vector<std::string> cells(static_cast<std::size_t>(rows) * kColumns);
    int tick = 0;
    Clock::duration listTime{};
    Clock::duration plainTime{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        RefreshList(*list, rows, tick);
        const auto t1 = Clock::now();
        state.PauseTiming();
        RefreshPlain(cells, rows, tick);
        const auto t2 = Clock::now();
        state.ResumeTiming();
        listTime += t1 - t0;
        plainTime += t2 - t1;
        ++tick;
    }
    state.counters["ms_per_refresh"] = 1000.0 * Seconds(listTime) / static_cast<double>(state.iterations());
    state.counters["x_plain"] = Seconds(listTime) / Seconds(plainTime);
}
BENCHMARK(BM_Refresh)->Arg(8)->Arg(32767)->Unit(benchmark::kMillisecond);

void BM_Build(benchmark::State& state)
{
    const int rows = static_cast<int>(state.range(0));
    Clock::duration listTime{};
    Clock::duration plainTime{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        {
            auto list = BuildList(rows);
            RefreshList(*list, rows, 0);
        }
        const auto t1 = Clock::now();
        state.PauseTiming();
        {
            std::vector<std::string> cells(static_cast<std::size_t>(rows) * kColumns);
            RefreshPlain(cells, rows, 0);
        }
        const auto t2 = Clock::now();
        state.ResumeTiming();
        listTime += t1 - t0;
        plainTime += t2 - t1;
    }
    state.counters["ms_build_and_destroy"] = 1000.0 * Seconds(listTime) / static_cast<double>(state.iterations());
    state.counters["x_plain"] = Seconds(listTime) / Seconds(plainTime);
}
BENCHMARK(BM_Build)->Arg(8)->Arg(32767)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
