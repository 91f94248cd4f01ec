// The live chart's data: rings that wrap, the shown window, scales, decimation and rates.
#include "plots/LiveModel.h"
#include "plots/LiveSeries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace tessek {
namespace {

// The fastest run there is: one slot of one request at the wire limit.
constexpr double kFastestRate = 384.0;  // samples/s

TEST(LiveSeries, KeepsTheShownMinuteAtTheFastestRateAcrossManyWraps)
{
    LiveSeries series;
    // Value = time: the range then tells which points the ring still holds.
    const int count = static_cast<int>(LiveSeries::kCapacity) * 3 + 123;
    for (int i = 0; i < count; ++i)
        series.Add(i / kFastestRate, i / kFastestRate);
    EXPECT_EQ(series.Size(), LiveSeries::kCapacity);
    const double newest = (count - 1) / kFastestRate;
    EXPECT_EQ(series.LastTime(), newest);
    EXPECT_EQ(series.Latest(), newest);

    const auto all = series.Range(0, newest);
    ASSERT_TRUE(all.has_value());
    EXPECT_EQ(all->Lower, (count - LiveSeries::kCapacity) / kFastestRate);
    EXPECT_EQ(all->Upper, newest);
    const auto minute = series.Range(newest - 60, newest);
    ASSERT_TRUE(minute.has_value());
    EXPECT_LE(minute->Lower, newest - 60 + 1 / kFastestRate);

    // Undecimated, the points are the newest ones in order, one neighbour before the window.
    const double from = newest - 1 + 0.5 / kFastestRate;
    const auto points = series.Points(from, newest, 0);
    ASSERT_EQ(points.size(), 385u);
    EXPECT_LT(points.front().Time, from);
    EXPECT_EQ(points.back().Time, newest);
    EXPECT_TRUE(std::is_sorted(points.begin(), points.end(), [](auto& a, auto& b) { return a.Time < b.Time; }));
}

TEST(LiveSeries, DecimationKeepsPeakAndDipThatStraddleTheWrap)
{
    LiveSeries series;
    const size_t count = LiveSeries::kCapacity + 500;
    // The spikes sit just before and just after the storage wraps around.
    const size_t peak = LiveSeries::kCapacity - 2, dip = LiveSeries::kCapacity + 1;
    for (size_t i = 0; i < count; ++i) {
        const double value = i == peak ? 9000.0 : i == dip ? -40.0 : 2000 + 300 * std::sin(i * 0.05);
        series.Add(i / kFastestRate, value);
    }
    const double newest = (count - 1) / kFastestRate;
    const auto points = series.Points(newest - 60, newest, 400);
    EXPECT_LE(points.size(), 2u * 400 + 4);
    double high = -1e9, low = 1e9;
    for (const PlotPoint& p : points) {
        high = std::max(high, p.Value);
        low = std::min(low, p.Value);
    }
    EXPECT_EQ(high, 9000.0);
    EXPECT_EQ(low, -40.0);
    const auto range = series.Range(newest - 60, newest);
    ASSERT_TRUE(range.has_value());
    EXPECT_EQ(range->Upper, 9000.0);
    EXPECT_EQ(range->Lower, -40.0);
}

TEST(LiveSeries, SamplesWithoutAValueShowNoneAndAddNoPoint)
{
    LiveSeries series;
    series.Add(0.0, 5.0);
    const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()};
    for (double value : bad) {
        series.Add(1.0, value);
        EXPECT_EQ(series.Latest(), std::nullopt);
    }
    series.Add(2.0, std::nullopt);
    EXPECT_EQ(series.Latest(), std::nullopt);
    EXPECT_EQ(series.Size(), 1u);
    series.Add(3.0, 7.0);
    EXPECT_EQ(series.Latest(), 7.0);
    EXPECT_EQ(series.Size(), 2u);
}

TEST(LiveSeries, RangeCoversTheWindowWithItsEdges)
{
    LiveSeries series;
    EXPECT_EQ(series.Range(0, 100), std::nullopt);
    EXPECT_EQ(series.LastTime(), std::nullopt);
    for (int i = 0; i <= 10; ++i)
        series.Add(i, i * 10.0);
    // A time that goes back is taken as the time before it, so the points stay in order.
    series.Add(4.0, 1000.0);
    EXPECT_EQ(series.LastTime(), 10.0);
    struct Case {
        const char* name;
        double from, to;
        std::optional<double> lower, upper;
    } const cases[] = {
        {"whole series", 0, 10, 0.0, 1000.0},
        {"edges are inside", 2, 3, 20.0, 30.0},
        {"between two points", 2.2, 2.8, std::nullopt, std::nullopt},
        {"after the newest", 11, 70, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto range = series.Range(c.from, c.to);
        EXPECT_EQ(range.has_value(), c.lower.has_value());
        if (range && c.lower) {
            EXPECT_EQ(range->Lower, *c.lower);
            EXPECT_EQ(range->Upper, *c.upper);
        }
    }
}

TEST(PaddedRange, PadsSpreadsAndWidensFlatLines)
{
    struct Case {
        const char* name;
        std::optional<ValueRange> raw;
        int decimals;
        double lower, upper;
    } const cases[] = {
        {"no points", std::nullopt, 0, 0, 1},
        {"spread padded by 8 %", ValueRange{10, 110}, 0, 2, 118},
        {"flat engine speed: a tenth of the value", ValueRange{2000, 2000}, 0, 1900, 2100},
        {"flat zero, whole numbers: ten units", ValueRange{0, 0}, 0, -5, 5},
        {"flat zero, two decimals: ten hundredths", ValueRange{0, 0}, 2, -0.05, 0.05},
        {"narrow but not flat", ValueRange{89, 90}, 0, 84.5, 94.5},
        {"negative to positive", ValueRange{-0.5, 0.3}, 2, -0.564, 0.364},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ValueRange range = PaddedRange(c.raw, c.decimals);
        EXPECT_NEAR(range.Lower, c.lower, 1e-9);
        EXPECT_NEAR(range.Upper, c.upper, 1e-9);
    }
}

TEST(RateMeter, MeasuresTheLastSecondsOfARun)
{
    struct Case {
        const char* name;
        double samplesPerSecond;
        int requestsPerSample;
        double seconds;
    } const cases[] = {
        {"eight slots", 38.4, 10, RateMeter::kWindow + 0.5},
        {"one slot at the wire limit", 384, 1, RateMeter::kWindow + 0.5},
        {"more samples than the meter keeps", 2000, 0, RateMeter::kWindow + 0.5},
        {"a stalled LM: samples 5 s apart", 0.2, 10, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RateMeter meter;
        // A slower start, which must have left the measured window by now.
        for (int i = 0; i < 20; ++i)
            meter.Add(i * 0.5, 1);
        const int samples = static_cast<int>(c.seconds * c.samplesPerSecond);
        for (int i = 0; i < samples; ++i)
            meter.Add(10.0 + i / c.samplesPerSecond, c.requestsPerSample);
        ASSERT_TRUE(meter.SamplesPerSecond().has_value());
        EXPECT_NEAR(*meter.SamplesPerSecond(), c.samplesPerSecond, c.samplesPerSecond * 1e-6);
        EXPECT_NEAR(*meter.RequestsPerSecond(), c.samplesPerSecond * c.requestsPerSample, 1e-6 * c.samplesPerSecond);
    }
}

TEST(RateMeter, NoRatesWithoutTwoDistinctTimes)
{
    RateMeter meter;
    EXPECT_EQ(meter.SamplesPerSecond(), std::nullopt);
    meter.Add(0.0, 10);
    EXPECT_EQ(meter.SamplesPerSecond(), std::nullopt);
    meter.Add(0.0, 10);
    EXPECT_EQ(meter.RequestsPerSecond(), std::nullopt);
    meter.Add(0.5, 10);
    EXPECT_EQ(meter.SamplesPerSecond(), 4.0);
    EXPECT_EQ(meter.RequestsPerSecond(), 40.0);
    meter.Clear();
    EXPECT_EQ(meter.SamplesPerSecond(), std::nullopt);
}

std::vector<RunColumn> TypicalColumns()
{
    return {
        {"RPM", "rpm", 0, true},         {"MPH", "mph", 2, true},   {"Skip value", "", 0, true},
        {"MAP", "psi", 2, true},         {"Coolant", "F", 1, true}, {"$4A", "", 0, true},
        {"Acceleration", "G", 2, false}, {"Power", "HP", 2, false}, {"Torque", "lb/ft", 2, false},
    };
}

TEST(LiveModel, ChartsSlotsAndAccelerationAndPowerButNotSkippedSlotsOrTorque)
{
    LiveModel model;
    model.Start(TypicalColumns(), std::chrono::system_clock::now());
    std::vector<std::string> names;
    std::vector<size_t> columns;
    for (const auto& channel : model.Channels()) {
        names.push_back(channel.Name);
        columns.push_back(channel.Column);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"RPM", "MPH", "MAP", "Coolant", "$4A", "Acceleration", "Power"}));
    EXPECT_EQ(columns, (std::vector<size_t>{0, 1, 3, 4, 5, 6, 7}));
    // A raw slot is charted whatever its name; a figure named like torque is not.
    EXPECT_TRUE(IsCharted({"Torque converter", "", 0, true}));
    EXPECT_FALSE(IsCharted({"torque", "lb/ft", 2, false}));
}

TEST(LiveModel, StoresEachColumnInItsChannelAndScrollsTheShownMinute)
{
    LiveModel model;
    RunSample early;
    early.Values = {1.0};
    model.Add(early);  // before any run: ignored
    EXPECT_EQ(model.Generation(), 0u);

    model.Start(TypicalColumns(), std::chrono::system_clock::now());
    const uint64_t started = model.Generation();
    RunSample sample;
    for (int i = 0; i < 3000; ++i) {  // 75 s at 40 samples/s
        sample.Time = i * 0.025;
        sample.Values = {2000.0 + i, 50.0, std::nullopt, 1.5, 180.0, 90.0, std::nullopt, 12.5, 300.0};
        sample.Requests = 10;
        model.Add(sample);
        if (i == 100) {
            EXPECT_EQ(model.Shown().From, 0.0);
            EXPECT_EQ(model.Shown().To, LiveModel::kShownSeconds);
        }
    }
    EXPECT_EQ(model.Generation(), started + 3000);
    EXPECT_DOUBLE_EQ(model.Shown().To, 2999 * 0.025);
    EXPECT_DOUBLE_EQ(model.Shown().From, 2999 * 0.025 - 60);
    const auto& channels = model.Channels();
    EXPECT_EQ(channels[0].Series.Latest(), 4999.0);
    EXPECT_EQ(channels[3].Series.Latest(), 180.0);
    EXPECT_EQ(channels[5].Series.Latest(), std::nullopt);
    EXPECT_EQ(channels[6].Series.Latest(), 12.5);

    // A sample shorter than the columns leaves the missing ones without a value.
    sample.Time = 75;
    sample.Values = {800.0};
    model.Add(sample);
    EXPECT_EQ(channels[0].Series.Latest(), 800.0);
    EXPECT_EQ(channels[1].Series.Latest(), std::nullopt);

    model.End();
    EXPECT_FALSE(model.Running());
    EXPECT_EQ(channels[0].Series.Latest(), 800.0);
    model.Add(sample);
    EXPECT_EQ(channels[0].Series.Size(), 3001u);
}

TEST(LiveModel, StatusTellsTheRatesWhileLoggingAndTheShownRunBetweenRuns)
{
    LiveModel model;
    EXPECT_EQ(model.StatusText(), "Not logging");
    std::tm noon{};
    noon.tm_year = 126, noon.tm_mon = 5, noon.tm_mday = 1, noon.tm_hour = 14, noon.tm_min = 3, noon.tm_sec = 22;
    noon.tm_isdst = -1;
    model.Start(TypicalColumns(), std::chrono::system_clock::from_time_t(std::mktime(&noon)));
    EXPECT_EQ(model.StatusText(), "Logging since 14:03:22");
    RunSample sample;
    for (int i = 0; i < 200; ++i) {
        sample.Time = i * 0.025;
        sample.Requests = 10;
        model.Add(sample);
    }
    EXPECT_EQ(model.StatusText(), "Logging since 14:03:22: 40.0 samples/s, 400 requests/s");
    model.End();
    EXPECT_EQ(model.StatusText(), "Not logging (showing the run started 14:03:22)");
}

TEST(ReadoutText, PrintsTheColumnsDecimalsOrDashes)
{
    EXPECT_EQ(ReadoutText(2150.0, 0), "2150");
    EXPECT_EQ(ReadoutText(-0.125, 2), "-0.12");
    EXPECT_EQ(ReadoutText(131.94, 1), "131.9");
    EXPECT_EQ(ReadoutText(std::nullopt, 2), "---");
}

}  // namespace
}  // namespace tessek
