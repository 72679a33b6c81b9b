// What rolvek-check reports: the statistics in the table, CSV and JSON, the failure that gives
// exit code 3, --target-bias, and the --plot picture.
#include "check/CheckPlot.h"
#include "check/CheckReport.h"

#include <qdxtest/JsonTree.h>

#include <boost/property_tree/xml_parser.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>

namespace {

using ::testing::HasSubstr;

// A report of `counts` as MakeCheckReport gives it (the texts are made up), with the statistics.
CheckReport Report(std::vector<std::int64_t> counts, int runs = 1)
{
    CheckReport r;
    r.generator = "lcg214013";
    r.values = static_cast<int>(counts.size());
    r.runs = runs;
    std::int64_t total = 0;
    for (const std::int64_t c : counts)
        total += c;
    r.rollsPerRun = static_cast<int>(total / runs);
    for (size_t i = 0; i < counts.size(); ++i) {
        const double dev = (static_cast<double>(counts[i]) * r.values / static_cast<double>(total) - 1) * 1e4;
        const std::string text = Printf("%.2f", dev);
        r.faces.push_back({static_cast<int>(i) + 1, counts[i], std::to_string(counts[i]), dev < 0 ? text : "",
                           dev < 0 ? "" : text, 500});
    }
    AddFaceStatistics(r);
    return r;
}

TEST(CheckReport, FacesCarryZFlagsAndBothTailsInEveryFormat)
{
    const CheckReport r = Report({850, 1150, 1000, 1000, 1000, 1000});
    EXPECT_NEAR(r.faces[0].z, -150 / std::sqrt(6000.0 / 6 * 5 / 6), 1e-12);
    EXPECT_TRUE(r.faces[0].flagged && r.faces[1].flagged && !r.faces[2].flagged);
    EXPECT_DOUBLE_EQ(r.faceTest.statistic, 45.0);
    EXPECT_TRUE(CheckFailed(r));

    const std::string table = FormatReport(r, CheckFormat::Table);
    EXPECT_THAT(table, HasSubstr("Rolvek check: 1 run of 6000 rolls (6 values), generator lcg214013\n"));
    EXPECT_THAT(table, HasSubstr("     2           1150           1500.00    5.20! "));
    EXPECT_THAT(table, HasSubstr("Faces: chi-square 45.0000 with 5 degrees of freedom, p-value 1.451e-08 (too uneven) "
                                 "and 1 (too even)\n"));
    EXPECT_THAT(table, HasSubstr("flagged: 1 (z -5.20), 2 (z 5.20)\n"));
    EXPECT_THAT(table, HasSubstr("Result: FAILED: faces too uneven (p 1.451e-08); faces outside the flag band: "
                                 "1 (z -5.20), 2 (z 5.20) (alpha 1e-06)\n"));

    // CSV: one table and nothing else.
    EXPECT_EQ(FormatReport(r, CheckFormat::Csv), "value,count,deviation,z,flag\n"
                                                 "1,850,-1500.00,-5.1962,1\n2,1150,1500.00,5.1962,1\n"
                                                 "3,1000,0.00,0.0000,0\n4,1000,0.00,0.0000,0\n"
                                                 "5,1000,0.00,0.0000,0\n6,1000,0.00,0.0000,0\n");

    // JSON: numbers as numbers, texts only where the name says so.
    const std::string json = FormatReport(r, CheckFormat::Json);
    const auto tree = qdx::test::JsonTree(json);
    EXPECT_EQ(tree.get<int>("format_version"), 2);
    EXPECT_EQ(tree.get<int>("rolls_per_run"), 1000);  // per face, as --rolls-per-run
    EXPECT_EQ(tree.get<int>("rolls_in_run"), 6000);
    EXPECT_EQ(tree.get<long long>("rolls"), 6000);
    EXPECT_NEAR(tree.get<double>("faces_test.p_value"), 1.4510e-8, 1e-11);
    EXPECT_THAT(json, HasSubstr("{\"value\": 1, \"count\": 850, \"deviation\": -1500.00, \"z\": -5.19615"));
    EXPECT_THAT(json, HasSubstr("\"flagged\": true, \"count_text\": \"850\", \"less_text\": \"-1500.00\""));
    EXPECT_THAT(json, HasSubstr("\"failed\": true\n}"));
}

TEST(CheckReport, FailsOnATailBelowAlphaAFlagOrAFailedVerdict)
{
    CheckReport fair = Report({1000, 1010, 990});
    EXPECT_FALSE(CheckFailed(fair));
    EXPECT_THAT(FormatSummary(fair), HasSubstr("flagged: none\nDetectable bias: a face 15.4 % too frequent would "
                                               "have been caught (in 99 % of checks)\n"));
    EXPECT_THAT(FormatSummary(fair), HasSubstr("Result: passed\n"));

    CheckReport tooEven = Report(std::vector<std::int64_t>(6, 1000000));
    EXPECT_TRUE(CheckFailed(tooEven));
    EXPECT_THAT(FormatSummary(tooEven), HasSubstr("Result: FAILED: faces too even (p 5.319e-17) (alpha 1e-06)\n"));
    tooEven.alpha = 1e-17;  // --alpha
    EXPECT_FALSE(CheckFailed(tooEven));

    CheckReport pairs = fair;
    SerialTest serial;
    serial.made = true;
    serial.p = {1, 1e-320, 0, -320};
    pairs.pairs = MakePairsOutcome(serial);
    EXPECT_TRUE(CheckFailed(pairs));
    EXPECT_THAT(FormatSummary(pairs), HasSubstr("pairs too even (p < 1e-300)"));
    serial.made = false;
    serial.refusal = "too few";
    pairs.pairs = MakePairsOutcome(serial);
    EXPECT_FALSE(CheckFailed(pairs));
    EXPECT_THAT(FormatSummary(pairs), HasSubstr("Pairs: not tested: too few\n"));

    // With --repeat only the verdicts count; WEAK does not fail.
    CheckReport repeated = tooEven;
    repeated.repeat = 3;
    repeated.verdicts = {{"faces", {}, {}}};
    repeated.verdicts[0].uniformity.verdict = Verdict::Weak;
    EXPECT_FALSE(CheckFailed(repeated));
    repeated.verdicts[0].uniformity.verdict = Verdict::Failed;
    EXPECT_TRUE(CheckFailed(repeated));
    EXPECT_THAT(FormatSummary(repeated), HasSubstr("Verdicts over 3 checks: faces FAILED (p 1)\n"));
}

TEST(CheckReport, SingularsAndTheRollsATargetBiasNeeds)
{
    const CheckReport one = Report({1000});
    EXPECT_THAT(FormatReport(one, CheckFormat::Table), HasSubstr("1 run of 1000 rolls (1 value)"));
    EXPECT_THAT(FormatSummary(one), HasSubstr("Faces: not tested: a die of one value"));

    EXPECT_EQ(FormatTargetBias(6, 0.002, 600000, CheckFormat::Table),
              "To catch a face 0.2 % too frequent (in 99 % of checks) with 6 values: 46401452 rolls, 78 runs of "
              "600000 rolls (--runs 78).\n");
    EXPECT_EQ(qdx::test::JsonTree(FormatTargetBias(6, 0.002, 600000, CheckFormat::Json)).get<int>("runs"), 78);
    EXPECT_EQ(FormatTargetBias(1, 0.002, 1000, CheckFormat::Table),
              "No number of rolls catches a face 0.2 % too frequent with 1 value.\n");
}

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
