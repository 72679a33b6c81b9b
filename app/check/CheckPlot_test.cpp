// rolvek-check --plot: the SVG file is well-formed XML that holds nothing from elsewhere and
// draws what the check found.
#include "check/CheckPlot.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

namespace {

// Elements of the drawing by name, and the number of flagged (red) bars.
struct Drawing {
    std::map<std::string, int> elements;
    int redBars = 0;
};

Drawing Parse(const std::string& svg)
{
    std::istringstream in(svg);
    boost::property_tree::ptree tree;
    boost::property_tree::read_xml(in, tree);  // throws when not well-formed
    Drawing d;
    for (const auto& [name, child] : tree.get_child("svg")) {
        ++d.elements[name];
        if (name == "rect" && child.get<std::string>("<xmlattr>.fill", "") == "#c0392b" &&
            !child.get_optional<std::string>("<xmlattr>.fill-opacity"))
            ++d.redBars;
    }
    return d;
}

TEST(CheckPlot, BarsPerFaceWithTheBandAndSortedPValuesAgainstTheDiagonal)
{
    PlotData plot;
    plot.title = "lcg<214013> & \"friends\"";  // escaped
    plot.z = {0.5, -4.2, 1.0, 3.9, 0.0, -1.0};
    plot.band = 3.764;
    std::string svg = PlotSvg(plot);
    Drawing d = Parse(svg);
    EXPECT_EQ(d.redBars, 2);
    EXPECT_EQ(d.elements["rect"], 1 + 2 + 6);  // background, the two shaded bands, six bars
    EXPECT_EQ(d.elements["circle"], 0);
    EXPECT_THAT(svg, testing::HasSubstr("lcg&lt;214013&gt; &amp; &quot;friends&quot;"));
    EXPECT_THAT(svg, testing::Not(testing::AnyOf(testing::HasSubstr("href"), testing::HasSubstr("<script"))));

    plot.repeats = {{"faces", "PASSED (p 0.43)", {0.9, 0.1, 0.5}}, {"pairs", "FAILED (p 1e-09)", {1e-9, 2e-9, 0.3}}};
    d = Parse(PlotSvg(plot));
    EXPECT_EQ(d.elements["circle"], 3 + 3 + 2);  // the p-values and a legend mark per test

    // 5000 faces: one bar per pixel column, red where a face in it is flagged.
    plot.z.assign(5000, 0.1);
    plot.z[4321] = 9;
    plot.repeats.clear();
    d = Parse(PlotSvg(plot));
    EXPECT_EQ(d.elements["rect"], 1 + 2 + 800);
    EXPECT_EQ(d.redBars, 1);
}

} // namespace
