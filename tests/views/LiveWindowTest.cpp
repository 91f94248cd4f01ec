// The live chart: min/max thinning, the ring that wraps, the moving mean, and the window fed
// through the run's observer calls on the offscreen platform (strips, readouts, the status
// line with the run's rates, and frames drawn only while they should be).
#include "analysis/Decimate.h"
#include "analysis/LiveSeries.h"
#include "platform/ProgramFolder.h"
#include "tests/common/TempFolder.h"
#include "views/LiveWindow.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A wave with one spike up and one down and every third value missing, thinned to 300
// columns: both spikes stay, the missing values hide neither, and the line reaches just
// past both edges.
TEST(DecimateMinMax, KeepsEveryPeakAndDipOfTheVisibleRange)
{
    std::vector<double> t, v;
    for (int i = 0; i < 100000; ++i) {
        t.push_back(i * 0.01);
        v.push_back(i == 31337 ? 1000 : i == 55555 ? -1000 : i % 3 == 0 ? kNaN : 100 * std::sin(i * 0.37));
    }
    const double from = 100.005, to = 700.005;
    const auto out = DecimateMinMax(t.data(), v.data(), t.size(), from, to, 300);
    EXPECT_LE(out.size(), 3u * 300 + 4);
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end(), [](auto& a, auto& b) { return a.Time < b.Time; }));
    EXPECT_LT(out.front().Time, from);
    EXPECT_GT(out.back().Time, to);
    std::vector<double> kept;
    for (const PlotPoint& p : out)
        std::isnan(p.Value) ? void() : kept.push_back(p.Value);
    const auto [lo, hi] = std::ranges::minmax(kept);
    EXPECT_EQ(std::pair(lo, hi), std::pair(-1000.0, 1000.0));
    EXPECT_TRUE(DecimateMinMax(t.data(), v.data(), t.size(), to, from, 300).empty());
}

// "0:1 1:- 3:4": each point as time:value, a break (NaN value) as "-".
std::string PointsText(const std::vector<PlotPoint>& points)
{
    std::string text;
    for (const PlotPoint& p : points) {
        char point[64];
        if (std::isnan(p.Value))
            std::snprintf(point, sizeof point, "%s%g:-", text.empty() ? "" : " ", p.Time);
        else
            std::snprintf(point, sizeof point, "%s%g:%g", text.empty() ? "" : " ", p.Time, p.Value);
        text += point;
    }
    return text;
}

// 1000 samples, value = time, thinned to 10 columns of 100 samples: each column keeps its
// first and last value, and one break where it has missing values, in time order. Shown as
// the points before, at and after each break.
TEST(DecimateMinMax, ThinningKeepsABreakWhereverValuesAreMissing)
{
    const std::tuple<const char*, std::vector<std::pair<int, int>>, const char*> cases[] = {
        {"no value missing", {}, ""},
        {"a run inside one column", {{450, 453}}, "400:400 450:- 499:499"},
        {"a run across two columns: one break", {{498, 503}}, "497:497 498:- 503:503"},
        {"a whole column", {{300, 400}}, "299:299 300:- 400:400"},
        {"two runs in one column: one break", {{610, 611}, {620, 621}}, "600:600 610:- 699:699"},
        {"runs in two columns", {{150, 152}, {850, 852}}, "100:100 150:- 199:199 800:800 850:- 899:899"},
    };
    for (const auto& [name, missing, expected] : cases) {
        SCOPED_TRACE(name);
        std::vector<double> t, v;
        for (int i = 0; i < 1000; ++i) {
            t.push_back(i);
            v.push_back(i);
        }
        for (const auto& [from, to] : missing)
            for (int i = from; i < to; ++i)
                v[static_cast<size_t>(i)] = kNaN;
        const auto out = DecimateMinMax(t.data(), v.data(), t.size(), 0, 1000, 10);
        std::vector<PlotPoint> around;
        for (size_t i = 1; i + 1 < out.size(); ++i)
            if (std::isnan(out[i].Value))
                around.insert(around.end(), {out[i - 1], out[i], out[i + 1]});
        EXPECT_EQ(PointsText(around), expected);
    }
}

// Samples without a value as the ring stores them: one break per run, none before the
// first value, and the range over the values alone.
TEST(LiveSeries, StoresARunOfMissingValuesAsOneBreak)
{
    const std::optional<double> none;
    const std::tuple<const char*, std::vector<std::optional<double>>, const char*, double, double> cases[] = {
        {"missing before the first value", {none, none, 2.0, 3.0}, "2:2 3:3", 2, 3},
        {"missing at the end", {5.0, 1.0, none, none}, "0:5 1:1 2:-", 1, 5},
        {"not a number is missing", {1.0, HUGE_VAL, 3.0}, "0:1 1:- 2:3", 1, 3},
    };
    for (const auto& [name, values, expected, lower, upper] : cases) {
        SCOPED_TRACE(name);
        LiveSeries series;
        for (size_t i = 0; i < values.size(); ++i)
            series.Add(static_cast<double>(i), values[i]);
        EXPECT_EQ(PointsText(series.Points(0, 10, 0)), expected);
        const auto range = series.Range(0, 10);
        ASSERT_TRUE(range.has_value());
        EXPECT_EQ(range->Lower, lower);
        EXPECT_EQ(range->Upper, upper);
    }
}

// More than twice round the ring at the fastest rate (one slot at the wire limit), with
// value = time: the newest kCapacity points, more than the minute on show, in order and
// each value with its time.
TEST(LiveSeries, KeepsTheNewestPointsInOrderAcrossTheWrap)
{
    constexpr double kFastestRate = 384.0;  // samples/s
    LiveSeries series;
    const size_t count = 2 * LiveSeries::kCapacity + 500;
    for (size_t i = 0; i < count; ++i)
        series.Add(i / kFastestRate, i / kFastestRate);
    const double newest = (count - 1) / kFastestRate, oldest = (count - LiveSeries::kCapacity) / kFastestRate;
    EXPECT_LT(oldest, newest - LiveModel::kShownSeconds);

    const auto all = series.Points(0, newest, 0);
    ASSERT_EQ(all.size(), LiveSeries::kCapacity);
    EXPECT_EQ(all.front().Time, oldest);
    EXPECT_EQ(all.back().Time, newest);
    EXPECT_TRUE(std::is_sorted(all.begin(), all.end(), [](auto& a, auto& b) { return a.Time < b.Time; }));
    EXPECT_EQ(std::count_if(all.begin(), all.end(), [](const PlotPoint& p) { return p.Value != p.Time; }), 0);
    // The range's edges are inside it.
    const auto range = series.Range(all[100].Time, newest);
    ASSERT_TRUE(range.has_value());
    EXPECT_EQ(range->Lower, all[100].Time);
    EXPECT_EQ(range->Upper, newest);
    EXPECT_EQ(series.Range(all[100].Time + 1e-9, all[101].Time - 1e-9), std::nullopt);

    // A time that goes back is taken as the newest. (A value that is not a number is a
    // missing one: above.)
    series.Add(newest + 1, 5.0);
    series.Add(newest - 1, -1.0);
    EXPECT_EQ(series.LastTime(), newest + 1);
    EXPECT_EQ(series.Range(newest + 1, newest + 1).value_or(ValueRange{}).Lower, -1.0);
}

RunSample Sample(double time, std::vector<std::optional<double>> values)
{
    RunSample sample;
    sample.Time = time;
    sample.Values = std::move(values);
    return sample;
}

// Power swinging between 0 and -14 hp every other sample at 10 samples/s: with the moving
// mean its readout and strip hold the mean of the last 0.5 s (five samples), raw without;
// engine speed stays raw either way, and a sample without power still shows as missing.
TEST(LiveModel, SmoothsAccelerationPowerAndTorqueOverTheSetWindow)
{
    const std::vector<RunColumn> columns = {
        {"RPM", "rpm", 0, true}, {"Power", "hp", 2, false}, {"Torque", "lb-ft", 2, false}};
    const struct {
        double Smoothing;
        double Power;  // the latest value shown after samples 0..9
    } cases[] = {{0.5, -14.0 * 3 / 5}, {0, -14.0}, {0.25, -14.0 * 2 / 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Smoothing);
        LiveModel model;
        model.SetSmoothing(c.Smoothing);
        model.Start(columns, std::chrono::system_clock::now());
        ASSERT_EQ(model.Channels().size(), 2u);  // torque is not charted
        for (int i = 0; i < 10; ++i)
            model.Add(Sample(i * 0.1, {2000.0 + i, i % 2 ? -14.0 : 0.0, 96.0 + i}));
        EXPECT_EQ(model.Channels()[0].Series.Latest(), 2009.0);
        EXPECT_NEAR(model.Channels()[1].Series.Latest().value_or(kNaN), c.Power, 1e-9);
        EXPECT_EQ(model.Channels()[1].Mean.has_value(), c.Smoothing > 0);
        model.Add(Sample(1.0, {2010.0, std::nullopt}));
        EXPECT_TRUE(model.Channels()[1].Series.Stale());
        EXPECT_EQ(model.Channels()[0].Series.Latest(), 2010.0);
    }
}

// A typical run with acceleration measurement on: engine speed, speed, pressure, coolant,
// one skipped slot, then the three performance figures.
const std::vector<RunColumn> kTypicalColumns = {
    {"RPM", "rpm", 0, true},   {"MPH", "mph", 2, true},       {"MAP", "psi", 2, true},
    {"Coolant", "F", 1, true}, {"Skip value", "", 0, true},   {"Acceleration", "G", 2, false},
    {"Power", "HP", 2, false}, {"Torque", "lb/ft", 2, false},
};

const std::vector<RunColumn> kMetricColumns = {{"Road Speed", "mph", 2, true},
                                               {"Coolant Temp", "F", 1, true},
                                               {"Boost", "psi", 2, false},
                                               {"Acceleration", "g", 2, false}};

// Sample i of a run at 40 samples/s with moving values.
RunSample TypicalSample(int i)
{
    RunSample sample = Sample(i * 0.025, {2000 + 1500 * std::sin(i * 0.02), 30 + i * 0.01, -3.5 + i * 0.001, 180.4,
                                          std::nullopt, 0.11, 45.25, 98.7});
    sample.Requests = 10;
    return sample;
}

std::string Readout(const LiveWindow& window, size_t strip)
{
    return window.Strips()[strip].Value->text().toStdString();
}

// 90 s of a run: each strip shows its column up to the last sample, thinned to the strip's
// width, over the last minute, within its scale; the readouts show the last values. (A
// missing value breaks the line: below.)
TEST(LiveWindow, StripsShowTheLastMinuteAndTheReadoutsTheLatestValues)
{
    std::tm start{};
    start.tm_year = 126, start.tm_mon = 5, start.tm_mday = 1, start.tm_hour = 14, start.tm_min = 3, start.tm_sec = 22;
    start.tm_isdst = -1;
    LiveAlarms alarms;
    LiveWindow window(alarms);
    window.show();
    window.RunStarted(kTypicalColumns, std::chrono::system_clock::from_time_t(std::mktime(&start)));
    for (int i = 0; i < 3600; ++i)
        window.SampleLogged(TypicalSample(i));
    window.Redraw();
    EXPECT_EQ(window.StatusText().toStdString(), "Logging since 14:03:22: 40.0 samples/s, 400 requests/s");

    const RunSample last = TypicalSample(3599);
    const std::tuple<std::string, std::string, std::string, size_t> expected[] = {
        {"RPM", "2410", "rpm", 0},
        {"MPH", "65.99", "mph", 1},
        {"MAP", "0.10", "psi", 2},
        {"Coolant", "180.4", "F", 3},
        {"Acceleration (0.5 s mean)", "0.11", "G", 5},
        {"Power (0.5 s mean)", "45.25", "HP", 6},
    };
    ASSERT_EQ(window.Strips().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& [name, value, unit, column] = expected[i];
        const LiveWindow::Strip& strip = window.Strips()[i];
        SCOPED_TRACE(name);
        EXPECT_EQ(strip.Name->text().toStdString(), name);
        EXPECT_EQ(Readout(window, i), value);
        EXPECT_EQ(strip.Unit->text().toStdString(), unit);
        const auto data = strip.Graph->data();
        ASSERT_GT(data->size(), 1);
        EXPECT_LE(data->size(), 2 * strip.Rect->width() + 4);
        EXPECT_LT(data->at(0)->key, last.Time - 60);
        EXPECT_EQ(data->at(data->size() - 1)->key, last.Time);
        EXPECT_NEAR(data->at(data->size() - 1)->value, *last.Values[column], 1e-9);  // a mean of equal values
        EXPECT_EQ(strip.Rect->axis(QCPAxis::atBottom)->range().lower, last.Time - 60);
        EXPECT_TRUE(strip.Rect->axis(QCPAxis::atLeft)->range().contains(*last.Values[column]));
    }
    window.RunEnded();
    EXPECT_EQ(window.StatusText().toStdString(), "Not logging (showing the run started 14:03:22)");
}

// The wideband's AFR and lambda get strips, its status code does not; while the newest
// sample has no valid reading the status line says why.
TEST(LiveWindow, TheWidebandStatusIsToldNotCharted)
{
    LiveAlarms alarms;
    LiveWindow window(alarms);
    window.show();
    window.RunStarted({{"AFR", "", 2, false}, {"Lambda", "", 3, false}, {"WB Status", "", 0, false}},
                      std::chrono::system_clock::now());
    EXPECT_EQ(window.Strips().size(), 2u);
    window.SampleLogged(Sample(0, {std::nullopt, std::nullopt, 9}));
    window.Redraw();
    EXPECT_TRUE(window.StatusText().endsWith("; wideband: port not open")) << window.StatusText().toStdString();
    window.SampleLogged(Sample(0.1, {14.7, 1.0, 0}));
    window.Redraw();
    EXPECT_FALSE(window.StatusText().contains("wideband")) << window.StatusText().toStdString();
}

// The units combo box: the choice reaches Tessek.ini, the strips change their units, the
// values already charted and the readouts are converted, and later samples arrive converted.
TEST(LiveWindow, MetricUnitsConvertTheChartAndAreKept)
{
    test::TempFolder folder;
    const std::string programFolder = ProgramFolder();
    SetProgramFolder(folder.Path());
    LiveAlarms alarms;
    LiveWindow window(alarms);
    window.show();
    window.RunStarted(kMetricColumns, std::chrono::system_clock::now());
    window.SampleLogged(Sample(0, {50.0, 212.0, -3.5, 0.25}));
    auto* units = window.findChild<QComboBox*>("cbxUnits");
    ASSERT_NE(units, nullptr);
    units->setCurrentIndex(1);
    EXPECT_EQ(folder.Read("Tessek.ini"), "[Units]\nSystem=metric\n");
    window.SampleLogged(Sample(1, {100.0, 32.0, 1.0, 0.5}));
    window.Redraw();
    const std::tuple<std::string, std::string, double> expected[] = {
        {"km/h", "160.93", 80.4672}, {"°C", "0.0", 100.0}, {"kPa", "6.89", -24.1317}, {"g", "0.50", 0.25}};
    ASSERT_EQ(window.Strips().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& [unit, readout, first] = expected[i];
        SCOPED_TRACE(unit);
        EXPECT_EQ(window.Strips()[i].Unit->text().toStdString(), unit);
        EXPECT_EQ(Readout(window, i), readout);
        EXPECT_NEAR(window.Strips()[i].Graph->data()->at(0)->value, first, 1e-3);
    }
    // A new window starts in the units kept.
    LiveWindow next(alarms);
    EXPECT_EQ(next.findChild<QComboBox*>("cbxUnits")->currentIndex(), 1);
    units->setCurrentIndex(0);
    EXPECT_EQ(Readout(window, 1), "32.0");
    SetProgramFolder(programFolder);
}

// The engine speed readouts "2060" and "2120" are those of samples 2 and 4.
TEST(LiveWindow, DrawsOnlyFromItsTimerWhileShownDuringARun)
{
    LiveAlarms alarms;
    LiveWindow window(alarms);
    window.RunStarted(kTypicalColumns, std::chrono::system_clock::now());
    window.SampleLogged(TypicalSample(0));
    // Hidden: no timer, nothing drawn.
    EXPECT_FALSE(window.RedrawScheduled());
    window.Redraw();
    EXPECT_EQ(window.Frames().Frames, 0);
    window.show();
    EXPECT_TRUE(window.RedrawScheduled());
    QCoreApplication::processEvents();  // the frame that showing the window asks for
    ASSERT_EQ(window.Frames().Frames, 1);

    // Nothing new: a tick of the timer draws nothing. The observer calls only store; the
    // next tick draws what came since.
    window.Redraw();
    EXPECT_EQ(window.Frames().Frames, 1);
    window.SampleLogged(TypicalSample(1));
    window.SampleLogged(TypicalSample(2));
    EXPECT_EQ(window.Frames().Frames, 1);
    window.Redraw();
    EXPECT_EQ(window.Frames().Frames, 2);
    EXPECT_EQ(Readout(window, 0), "2060");
    // A sample shorter than the columns whose engine speed is not a number: the last values
    // stay, dimmed, where values are missing, and the line breaks. The strips fill from the
    // left.
    window.SampleLogged(Sample(TypicalSample(3).Time, {kNaN, 12.0}));
    window.Redraw();
    EXPECT_EQ(window.Frames().Frames, 3);
    EXPECT_EQ(Readout(window, 0), "2060");
    EXPECT_TRUE(window.Strips()[0].Stale);
    EXPECT_EQ(Readout(window, 1), "12.00");
    EXPECT_FALSE(window.Strips()[1].Stale);
    EXPECT_TRUE(window.Strips()[5].Stale);
    EXPECT_EQ(window.Strips()[0].Rect->axis(QCPAxis::atBottom)->range(), QCPRange(0, 60));

    // After the run its data stays on show; the timer stops.
    window.SampleLogged(TypicalSample(4));
    window.RunEnded();
    EXPECT_FALSE(window.RedrawScheduled());
    EXPECT_EQ(Readout(window, 0), "2120");
    // Samples 0, 1, 2 and 4, with a break where sample 3 had no engine speed.
    const auto rpm = window.Strips()[0].Graph->data();
    ASSERT_EQ(rpm->size(), 5);
    EXPECT_EQ(rpm->at(3)->key, TypicalSample(3).Time);
    EXPECT_TRUE(std::isnan(rpm->at(3)->value));
}

}  // namespace
}  // namespace tessek
