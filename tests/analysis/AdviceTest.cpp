// The fuel and spark advice's arithmetic and filters, one case per row: a steady drive in
// one cell (2000-2500 rpm, -7.5 to -5 psi) sampled every 1/16 s, 2.5 s long, changed by
// each row's edit. At 2250 rpm the sensor's delay is 0.3 s: the first two readings have no
// sample that early, every other reading j is matched with sample j - 5.
#include "analysis/Advice.h"
#include "analysis/CellTable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <tuple>

#include "logging/ColumnNames.h"

namespace tessek {
namespace {

constexpr size_t kRows = 40;
constexpr double kLean5 = 14.7 * 1.05;

LogData SteadyDrive()
{
    LogData log;
    const auto add = [&](std::string_view name, std::string_view unit, double value) {
        log.Channels.push_back({std::string(name), std::string(unit), false, 1, std::vector<double>(kRows, value)});
    };
    for (size_t i = 0; i < kRows; ++i)
        log.Time.push_back(static_cast<double>(i) / 16);
    add(kEngineSpeedColumn, "rpm", 2250);
    add(kBoostColumn, "psi", -6.25);
    add(kCoolantColumn, "F", 180);
    add(kThrottleColumn, "%", 20);
    add(kAfrColumn, "", kLean5);
    for (std::string_view retard : kRetardColumns)
        add(retard, "deg", 0);
    return log;
}

std::vector<double>& Column(LogData& log, std::string_view name)
{
    for (LogChannel& c : log.Channels)
        if (c.Name == name)
            return c.Values;
    throw std::logic_error("no column");
}

// What the advice of the drive's cell must be after a case's edit.
struct Expected {
    const char* Name;
    size_t Samples;
    double Percent;  // NaN: no correction
    bool Clipped;
    AdviceDrops Dropped;
    int RemoveDegrees = 0;
    size_t Knocked = 0;
};

struct Case {
    Expected Expect;
    std::function<void(LogData&, AdviceSettings&)> Edit;
};

constexpr double kNone = NAN;

TEST(Advice, FuelAndSparkPerCell)
{
    const Case cases[] = {
        {{"LeanCell", 38, 5.0, false, {.NoMatch = 2}}, [](LogData&, AdviceSettings&) {}},
        {{"CoolantInCelsius", 38, 5.0, false, {.NoMatch = 2}},
         [](LogData& l, AdviceSettings&) {
             l.Channels[2].Unit = "°C";
             Column(l, kCoolantColumn).assign(kRows, 75);
         }},
        {{"SlowEngine", 0, kNone, false, {.SlowEngine = 40}},
         [](LogData& l, AdviceSettings& s) {
             Column(l, kEngineSpeedColumn).assign(kRows, 450);
             s.Delay = {{0}, {0}};
         }},
        // 20 to 80 % in 1/16 s between samples 19 and 20: samples 16 to 23 lie within 0.3 s.
        {{"ThrottleStab", 30, 5.0, false, {.NoMatch = 2, .Transient = 8}},
         [](LogData& l, AdviceSettings&) {
             std::vector<double>& tps = Column(l, kThrottleColumn);
             std::fill(tps.begin() + 20, tps.end(), 80);
         }},
        {{"AfrBeyondTheSensor", 0, kNone, false, {.NoMatch = 2, .AfrRange = 38}},
         [](LogData& l, AdviceSettings&) { Column(l, kAfrColumn).assign(kRows, 19.6); }},
        // Samples 1, 3, ..., 33 (matched by readings 6, 8, ..., 38) lack their MAP.
        {{"MissingMap", 21, 5.0, false, {.NoValue = 17, .NoMatch = 2}},
         [](LogData& l, AdviceSettings&) {
             std::vector<double>& map = Column(l, kBoostColumn);
             for (size_t i = 1; i < kRows; i += 2)
                 map[i] = NAN;
         }},
        {{"TooFewReadings", 15, kNone, false, {.NoValue = 23, .NoMatch = 2}},
         [](LogData& l, AdviceSettings&) {
             std::vector<double>& afr = Column(l, kAfrColumn);
             std::fill(afr.begin() + 17, afr.end(), NAN);
         }},
        {{"RichBeyondTheLimit", 38, -20.0, true, {.NoMatch = 2}},
         [](LogData& l, AdviceSettings&) { Column(l, kAfrColumn).assign(kRows, 11.0); }},
        {{"TargetFromTheTable", 38, -3.0, false, {.NoMatch = 2}},
         [](LogData& l, AdviceSettings& s) {
             s.Target = DefaultAfrTargets();
             Column(l, kBoostColumn).assign(kRows, 11.25);  // 10 to 12.5 psi: 11.8
             Column(l, kAfrColumn).assign(kRows, 11.8 * 0.97);
         }},
        {{"LambdaWithoutAfr", 38, 5.0, false, {.NoMatch = 2}},
         [](LogData& l, AdviceSettings&) {
             l.Channels[4].Name = kLambdaColumn;
             l.Channels[4].Values.assign(kRows, 1.05);
         }},
        // Half the samples at the centre (+10 %, weight 1), half at 2499 rpm (0 %, weight 0.502).
        {{"CloserToTheCentreWeighsMore", 40, 10.0 / 1.502, false, {}},
         [](LogData& l, AdviceSettings& s) {
             s.Delay = {{0}, {0}};
             for (size_t i = 1; i < kRows; i += 2) {
                 Column(l, kEngineSpeedColumn)[i] = 2499;
                 Column(l, kAfrColumn)[i] = 14.7;
                 Column(l, kAfrColumn)[i - 1] = 14.7 * 1.1;
             }
         }},
        // The engine leaves a rich cell (2750 rpm) for this one at sample 10; the sensor still
        // reads the rich mixture until reading 15, whose sample 0.3 s earlier is sample 10.
        {{"ReadingsBelongToTheMomentBefore", 25, 5.0, false, {.NoMatch = 1}},
         [](LogData& l, AdviceSettings&) {
             std::fill_n(Column(l, kEngineSpeedColumn).begin(), 10, 2750);
             std::fill_n(Column(l, kAfrColumn).begin(), 15, 14.7 * 0.95);
         }},
        {{"KnockTakesWholeDegreesOut", 38, 5.0, false, {.NoMatch = 2}, 3, 3},
         [](LogData& l, AdviceSettings&) {
             Column(l, kRetardColumns[1])[10] = 2.5;
             Column(l, kRetardColumns[1])[11] = 1;
             Column(l, kRetardColumns[3])[11] = 2;
             Column(l, kRetardColumns[3])[30] = 1;
         }},
    };
    for (const auto& [c, edit] : cases) {
        SCOPED_TRACE(c.Name);
        LogData log = SteadyDrive();
        AdviceSettings settings;
        settings.Target = UniformAfrTarget(14.7);
        edit(log, settings);
        const Advice advice = ComputeAdvice(log, settings);
        ASSERT_EQ(advice.Problem, "");
        const auto x = static_cast<size_t>(BinOf(advice.RpmEdges, Column(log, kEngineSpeedColumn)[kRows / 2]));
        const auto y = static_cast<size_t>(BinOf(advice.MapEdges, Column(log, kBoostColumn)[kRows / 2]));
        const FuelCell& cell = advice.FuelAt(x, y);
        EXPECT_EQ(cell.Samples, c.Samples);
        if (std::isnan(c.Percent))
            EXPECT_FALSE(cell.Enough()) << cell.Percent;
        else
            EXPECT_NEAR(cell.Percent, c.Percent, 0.01);
        EXPECT_EQ(cell.Clipped, c.Clipped);
        const auto drops = [](const AdviceDrops& d) {
            return std::tuple(d.NoValue, d.NoMatch, d.Cold, d.SlowEngine, d.Transient, d.AfrRange, d.Outside);
        };
        EXPECT_EQ(drops(advice.Dropped), drops(c.Dropped));
        ASSERT_FALSE(advice.Spark.empty());
        EXPECT_EQ(advice.SparkAt(x, y).RemoveDegrees, c.RemoveDegrees);
        EXPECT_EQ(advice.SparkAt(x, y).Knocked, c.Knocked);
    }
}

}  // namespace
}  // namespace tessek
