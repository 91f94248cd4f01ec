// The power curve of a simulated session against the simulator's own engine: the logging
// run polls the simulated LM's scenario (two full-throttle pulls with a launch and a gear
// change, a cruise and coasting), its data log is read back, and the curve of the pulls
// chosen at first (first gear) and the peaks the power curve tab prints lie within 5 % and
// 3 % of the engine's torque curve.
#include "analysis/PowerCurve.h"
#include "logfiles/DataLog.h"
#include "logfiles/LogFile.h"
#include "logging/LogRun.h"
#include "logging/LogSettings.h"
#include "platform/IniFile.h"
#include "sim/Scenario.h"
#include "tests/common/FakeCommandHost.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace tessek {
namespace {

// The LM's memory follows the scenario at the host's clock; every exchange takes 4 ms, so
// a request of the same two-byte value may see it change between its two bytes.
struct ScenarioHost : test::FakeCommandHost {
    std::optional<LmAnswer> ReadLmByte(uint8_t address, int replies) override
    {
        Memory = sim::ScenarioMemory(std::chrono::milliseconds(Now));
        return FakeCommandHost::ReadLmByte(address, replies);
    }
    uint32_t TickCount() override
    {
        if (Now >= EndMs)
            SetBusy(false);
        return FakeCommandHost::TickCount();
    }
    uint32_t EndMs = 0;
};

TEST(PowerCurveTruth, PeaksOfASimulatedSessionMatchTheSimulatorsEngine)
{
    test::TempFolder folder;
    ScenarioHost host;
    host.Folder = folder.Path();
    host.MsPerExchange = 4;
    host.MsPerTickRead = 1;
    host.EndMs = static_cast<uint32_t>(sim::kScenarioCycle.count());
    LoggingSettings settings;
    settings.LogAddrs = {0x12, 0x8F, 0x69, 0x98, 0x86, 0x12, 0x12, 0x12, 0x12};
    settings.Performance = true;
    settings.CarWeight = static_cast<int32_t>(sim::kCarWeightLb);
    IniFile ini(folder.File("Tessek.ini"));
    LogRunState state;
    DataLogWriter dataLog(folder.Path());
    LogRun(host, settings, ini, {}, state, {&dataLog}).StartOrStop();
    const LogReadResult read = ReadLogFile(dataLog.CsvPath());
    ASSERT_TRUE(read.Ok()) << read.Error;
    ASSERT_GT(read.Report.RowsRead, 4000u);

    double truePower = 0, truePowerRpm = 0, trueTorque = 0, trueTorqueRpm = 0;
    for (double rpm = 2200; rpm <= 5400; rpm += 1) {
        const double torque = sim::EngineTorque(rpm);
        if (torque > trueTorque)
            trueTorque = torque, trueTorqueRpm = rpm;
        if (torque * rpm / 5250 > truePower)
            truePower = torque * rpm / 5250, truePowerRpm = rpm;
    }
    const PowerCurve curve = ComputePowerCurve(read.Data);
    ASSERT_TRUE(curve.Ok()) << curve.Problem;
    EXPECT_NEAR(curve.PeakPower, truePower, truePower * 0.03) << "at " << curve.PeakPowerRpm << " rpm";
    EXPECT_NEAR(curve.PeakTorque, trueTorque, trueTorque * 0.03) << "at " << curve.PeakTorqueRpm << " rpm";
    EXPECT_NEAR(curve.PeakPowerRpm, truePowerRpm, 300);
    EXPECT_NEAR(curve.PeakTorqueRpm, trueTorqueRpm, 300);
    // Every point of the curve, not only its peaks, follows the engine: the launch, where
    // the clutch slips, is left out.
    for (const PowerCurvePoint& p : curve.Points) {
        SCOPED_TRACE(p.Rpm);
        EXPECT_NEAR(p.Torque, sim::EngineTorque(p.Rpm), sim::EngineTorque(p.Rpm) * 0.05);
    }
}

}  // namespace
}  // namespace tessek
