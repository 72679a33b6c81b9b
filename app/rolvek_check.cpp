// rolvek-check: the check of the Rolvek window, from the command line.
//
//   rolvek-check --runs 20 --format json > totals.json
//
// Runs the same engine with the same steps as the window's timer, one run right after the
// other, and prints the totals per face (with the texts the window shows and a text bar), the
// completed runs and the chi-square test of the totals. Settings come from the window's
// settings file, rolvek.ini beside the program; options override them for this run only.
#include <qdx/Settings.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "RollTally.h"
#include "check/CheckOptions.h"
#include "check/CheckReport.h"
#include "check/CheckRun.h"

namespace {

// Tells the user when an option's value had to be brought into range, as the window does with
// the settings.
void NoteClamp(const char* option, int wanted, int used)
{
    if (wanted != used)
        std::fprintf(stderr, "rolvek-check: %s %d cannot be used, using %d\n", option, wanted, used);
}

} // namespace

int main(int argc, char** argv)
{
    CheckOptions options;
    std::string error;
    if (!ParseCheckOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "rolvek-check: %s\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(CheckUsage().c_str(), stdout);
        return 0;
    }

    // The window and the command line share one settings file: rolvek.ini in the folder that
    // holds this program's own (beside it, or the user's configuration folder when installed).
    CString own;
    GetIniPath(own);
    const std::string ownPath = own.str();
    SetIniPath((ownPath.substr(0, ownPath.rfind('/') + 1) + "rolvek.ini").c_str());

    CRollTally totals;
    CRollTally run;
    if (options.values || options.rollsPerRun) {
        const int wantedValues = options.values.value_or(run.m_nValues);
        const int wantedRolls = options.rollsPerRun.value_or(IniReadInt("SYS", "RollsPerRun", 100000));
        int values = wantedValues, rolls = wantedRolls;
        CRollTally::ClampRunSize(values, rolls);
        if (options.values)
            NoteClamp("--values", wantedValues, values);
        if (options.rollsPerRun)
            NoteClamp("--rolls-per-run", wantedRolls, rolls);
        run.Configure(values, rolls);
        totals.Configure(values, rolls);
    }
    if (options.generator) {
        RollGeneratorFromName(options.generator->c_str(), &run.m_nGenerator);
        totals.m_nGenerator = run.m_nGenerator;
    }

    const bool showProgress = isatty(STDERR_FILENO) == 1;
    const int runs = options.runs;
    const int result = RunCheck(run, totals, runs, [showProgress, runs](int done) {
        if (showProgress)
            std::fprintf(stderr, "\rrolvek-check: run %d of %d", done, runs);
    });
    if (showProgress)
        std::fputs("\r\033[K", stderr);
    if (result != 0) {
        std::fprintf(stderr, "rolvek-check: no run could be started (Start failed)\n");
        return 1;
    }

    std::fputs(FormatReport(MakeCheckReport(totals), options.format).c_str(), stdout);
    if (std::fflush(stdout) != 0) {
        std::perror("rolvek-check: writing the report");
        return 1;
    }
    return 0;
}
