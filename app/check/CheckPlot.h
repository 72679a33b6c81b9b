// rolvek-check --plot: the check as a picture, one self-contained SVG file (no scripts, no
// fonts or images from elsewhere) that any browser shows.
//
//   - the z-score of every face as a bar, the flag band shaded beyond ±band, flagged faces red;
//     past 400 faces, one bar per pixel column spans the column's faces;
//   - with --repeat, each test's sorted p-values against the diagonal they follow for a fair
//     generator, with the test's verdict in the legend.
#pragma once

#include <string>
#include <vector>

struct PlotSeries {
    std::string name;                // "faces", "pairs"
    std::string verdict;             // "PASSED (p 0.43)"
    std::vector<double> pValues;     // one per check, in any order
};

struct PlotData {
    std::string title;               // "lcg214013, 6 values, 10 runs of 600000 rolls"
    std::vector<double> z;           // z-score of each face, face 1 first
    double band = 0;                 // the flag band: |z| beyond it is flagged
    std::vector<PlotSeries> repeats; // empty without --repeat
};

std::string PlotSvg(const PlotData& plot);
