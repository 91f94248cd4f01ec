// Scatter plot data: the points of a time range, their colour bins, and the point nearest
// the pointer as the eye sees it (in pixels, not axis units).
#include "analysis/ScatterData.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

LogData Log()
{
    LogData log;
    log.Time = {0, 1, 2, 3, 4};
    log.Channels = {{"Engine Speed", "rpm", false, 0, {1000, 2000, kNaN, 4000, 5000}},
                    {"MAP", "psi", false, 2, {-10, 0, 5, kNaN, 10}},
                    {"O2", "v", false, 3, {0.2, kNaN, 0.5, 0.6, 0.9}}};
    return log;
}

TEST(ScatterData, PointsAreTheSamplesOfTheRangeWithBothValues)
{
    const LogData log = Log();
    const std::tuple<const char*, size_t, double, double, std::vector<size_t>, double, double> cases[] = {
        {"whole run: rows without X or Y left out", 2, 0, 4, {0, 1, 4}, 0.2, 0.9},
        {"no colour channel", 3, 0, 4, {0, 1, 4}, kNaN, kNaN},
        {"a range without points", 2, 2, 3, {}, kNaN, kNaN},
        {"a reversed range", 2, 4, 0, {}, kNaN, kNaN},
    };
    for (const auto& [name, colour, from, to, rows, cMin, cMax] : cases) {
        SCOPED_TRACE(name);
        const ScatterPoints p = ComputeScatter(log, 0, 1, colour, from, to);
        EXPECT_EQ(p.Row, rows);
        ASSERT_EQ(p.X.size(), rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(p.X[i], log.Channels[0].Values[rows[i]]);
            EXPECT_EQ(p.Y[i], log.Channels[1].Values[rows[i]]);
        }
        EXPECT_THAT(p.CMin, testing::NanSensitiveDoubleEq(cMin));
        EXPECT_THAT(p.CMax, testing::NanSensitiveDoubleEq(cMax));
    }
    // The point of row 1 has no O2 value: it is drawn without a colour.
    EXPECT_TRUE(std::isnan(ComputeScatter(log, 0, 1, 2, 0, 4).C[1]));
    EXPECT_EQ(ComputeScatter(log, 0, 7, 2, 0, 4).Size(), 0u);
}

TEST(ScatterData, ColourBinsSpreadTheScale)
{
    const std::tuple<const char*, double, double, double, int> cases[] = {
        {"bottom", 0, 0, 1, 0},
        {"top belongs to the last bin", 1, 0, 1, 9},
        {"just under a bin edge", 0.299, 0, 1, 2},
        {"on a bin edge", 0.3, 0, 1, 3},
        {"below the scale", -5, 0, 1, 0},
        {"flat scale", 4, 4, 4, 5},
        {"no value", kNaN, 0, 1, -1},
    };
    for (const auto& [name, v, lo, hi, bin] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ColourBin(v, lo, hi, 10), bin);
    }
}

// Engine speed spans thousands and MAP tens: at 0.1 pixel per rpm and 10 pixels per psi,
// the point 50 rpm away is 5 pixels off, the one 1 psi away 10.
TEST(ScatterData, NearestPointIsMeasuredInPixels)
{
    ScatterPoints p;
    p.X = {3000, 3050, 3000};
    p.Y = {6, 5, 4};
    const std::tuple<const char*, double, double, double, std::optional<size_t>> cases[] = {
        {"on a point", 3000, 6, 12, 0},
        {"50 rpm is nearer than 1 psi", 3000, 5, 12, 1},
        {"nothing within reach", 4000, 5, 12, std::nullopt},
        {"within a larger reach", 3000, 8.5, 30, 0},
    };
    for (const auto& [name, x, y, reach, nearest] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(NearestPoint(p, x, y, 0.1, 10, reach), nearest);
    }
    EXPECT_EQ(NearestPoint(ScatterPoints{}, 0, 0, 1, 1, 100), std::nullopt);
}

}  // namespace
}  // namespace tessek
