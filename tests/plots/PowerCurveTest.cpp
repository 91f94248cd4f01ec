#include "plots/PowerCurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace tessek {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct PullLog {
    LogData log;
    PullLog()
    {
        for (const char* name : {"Engine Speed", "Acceleration", "Power", "Torque"})
            log.Channels.push_back({name, "", false, 0, {}});
    }
    void Add(double rpm, double accel, double power, double torque)
    {
        log.Time.push_back(static_cast<double>(log.Time.size()) * 0.02);
        const double v[] = {rpm, accel, power, torque};
        for (size_t i = 0; i < 4; ++i)
            log.Channels[i].Values.push_back(v[i]);
    }
};

// A pull from 2000 to 6000 rpm with power peaking at 5050 rpm and torque at 3550 rpm, with
// wild single samples, samples while slowing down (huge figures that must not count) and
// samples without engine speed.
TEST(PowerCurve, FindsThePeaksOfANoisyPull)
{
    PullLog run;
    size_t expectedSamples = 0;
    for (int i = 0; i < 1600; ++i) {
        const double rpm = 2000 + i * 2.5;
        double power = 200 - 0.0001 * (rpm - 5050) * (rpm - 5050);
        const double torque = 260 - 0.00005 * (rpm - 3550) * (rpm - 3550);
        if (i % 10 == 3)
            power += 500;
        run.Add(rpm, 0.3, power, torque);
        ++expectedSamples;
        if (i % 7 == 0)
            run.Add(rpm, -0.2, 999, 999);
        if (i % 13 == 0)
            run.Add(0, 0.3, 999, 999);
    }
    const PowerCurve c = ComputePowerCurve(run.log);
    ASSERT_TRUE(c.Ok()) << c.Problem;
    EXPECT_EQ(c.Samples, expectedSamples);
    EXPECT_EQ(c.Points.size(), 40u);
    EXPECT_EQ(c.Points.front().Rpm, 2050);
    EXPECT_EQ(c.PeakPowerRpm, 5050);
    EXPECT_NEAR(c.PeakPower, 200, 1.5);
    EXPECT_EQ(c.PeakTorqueRpm, 3550);
    EXPECT_NEAR(c.PeakTorque, 260, 1.5);
}

TEST(PowerCurve, BinsTakeTheMedianThenAverageWithOccupiedNeighbours)
{
    struct Case {
        const char* name;
        std::vector<double> rpm, power;
        std::vector<double> curveRpm, curvePower;
    } const cases[] = {
        {"lone bin stays as it is", {3050}, {100}, {3050}, {100}},
        {"spike shared with its neighbours", {3050, 3150, 3250}, {100, 400, 100}, {3050, 3150, 3250}, {250, 200, 250}},
        {"a gap: bins are not neighbours", {3050, 3250}, {100, 300}, {3050, 3250}, {100, 300}},
        {"median of an even count", {3010, 3020, 3030, 3040}, {1, 2, 100, 3}, {3050}, {2.5}},
        {"median of an odd count", {3010, 3020, 3030}, {1, 100, 3}, {3050}, {3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PullLog run;
        for (size_t i = 0; i < c.rpm.size(); ++i)
            run.Add(c.rpm[i], 1.0, c.power[i], c.power[i] * 2);
        const PowerCurve curve = ComputePowerCurve(run.log);
        ASSERT_TRUE(curve.Ok()) << curve.Problem;
        std::vector<double> rpm, power, torque, twice;
        for (const PowerCurvePoint& p : curve.Points) {
            rpm.push_back(p.Rpm);
            power.push_back(p.Power);
            torque.push_back(p.Torque);
        }
        for (double p : c.curvePower)
            twice.push_back(p * 2);
        EXPECT_EQ(rpm, c.curveRpm);
        EXPECT_EQ(power, c.curvePower);
        EXPECT_EQ(torque, twice);
    }
}

TEST(PowerCurve, TorqueWithoutValuesLeavesPowerStanding)
{
    PullLog run;
    run.Add(3050, 1.0, 100, kNaN);
    run.Add(3150, 1.0, 120, kNaN);
    run.Add(3250, 1.0, 200, kNaN);
    const PowerCurve c = ComputePowerCurve(run.log);
    ASSERT_TRUE(c.Ok()) << c.Problem;
    EXPECT_EQ(c.PeakPower, 160);
    EXPECT_EQ(c.PeakPowerRpm, 3250);
    EXPECT_TRUE(std::isnan(c.PeakTorque));
    EXPECT_TRUE(std::isnan(c.Points[0].Torque));
}

TEST(PowerCurve, SaysWhyThereIsNoCurve)
{
    PullLog slowing;
    slowing.Add(3000, -0.1, 50, 80);
    slowing.Add(3100, 0, 50, 80);
    PullLog noColumns;
    noColumns.log.Channels.resize(1);
    PullLog noRpm;
    noRpm.log.Channels[0].Name = "Road Speed";
    noRpm.Add(3000, 0.5, 50, 80);
    PullLog absurd;
    absurd.Add(1e30, 0.5, 50, 80);
    PullLog rawOnly;
    rawOnly.log.Channels[2].Name = "Power raw";
    rawOnly.log.Channels[2].Raw = true;
    rawOnly.Add(3000, 0.5, 50, 80);
    struct Case {
        const char* name;
        const LogData& log;
        const char* problem;
    } const cases[] = {
        {"no positive acceleration", slowing.log,
         "No acceleration data in this log: no sample with positive acceleration and engine speed."},
        {"engine speed beyond reason", absurd.log,
         "No acceleration data in this log: no sample with positive acceleration and engine speed."},
        {"no performance columns", noColumns.log,
         "No acceleration data in this log: it has no Acceleration, Power and Torque columns."},
        {"a raw column is not the figure", rawOnly.log,
         "No acceleration data in this log: it has no Acceleration, Power and Torque columns."},
        {"no engine speed", noRpm.log, "No power curve for this log: it has no Engine Speed column."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PowerCurve curve = ComputePowerCurve(c.log);
        EXPECT_FALSE(curve.Ok());
        EXPECT_EQ(curve.Problem, c.problem);
        EXPECT_TRUE(curve.Points.empty());
    }
}

}  // namespace
}  // namespace tessek
