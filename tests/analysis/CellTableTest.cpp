// Sorting samples into cells: bins and their edges, the defaults a tuner expects, the
// statistics of a cell against hand-worked values, empty cells, and the copied text.
#include "analysis/CellTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CellTable, BinOfPutsEachValueInTheBinOfItsLowerEdgeAndTheTopEdgeInTheLastBin)
{
    const std::vector<double> edges{0, 500, 1000, 1500};
    const std::tuple<const char*, double, int> cases[] = {
        {"lowest edge", 0, 0}, {"inside the first", 499.9, 0}, {"an inner edge", 500, 1}, {"the top edge", 1500, 2},
        {"below", -0.1, -1},   {"above", 1500.1, -1},          {"no value", kNaN, -1},
    };
    for (const auto& [name, v, bin] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(BinOf(edges, v), bin);
    }
    EXPECT_EQ(BinOf(std::vector<double>{1}, 1), -1);
}

// (Engine speed's and the mixed MAP's: the cell table tab's test.)
TEST(CellTable, DefaultEdgesFitTheChannel)
{
    const std::tuple<const char*, const char*, double, double, std::string> cases[] = {
        {"Boost", "psi", -12, 9, "-15 -12.5 -10 -7.5 -5 -2.5 0 2.5 5 7.5 10 12.5 15"},
        {"Boost", "kPa", -80, 60, "-100 -80 -60 -40 -20 0 20 40 60 80 100"},
        {"Boost", "bar", -0.8, 0.6, "-1 -0.8 -0.6 -0.4 -0.2 0 0.2 0.4 0.6 0.8 1"},
        {"MAP abs", "kPa", 30, 180, "20 40 60 80 100 120 140 160 180 200"},
        {"MAP abs", "bar", 0.3, 1.8, "0.2 0.4 0.6 0.8 1 1.2 1.4 1.6 1.8 2"},
        {"O2", "v", 0.12, 0.93, "0.1 0.2 0.3 0.4 0.5 0.6 0.7 0.8 0.9 1"},
        {"Coolant Temp", "F", 60, 195, "60 80 100 120 140 160 180 200"},
        {"a flat channel", "", 4, 4, "4 4.5"},
        {"no values", "", kNaN, kNaN, "0 1"},
    };
    for (const auto& [name, unit, lo, hi, edges] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(EdgesText(DefaultEdges(name, unit, lo, hi)), edges);
    }
}

TEST(CellTable, EdgesAreReadFromTheUsersTextOrRefusedWithAReason)
{
    std::string most, tooMany;
    for (int e = 0; e <= 3000; ++e)
        (e <= 200 ? most : tooMany) += std::to_string(e) + " ";
    const std::tuple<const char*, std::string, std::string, std::string> cases[] = {
        {"spaces", "0 500 1000", "0 500 1000", ""},
        {"commas, semicolons and extra blanks", " -15, -2.5;0 ,\t10 ", "-15 -2.5 0 10", ""},
        {"not a number", "0 5OO 1000", "", "\"5OO\" is not a number"},
        {"going down", "0 500 400", "", "the edges must go up: 400 after 500"},
        {"a repeated edge", "0 0", "", "the edges must go up: 0 after 0"},
        {"one edge", "100", "", "at least two edges are needed"},
        {"200 bins", most, most.substr(0, most.size() - 1), ""},
        {"3000 bins", most + tooMany, "", "at most 200 bins (201 edges) are allowed, not 3000"},
    };
    for (const auto& [name, text, edges, error] : cases) {
        SCOPED_TRACE(name);
        std::string why = "unchanged";
        EXPECT_EQ(EdgesText(ParseEdges(text, why)), edges);
        EXPECT_EQ(why, error);
    }
}

// Two X bins by two Y bins. Cell (0, 0) gets z 1, 2 and 6; cell (1, 1) gets 10; samples
// outside the edges and without a value count apart.
TEST(CellTable, CellsHoldTheStatisticsOfTheirSamplesAndEmptyCellsNone)
{
    CellTable table({0, 10, 20}, {-5, 0, 5});
    const double samples[][3] = {{1, -5, 1},   {9.9, -0.1, 2}, {0, -3, 6},   {20, 5, 10},
                                 {20.5, 0, 3}, {5, 5.1, 3},    {kNaN, 0, 1}, {5, 0, kNaN}};
    for (const auto& s : samples)
        table.Add(s[0], s[1], s[2]);
    EXPECT_EQ(table.Hits(), 4u);
    EXPECT_EQ(table.Outside(), 2u);
    EXPECT_EQ(table.NoValue(), 2u);

    const std::tuple<const char*, CellStatistic, double, double> cases[] = {
        {"mean", CellStatistic::Mean, 3, 10},
        {"minimum", CellStatistic::Minimum, 1, 10},
        {"maximum", CellStatistic::Maximum, 6, 10},
        {"count", CellStatistic::Count, 3, 1},
    };
    for (const auto& [name, statistic, lowCell, highCell] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(table.At(0, 0).Value(statistic), lowCell);
        EXPECT_EQ(table.At(1, 1).Value(statistic), highCell);
        EXPECT_EQ(table.Span(statistic), std::pair(std::min(lowCell, highCell), std::max(lowCell, highCell)));
    }
    EXPECT_TRUE(std::isnan(table.At(1, 0).Value(CellStatistic::Mean)));
    EXPECT_EQ(table.At(1, 0).Value(CellStatistic::Count), 0);

    // Highest Y first; empty cells stay empty.
    EXPECT_EQ(table.Tsv(CellStatistic::Mean, 2, "MAP \\ rpm"), "MAP \\ rpm\t0\t10\n0\t\t10.00\n-5\t3.00\t\n");
    EXPECT_EQ(table.Tsv(CellStatistic::Count, 2, ""), "\t0\t10\n0\t\t1\n-5\t3\t\n");
}

TEST(CellTable, StartsWithEngineSpeedByTheLinearMapAndAfrOrO2WhereTheLogHasThem)
{
    const std::tuple<const char*, std::vector<std::string>, std::string> cases[] = {
        {"linear boost preferred", {"MAP", "Boost", "MAP abs", "O2", "Engine Speed"}, "Engine Speed / Boost / O2"},
        {"the wideband's AFR before O2",
         {"Engine Speed", "O2", "Boost", "AFR", "Lambda"},
         "Engine Speed / Boost / AFR"},
        {"absolute MAP next", {"MAP", "MAP abs", "Engine Speed", "Knock"}, "Engine Speed / MAP abs / MAP"},
        {"another program's log", {"RPM", "Lambda", "TPS"}, "RPM / Lambda / TPS"},
        {"raw columns are never chosen", {"Engine Speed raw", "A", "B raw"}, "A / - / -"},
    };
    for (const auto& [name, channels, expected] : cases) {
        SCOPED_TRACE(name);
        LogData log;
        for (const std::string& c : channels)
            log.Channels.push_back({c, "", c.ends_with(" raw"), 0, {}});
        const CellChoice choice = DefaultCellChoice(log);
        const auto nameOf = [&](size_t c) { return c < channels.size() ? channels[c] : std::string("-"); };
        EXPECT_EQ(nameOf(choice.X) + " / " + nameOf(choice.Y) + " / " + nameOf(choice.Z), expected);
    }
}

}  // namespace
}  // namespace tessek
