// The log viewer's model: the visible range it keeps, the channels it starts with and finds
// by name, the figures of the visible range, and the points it draws, broken where values
// are missing.
#include "analysis/LogViewModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tessek {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Time 0, 1, ..., rows - 1; channel c holds c * 100 + row, "raw" channels as named.
LogData Log(const std::vector<std::string>& names, size_t rows)
{
    LogData log;
    for (size_t c = 0; c < names.size(); ++c) {
        LogChannel ch{names[c], "", names[c].ends_with(" raw"), 0, {}};
        for (size_t i = 0; i < rows; ++i)
            ch.Values.push_back(static_cast<double>(c * 100 + i));
        log.Channels.push_back(std::move(ch));
    }
    for (size_t i = 0; i < rows; ++i)
        log.Time.push_back(static_cast<double>(i));
    return log;
}

// The keyboard: zoom around the cursor (or the middle when it is out of view) and the cursor
// sample by sample with the view following it. (Panning: the viewer's test.)
TEST(LogViewModel, KeyboardStepsZoomAndMoveTheCursor)
{
    LogViewModel model;
    model.SetLog(Log({"A"}, 41));  // 0 .. 40 s
    const struct {
        const char* name;
        double from, to, cursor;
        char step;  // z: zoom in, o: zoom out, b/n: cursor back / on
        double expectFrom, expectTo, expectCursor;
        bool moved;
    } steps[] = {
        {"zoom in around the middle", 10, 20, 30, 'z', 12.5, 17.5, 30, true},
        {"zoom out past the start keeps its width", 0, 10, 2, 'o', 0, 20, 2, true},
        {"zoom out of the whole run", 0, 40, 20, 'o', 0, 40, 20, false},
        {"cursor on from between samples", 0, 10, 4.4, 'n', 0, 10, 5, false},
        {"cursor on out of view", 0, 10, 10, 'n', 1, 11, 11, true},
        {"cursor back out of view", 5, 15, 5.2, 'b', 4, 14, 4, true},
        {"cursor stays at the run's start", 0, 10, 0, 'b', 0, 10, 0, false},
        {"cursor stays at the run's end", 30, 40, 40, 'n', 30, 40, 40, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        model.SetVisible(step.from, step.to);
        model.SetCursor(step.cursor);
        const bool moved = step.step == 'z'   ? model.Zoom(0.5)
                           : step.step == 'o' ? model.Zoom(2)
                                              : model.StepCursor(step.step == 'b' ? -1 : 1);
        EXPECT_EQ(moved, step.moved);
        EXPECT_DOUBLE_EQ(model.From(), step.expectFrom);
        EXPECT_DOUBLE_EQ(model.To(), step.expectTo);
        EXPECT_DOUBLE_EQ(model.Cursor(), step.expectCursor);
    }
}

TEST(LogViewModel, KeepsTheVisibleRangeInsideTheRunAndAtLeastAMillisecondWide)
{
    LogViewModel model;
    model.SetLog(Log({"A"}, 41));  // 0 .. 40 s
    EXPECT_EQ(std::pair(model.From(), model.To()), std::pair(0.0, 40.0));
    const std::tuple<const char*, double, double, double, double> cases[] = {
        {"inside", 10, 20, 10, 20},
        {"reversed", 20, 10, 10, 20},
        {"before the start keeps its width", -5, 5, 0, 10},
        {"after the end keeps its width", 36.5, 41.5, 35, 40},
        {"wider than the run", -100, 100, 0, 40},
        {"narrower than a millisecond", 12, 12, 12, 12.001},
    };
    for (const auto& [name, from, to, expectFrom, expectTo] : cases) {
        SCOPED_TRACE(name);
        model.SetVisible(0, 40);
        model.SetVisible(from, to);
        EXPECT_DOUBLE_EQ(model.From(), expectFrom);
        EXPECT_DOUBLE_EQ(model.To(), expectTo);
    }
    EXPECT_FALSE(model.SetVisible(12, 12.001));
    EXPECT_FALSE(model.SetVisible(kNaN, 3));
    EXPECT_TRUE(model.SetVisible(1, 2));

    // A log of one row gets a second around its time.
    model.SetLog(Log({"A"}, 1));
    EXPECT_EQ(model.RunBounds(), std::pair(-0.5, 0.5));
    EXPECT_EQ(std::pair(model.From(), model.To()), std::pair(-0.5, 0.5));
}

TEST(LogViewModel, StartsWithTwelveChannelsThatAreNotRawAndFindsChannelsByName)
{
    std::vector<std::string> names{"Engine Speed", "Engine Speed raw", "MAP", "MAP raw", "O2"};
    for (int i = 0; i < 12; ++i)
        names.push_back(std::string(1, 'C').append(std::to_string(i)));
    LogViewModel model;
    model.SetLog(Log(names, 2));
    // The raw ones skipped, C8 is the twelfth.
    EXPECT_EQ(model.StartChannels(), (std::vector<bool>{true, false, true, false, true, true, true, true, true, true,
                                                        true, true, true, true, false, false, false}));

    // Each list written where it is used: an initializer_list's values live only as long as
    // the expression that makes it.
    EXPECT_EQ(model.FindChannel({"engine speed"}), 0u) << "case ignored";
    EXPECT_EQ(model.FindChannel({"Boost", "MAP abs", "map"}), 2u) << "the first name present wins";
    EXPECT_EQ(model.FindChannel({"MAP raw"}), names.size()) << "a raw column is never found";
    EXPECT_EQ(model.FindChannel({"Knock"}), names.size()) << "none";
}

// Channel "A" has no value at 2 and 3 s; its extreme at 3 s would hide in a gap otherwise.
// (The cursor's values: the viewer's test.)
TEST(LogViewModel, VisibleFiguresAndPointsComeFromTheVisibleRange)
{
    LogData log = Log({"A", "B"}, 11);
    log.Channels[0].Values[2] = kNaN;
    log.Channels[0].Values[3] = kNaN;
    log.Channels[0].Decimals = 1;
    LogViewModel model;
    model.SetLog(log);
    model.SetVisible(1, 5);
    EXPECT_EQ(model.Visible(0).Count, 3u);
    EXPECT_DOUBLE_EQ(model.Visible(0).Mean, (1 + 4 + 5) / 3.0);
    EXPECT_DOUBLE_EQ(model.Visible(1).Min, 101);
    // PaddedRange: 101 .. 105 is narrower than a tenth of its size, so it gets that span
    // around its middle.
    EXPECT_DOUBLE_EQ(model.Scale(1).Lower, 103 - 5.15);
    EXPECT_DOUBLE_EQ(model.Scale(1).Upper, 103 + 5.15);

    // The points around the range, the missing run as one break (NaN) at its first sample.
    std::vector<std::pair<double, double>> points;
    for (const PlotPoint& p : model.Points(0, 0))
        points.emplace_back(p.Time, std::isnan(p.Value) ? -1 : p.Value);
    EXPECT_EQ(points, (std::vector<std::pair<double, double>>{{0, 0}, {1, 1}, {2, -1}, {4, 4}, {5, 5}, {6, 6}}));
    EXPECT_EQ(model.Points(1, 0).size(), 7u);  // 0 .. 6
}

// A strip drawn smoothed: the mean of the samples of the last 2.5 s (three here), a gap
// staying a gap; the table's figures stay raw; 0 draws it raw again.
TEST(LogViewModel, DrawsAChannelAsItsMovingMeanWhenAsked)
{
    LogData log = Log({"RPM", "MAP"}, 10);
    log.Channels[0].Values[5] = kNaN;
    LogViewModel model;
    model.SetLog(std::move(log));
    model.SetSmoothing(0, 2.5);
    EXPECT_TRUE(model.Smoothed(0));
    EXPECT_FALSE(model.Smoothed(1));
    const std::vector<double> expected = {0, 0.5, 1, 2, 3, kNaN, 5, 6.5, 7, 8};
    const auto points = model.Points(0, 1000);
    ASSERT_EQ(points.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(std::isnan(expected[i]) ? std::isnan(points[i].Value) : points[i].Value == expected[i]) << i;
    EXPECT_EQ(model.Visible(0).Max, 9);
    EXPECT_EQ(model.Scale(0).Upper, PaddedRange(ValueRange{0, 8}, 0).Upper);  // the means' range, not 0 .. 9
    model.SetSmoothing(0, 0);
    EXPECT_EQ(model.Points(0, 1000).back().Value, 9);
}

}  // namespace
}  // namespace tessek
