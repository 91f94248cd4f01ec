// The dyno: pulls found by gear in a log made from a known engine, with the launch's
// slipping clutch and the shift left out; the pulls chosen at first; the SAE J1349 factor
// and the road load.
#include "analysis/PowerCurve.h"
#include "logfiles/LogFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "tests/common/PullLog.h"

namespace tessek {
namespace {

DynoRun PullLogRun(test::PullLogTimes* times = nullptr)
{
    const LogReadResult read = ParseLogText(test::PullLogCsv(times));
    EXPECT_TRUE(read.Ok()) << read.Error;
    return DynoRun(read.Data);
}

long Hundreds(double rpm)
{
    return std::lround(std::floor(rpm / 100) * 100);
}

// The largest relative error of the curve's torque against the engine's, over every point.
double MaxTorqueError(const PowerCurve& curve)
{
    double worst = 0;
    for (const PowerCurvePoint& p : curve.Points)
        worst = std::max(worst, std::fabs(p.Torque / test::PullLogTorque(p.Rpm) - 1));
    return worst;
}

TEST(Dyno, TheCurveFollowsTheEnginesTorqueWithTheSlippingClutchAndTheShiftLeftOut)
{
    test::PullLogTimes times;
    DynoRun run = PullLogRun(&times);
    const PullFinding& found = run.Found();
    ASSERT_EQ(found.Gears.size(), 2u);
    EXPECT_NEAR(found.Gears[0], test::kPullLogFirst, test::kPullLogFirst * 0.01);
    EXPECT_NEAR(found.Gears[1], test::kPullLogSecond, test::kPullLogSecond * 0.01);
    ASSERT_EQ(found.Pulls.size(), 2u);
    // No sample of a pull before the clutch has caught its gear (but the last moment, when
    // the engine turns within 3 % of the gear's speed).
    EXPECT_GE(found.Pulls[0].Start, times.SlipEnd - 0.05);
    EXPECT_GE(found.Pulls[1].Start, times.SecondGear - 0.05);
    // The launch slips for about 70 samples at full throttle; the clutch lets in second gear
    // for about 8.
    EXPECT_GE(found.LeftOutCount(LeftOutReason::SlippingClutch), 60u);
    EXPECT_GE(found.LeftOutCount(LeftOutReason::Shift), 4u);
    EXPECT_EQ(found.LeftOutCount(LeftOutReason::WheelSpin), 0u);

    for (const bool both : {false, true}) {
        SCOPED_TRACE(both ? "both gears" : "first gear");
        run.Choose(1, both);
        const PowerCurve curve = run.Curve();
        ASSERT_TRUE(curve.Ok()) << curve.Problem;
        // From the end of the slip to the top, every bin within 5 %.
        EXPECT_LE(curve.Points.front().Rpm, test::kPullLogLaunchRpm + 150);
        EXPECT_GE(curve.Points.back().Rpm, test::kPullLogTopRpm - 150);
        EXPECT_LE(MaxTorqueError(curve), 0.05);
        EXPECT_NEAR(curve.PeakTorqueRpm, 3500, 300);
    }
}

// Which samples are left out and why, on logs of one road speed change each. (A slipping
// clutch: the pull log's launch, in the test above.)
TEST(Dyno, SamplesOutsideAGearAreCountedByWhatTheRatioDid)
{
    // 50 samples a second; rpm and mph go linearly from one value to the next over each
    // stretch of seconds.
    struct Stretch {
        double Seconds, Rpm, Mph;
    };
    const auto inputs = [](std::vector<Stretch> stretches, bool speed) {
        PullInputs in;
        double t = 0, rpm = stretches.front().Rpm, mph = stretches.front().Mph;
        for (const Stretch& s : stretches) {
            const int n = static_cast<int>(s.Seconds * 50);
            for (int i = 1; i <= n; ++i, t += 0.02) {
                in.Time.push_back(t);
                in.Rpm.push_back(rpm + (s.Rpm - rpm) * i / n);
                if (speed)
                    in.Speed.push_back(mph + (s.Mph - mph) * i / n);
                in.Acceleration.push_back(0.3);
                in.Power.push_back(100);
            }
            rpm = s.Rpm, mph = s.Mph;
        }
        return in;
    };
    const std::vector<Stretch> gearThenSpin = {{0, 2000, 20}, {2, 3000, 30}, {0.5, 4000, 30.5}};
    using Reasons = std::vector<LeftOutReason>;
    const std::tuple<const char*, PullInputs, Reasons, std::string> cases[] = {
        {"the engine runs away from the road speed: wheel spin",
         inputs(gearThenSpin, true),
         {LeftOutReason::WheelSpin},
         "1:2000-2900"},
        {"the ratio falls after a gear, then holds for less than a second",
         inputs({{0, 2000, 20}, {2, 3000, 30}, {0.3, 3000, 40}, {0.9, 3600, 48}}, true),
         {LeftOutReason::Shift, LeftOutReason::NoGear},
         "1:2000-2900"},
        {"no road speed: every sample in a pull of no gear", inputs(gearThenSpin, false), {}, "0:2000-4000"},
    };
    for (const auto& [name, in, reasons, pulls] : cases) {
        SCOPED_TRACE(name);
        const PullFinding found = FindPulls(in);
        std::string text;
        for (const Pull& p : found.Pulls)
            text += (text.empty() ? "" : " ") + std::to_string(p.Gear) + ":" + std::to_string(Hundreds(p.RpmFrom)) +
                    "-" + std::to_string(Hundreds(p.RpmTo));
        EXPECT_EQ(text, pulls);
        for (size_t r = 0; r < found.LeftOut.size(); ++r)
            EXPECT_EQ(found.LeftOut[r] > 0, std::ranges::count(reasons, static_cast<LeftOutReason>(r)) == 1)
                << "reason " << r;
    }
}

TEST(Dyno, TheFirstChoiceIsThePullsOfTheHighestRatioThatCover1500Rpm)
{
    const auto finding = [](std::vector<std::pair<int, double>> pulls) {
        PullFinding found;
        for (const auto& [gear, span] : pulls)
            found.Pulls.push_back({0, 0, gear, 2000, 2000 + span, {}});
        return found;
    };
    EXPECT_EQ(DefaultPullChoice(finding({{1, 1000}, {2, 2000}, {2, 1500}, {3, 2500}, {2, 900}})),
              (std::vector<bool>{false, true, true, false, false}));
    // None covers 1500 rpm: every pull of the highest ratio.
    EXPECT_EQ(DefaultPullChoice(finding({{2, 1000}, {1, 800}, {1, 500}})), (std::vector<bool>{false, true, true}));
}

TEST(Dyno, J1349CorrectsToStandardAirAndRoadLoadIsAddedAtTheLogsWeight)
{
    // 1.18 × (99 / 95) × √(308 / 298) − 0.18 = 1.18 × 1.042105 × 1.016640 − 0.18 = 1.070146
    EXPECT_NEAR(J1349Factor(95, 35), 1.070146, 1e-6);
    EXPECT_DOUBLE_EQ(J1349Factor(99, 25), 1.0);
    // At 60 mph (26.82 m/s), 2500 lb: rolling 0.015 × 11120 N = 166.8 N, drag 0.5 × 1.2 ×
    // 0.34 × 1.9 × 26.82² = 278.9 N; (166.8 + 278.9) N × 26.82 m/s = 11954 W = 16.03 hp.
    EXPECT_NEAR(RoadLoadHp({}, 2500, 60), 16.03, 0.01);

    const DynoRun run = PullLogRun();
    const PowerCurve plain = run.Curve();
    // The log's air: 95 kPa (MAP abs less Boost) and a typed 30 °C.
    DynoOptions options;
    options.Correction = true;
    options.AirTemperature = 30;
    EXPECT_NEAR(run.Curve(options).PeakPower / plain.PeakPower, J1349Factor(95, 30), 1e-9);

    options = {};
    options.RoadLoad = true;
    const PowerCurve loaded = run.Curve(options);
    EXPECT_EQ(loaded.RoadLoadNote,
              "Road load added: rolling resistance 0.015, drag 0.34 x 1.90 m², at 3000 lb (the weight the log's "
              "power was worked out with).");
    ASSERT_EQ(loaded.Points.size(), plain.Points.size());
    for (size_t i = 0; i < plain.Points.size(); ++i) {
        const double mph = plain.Points[i].Rpm / test::kPullLogFirst;
        SCOPED_TRACE(mph);
        EXPECT_NEAR(loaded.Points[i].Power - plain.Points[i].Power, RoadLoadHp(options, test::kPullLogWeightLb, mph),
                    0.5);
    }
}

}  // namespace
}  // namespace tessek
