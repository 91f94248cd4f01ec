#include "plots/Decimate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tessek {
namespace {

struct Series {
    std::vector<double> t, v;
    void Add(double time, double value)
    {
        t.push_back(time);
        v.push_back(value);
    }
};

Series Sine(int n)
{
    Series s;
    for (int i = 0; i < n; ++i)
        s.Add(i * 0.01, std::sin(i * 0.37) * 100.0 + (i % 97 == 0 ? 500.0 : 0.0));
    return s;
}

TEST(DecimateMinMax, KeepsEveryPeakAndDipOfTheVisibleRange)
{
    const Series s = Sine(100000);
    const double from = 100.0, to = 700.0;
    const auto out = DecimateMinMax(s.t.data(), s.v.data(), s.t.size(), from, to, 300);
    EXPECT_LE(out.size(), 2u * 300 + 4);
    double maxIn = -1e9, minIn = 1e9;
    for (size_t i = 0; i < s.t.size(); ++i) {
        if (s.t[i] >= from && s.t[i] <= to) {
            maxIn = std::max(maxIn, s.v[i]);
            minIn = std::min(minIn, s.v[i]);
        }
    }
    double maxOut = -1e9, minOut = 1e9;
    for (const PlotPoint& p : out) {
        maxOut = std::max(maxOut, p.Value);
        minOut = std::min(minOut, p.Value);
    }
    EXPECT_EQ(maxOut, maxIn);
    EXPECT_EQ(minOut, minIn);
    // In time order, reaching just past both edges.
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end(), [](auto& a, auto& b) { return a.Time < b.Time; }));
    EXPECT_LT(out.front().Time, from);
    EXPECT_GT(out.back().Time, to);
}

TEST(DecimateMinMax, MissingValuesNeverHideABucketsExtremes)
{
    Series s = Sine(20000);
    for (size_t i = 0; i < s.v.size(); i += 3)
        s.v[i] = std::nan("");
    const auto out = DecimateMinMax(s.t.data(), s.v.data(), s.t.size(), 0.0, 200.0, 100);
    double maxIn = -1e9;
    for (double v : s.v)
        if (!std::isnan(v))
            maxIn = std::max(maxIn, v);
    double maxOut = -1e9;
    for (const PlotPoint& p : out) {
        EXPECT_FALSE(std::isnan(p.Value));
        maxOut = std::max(maxOut, p.Value);
    }
    EXPECT_EQ(maxOut, maxIn);
}

TEST(DecimateMinMax, ShortOrUnthinnedSeriesComeBackWhole)
{
    Series s;
    for (int i = 0; i < 10; ++i)
        s.Add(i, i * i);
    struct Case {
        const char* name;
        double from, to;
        int columns;
        size_t expected;
    } const cases[] = {
        {"all in range, few points", 0, 9, 100, 10},
        {"inner range plus a neighbour each side", 3, 5, 100, 5},
        {"no thinning asked for", 0, 9, 0, 10},
        {"range before the data keeps the first point", -5, -1, 100, 1},
        {"empty range", 5, 4, 100, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecimateMinMax(s.t.data(), s.v.data(), s.t.size(), c.from, c.to, c.columns).size(), c.expected);
    }
    EXPECT_TRUE(DecimateMinMax(nullptr, nullptr, 0, 0, 1, 10).empty());
}

}  // namespace
}  // namespace tessek
