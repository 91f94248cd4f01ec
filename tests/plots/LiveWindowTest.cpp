// The live chart: min/max thinning, the ring that wraps, the run's rates, and the window fed
// through the run's observer calls on the offscreen platform (strips, readouts, and frames
// drawn only while they should be).
#include "platform/ProgramFolder.h"
#include "plots/Decimate.h"
#include "plots/LiveSeries.h"
#include "plots/LiveWindow.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QComboBox>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A wave with one spike up and one down and every third value missing, thinned to 300
// columns: both spikes stay, no missing value is drawn, and the line reaches just past
// both edges.
TEST(DecimateMinMax, KeepsEveryPeakAndDipOfTheVisibleRange)
{
    std::vector<double> t, v;
    for (int i = 0; i < 100000; ++i) {
        t.push_back(i * 0.01);
        v.push_back(i == 31337 ? 1000 : i == 55555 ? -1000 : i % 3 == 0 ? kNaN : 100 * std::sin(i * 0.37));
    }
    const double from = 100.005, to = 700.005;
    const auto out = DecimateMinMax(t.data(), v.data(), t.size(), from, to, 300);
    EXPECT_LE(out.size(), 2u * 300 + 4);
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end(), [](auto& a, auto& b) { return a.Time < b.Time; }));
    EXPECT_LT(out.front().Time, from);
    EXPECT_GT(out.back().Time, to);
    EXPECT_EQ(std::count_if(out.begin(), out.end(), [](const PlotPoint& p) { return std::isnan(p.Value); }), 0);
    const auto [lo, hi] =
        std::minmax_element(out.begin(), out.end(), [](auto& a, auto& b) { return a.Value < b.Value; });
    EXPECT_EQ(lo->Value, -1000);
    EXPECT_EQ(hi->Value, 1000);
    EXPECT_TRUE(DecimateMinMax(t.data(), v.data(), t.size(), to, from, 300).empty());
}

// More than twice round the ring at the fastest rate (one slot at the wire limit), with
// value = time: the newest kCapacity points, more than the minute on show, in order and
// each value with its time.
TEST(LiveSeries, KeepsTheNewestPointsInOrderAcrossTheWrap)
{
    constexpr double kFastestRate = 384.0;  // samples/s
    EXPECT_EQ(LiveSeries().LastTime(), std::nullopt);
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

    // A value that is not a number shows none and adds no point; a time that goes back is
    // taken as the newest.
    series.Add(newest + 1, HUGE_VAL);
    EXPECT_EQ(series.Latest(), std::nullopt);
    series.Add(newest - 1, -1.0);
    EXPECT_EQ(series.LastTime(), newest);
    EXPECT_EQ(series.Range(newest, newest).value_or(ValueRange{}).Lower, -1.0);
}

// Over the last kWindow seconds, from more samples than the meter keeps; a stalled LM's
// rates come from its last two samples.
TEST(RateMeter, MeasuresTheLastSecondsOfARun)
{
    RateMeter meter;
    meter.Add(0.0, 10);
    meter.Add(0.0, 10);
    EXPECT_EQ(meter.SamplesPerSecond(), std::nullopt);
    for (int i = 1; i <= 8000; ++i)
        meter.Add(i / 2000.0, 3);
    EXPECT_NEAR(*meter.SamplesPerSecond(), 2000, 1e-6);
    EXPECT_NEAR(*meter.RequestsPerSecond(), 6000, 1e-6);
    meter.Add(9.0, 10);
    meter.Add(14.0, 10);
    EXPECT_DOUBLE_EQ(*meter.SamplesPerSecond(), 0.2);
    EXPECT_DOUBLE_EQ(*meter.RequestsPerSecond(), 2.0);
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
    RunSample sample;
    sample.Time = i * 0.025;
    sample.Values = {
        2000 + 1500 * std::sin(i * 0.02), 30 + i * 0.01, -3.5 + i * 0.001, 180.4, std::nullopt, 0.11, 45.25, 98.7};
    sample.Requests = 10;
    return sample;
}

std::string Readout(const LiveWindow& window, size_t strip)
{
    return window.Strips()[strip].Value->text().toStdString();
}

// 90 s of a run: each strip shows its column up to the last sample, thinned to the strip's
// width, over the last minute, within its scale; the readouts show the last values.
TEST(LiveWindow, StripsShowTheLastMinuteAndTheReadoutsTheLatestValues)
{
    std::tm start{};
    start.tm_year = 126, start.tm_mon = 5, start.tm_mday = 1, start.tm_hour = 14, start.tm_min = 3, start.tm_sec = 22;
    start.tm_isdst = -1;
    LiveWindow window;
    window.show();
    window.RunStarted(kTypicalColumns, std::chrono::system_clock::from_time_t(std::mktime(&start)));
    for (int i = 0; i < 3600; ++i)
        window.SampleLogged(TypicalSample(i));
    window.Redraw();
    EXPECT_EQ(window.StatusText().toStdString(), "Logging since 14:03:22: 40.0 samples/s, 400 requests/s");

    const RunSample last = TypicalSample(3599);
    const std::tuple<std::string, std::string, std::string, size_t> expected[] = {
        {"RPM", "2410", "rpm", 0},    {"MPH", "65.99", "mph", 1},       {"MAP", "0.10", "psi", 2},
        {"Coolant", "180.4", "F", 3}, {"Acceleration", "0.11", "G", 5}, {"Power", "45.25", "HP", 6},
    };
    ASSERT_EQ(window.Strips().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& [name, value, unit, column] = expected[i];
        const LiveWindow::Strip& strip = window.Strips()[i];
        SCOPED_TRACE(name);
        EXPECT_EQ(strip.Name->text().toStdString(), name);
        EXPECT_EQ(Readout(window, i), value);
        EXPECT_EQ(strip.Unit->text().toStdString(), unit);
        EXPECT_EQ(strip.Rect->axis(QCPAxis::atLeft)->label().toStdString(), unit);
        const auto data = strip.Graph->data();
        ASSERT_GT(data->size(), 1);
        EXPECT_LE(data->size(), 2 * strip.Rect->width() + 4);
        EXPECT_LT(data->at(0)->key, last.Time - 60);
        EXPECT_EQ(data->at(data->size() - 1)->key, last.Time);
        EXPECT_EQ(data->at(data->size() - 1)->value, *last.Values[column]);
        EXPECT_EQ(strip.Rect->axis(QCPAxis::atBottom)->range().lower, last.Time - 60);
        EXPECT_EQ(strip.Rect->axis(QCPAxis::atBottom)->range().upper, last.Time);
        EXPECT_TRUE(strip.Rect->axis(QCPAxis::atLeft)->range().contains(*last.Values[column]));
    }
    window.RunEnded();
    EXPECT_EQ(window.StatusText().toStdString(), "Not logging (showing the run started 14:03:22)");
}

// The units combo box: the choice reaches Tessek.ini, the strips change their units, the
// values already charted and the readouts are converted, and later samples arrive converted.
TEST(LiveWindow, MetricUnitsConvertTheChartAndAreKept)
{
    test::TempFolder folder;
    const std::string programFolder = ProgramFolder();
    SetProgramFolder(folder.Path());
    LiveWindow window;
    window.show();
    window.RunStarted(kMetricColumns, std::chrono::system_clock::now());
    RunSample sample;
    sample.Values = {50.0, 212.0, -3.5, 0.25};
    window.SampleLogged(sample);
    auto* units = window.findChild<QComboBox*>("cbxUnits");
    ASSERT_NE(units, nullptr);
    units->setCurrentIndex(1);
    EXPECT_EQ(folder.Read("Tessek.ini"), "[Units]\nSystem=metric\n");
    sample.Time = 1;
    sample.Values = {100.0, 32.0, 1.0, 0.5};
    window.SampleLogged(sample);
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
    LiveWindow next;
    EXPECT_EQ(next.findChild<QComboBox*>("cbxUnits")->currentIndex(), 1);
    units->setCurrentIndex(0);
    EXPECT_EQ(Readout(window, 1), "32.0");
    SetProgramFolder(programFolder);
}

// The engine speed readouts "2060" and "2120" are those of samples 2 and 4.
TEST(LiveWindow, DrawsOnlyFromItsTimerWhileShownDuringARun)
{
    LiveWindow window;
    EXPECT_EQ(window.StatusText().toStdString(), "Not logging");
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
    // A sample shorter than the columns whose engine speed is not a number: dashes where
    // values are missing, and no point. The strips fill from the left.
    RunSample shortSample = TypicalSample(3);
    shortSample.Values = {kNaN, 12.0};
    window.SampleLogged(shortSample);
    window.Redraw();
    EXPECT_EQ(window.Frames().Frames, 3);
    EXPECT_EQ(Readout(window, 0), "---");
    EXPECT_EQ(Readout(window, 1), "12.00");
    EXPECT_EQ(Readout(window, 5), "---");
    EXPECT_EQ(window.Strips()[0].Rect->axis(QCPAxis::atBottom)->range().lower, 0.0);
    EXPECT_EQ(window.Strips()[0].Rect->axis(QCPAxis::atBottom)->range().upper, 60.0);

    // After the run its data stays on show; the timer stops.
    window.SampleLogged(TypicalSample(4));
    window.RunEnded();
    EXPECT_FALSE(window.RedrawScheduled());
    EXPECT_EQ(Readout(window, 0), "2120");
    EXPECT_EQ(window.Strips()[0].Graph->data()->size(), 4);  // samples 0, 1, 2 and 4
}

}  // namespace
}  // namespace tessek
