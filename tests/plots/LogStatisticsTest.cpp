#include "plots/LogStatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace tessek {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(LogStatistics, CursorTakesTheNearestSampleAndNothingOutsideTheRun)
{
    const std::vector<double> time{0, 1, 2, 2, 3};
    const std::vector<double> values{10, 11, 12, 13, kNaN};
    struct Case {
        const char* name;
        double t;
        double expected;  // NaN: no value
    } const cases[] = {
        {"before the first sample", -0.1, kNaN},
        {"on the first sample", 0, 10},
        {"nearer the earlier", 0.4, 10},
        {"half way takes the earlier", 0.5, 10},
        {"nearer the later", 0.6, 11},
        {"repeated time: the first of them", 1.9, 12},
        {"half way after a repeated time", 2.5, 12},
        {"on a sample without value", 3, kNaN},
        {"after the last sample", 3.01, kNaN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double v = ValueAt(time, values, c.t);
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(v)) << v;
        else
            EXPECT_EQ(v, c.expected);
    }
    EXPECT_FALSE(NearestSample({}, 0).has_value());
    EXPECT_EQ(NearestSample(time, 2.2), 2u);
}

TEST(LogStatistics, RangeFiguresSkipMissingValuesAndKeepTheEdges)
{
    const std::vector<double> time{0, 1, 2, 3, 4, 5};
    const std::vector<double> values{5, kNaN, -2, 8, kNaN, 1};
    struct Case {
        const char* name;
        double t0, t1;
        double min, max, mean;
        size_t count;
    } const cases[] = {
        {"whole run", 0, 5, -2, 8, 3, 4},
        {"edges are inside", 2, 3, -2, 8, 3, 2},
        {"between samples", 1.5, 3.5, -2, 8, 3, 2},
        {"single point", 3, 3, 8, 8, 8, 1},
        {"wider than the run", -10, 10, -2, 8, 3, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RangeStats s = StatsOver(time, values, c.t0, c.t1);
        EXPECT_EQ(s.Min, c.min);
        EXPECT_EQ(s.Max, c.max);
        EXPECT_DOUBLE_EQ(s.Mean, c.mean);
        EXPECT_EQ(s.Count, c.count);
    }
    struct Empty {
        const char* name;
        double t0, t1;
    } const empties[] = {{"only a missing value", 3.5, 4.5}, {"before the run", -2, -1}, {"reversed", 3, 2}};
    for (const Empty& e : empties) {
        SCOPED_TRACE(e.name);
        const RangeStats s = StatsOver(time, values, e.t0, e.t1);
        EXPECT_EQ(s.Count, 0u);
        EXPECT_TRUE(std::isnan(s.Min));
        EXPECT_TRUE(std::isnan(s.Max));
        EXPECT_TRUE(std::isnan(s.Mean));
    }
}

// An hour's log: random ranges agree with a plain scan of every sample.
TEST(LogStatistics, LongLogAgreesWithAPlainScan)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-100, 100);
    const size_t n = 180000;
    std::vector<double> time(n), values(n);
    for (size_t i = 0; i < n; ++i) {
        time[i] = i * 0.02;
        values[i] = i % 50 == 7 ? kNaN : value(rng);
    }
    std::uniform_real_distribution<double> at(-10, 3610);
    for (int k = 0; k < 20; ++k) {
        double t0 = at(rng), t1 = at(rng);
        if (t1 < t0)
            std::swap(t0, t1);
        double lo = INFINITY, hi = -INFINITY, sum = 0;
        size_t count = 0;
        for (size_t i = 0; i < n; ++i) {
            if (time[i] < t0 || time[i] > t1 || std::isnan(values[i]))
                continue;
            lo = std::min(lo, values[i]);
            hi = std::max(hi, values[i]);
            sum += values[i];
            ++count;
        }
        SCOPED_TRACE(testing::Message() << "range " << t0 << " .. " << t1);
        const RangeStats s = StatsOver(time, values, t0, t1);
        EXPECT_EQ(s.Count, count);
        EXPECT_EQ(s.Min, lo);
        EXPECT_EQ(s.Max, hi);
        EXPECT_NEAR(s.Mean, sum / count, 1e-9);
    }
}

}  // namespace
}  // namespace tessek
