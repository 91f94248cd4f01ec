#include "sim/Scenario.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessek::sim {
namespace {

using namespace std::chrono_literals;
namespace a = lm_addr;

// The logger's conversions, written out here so that the scenario is checked against
// what a user of Tessek would read.
struct Decoded {
    explicit Decoded(const LmMemory& m)
        : rpm(((m[a::kRpmHigh] << 8) | m[a::kRpmLow]) / 4),
          mph(((m[a::kMphHigh] << 8) | m[a::kMphLow]) / 64.0),
          tps(m[a::kTps] * 0.390625),
          spark(m[a::kSpark] / 2.0),
          coolant(m[a::kCoolant] * 1.24609375 - 60),
          o2(m[a::kO2] * 0.0194 + 0.0446),
          knock(m[a::kKnock] / 256.0 * 5),
          charge(ChargeTemp(m[a::kChargeTemp])),
          rawCharge(ChargeTemp(m[a::kRawChargeTemp])),
          baro(m[a::kBaro]),
          map(m[a::kMap]),
          throttleFlag(m[a::kThrottleFlag])
    {
        for (int i = 0; i < 4; ++i)
            retard[i] = (m[a::kRetardCyl1 + i] & 0x3F) / 2;
    }

    static double ChargeTemp(int t)
    {
        if (t < 17)
            return 335 - t * 5.14286;
        if (t < 26)
            return 284 - (t - 17) * 3.66667;
        if (t < 89)
            return 215 - (t - 26) * 1.34921;
        if (t < 144)
            return 130 - (t - 89) * 0.69091;
        if (t < 233)
            return 92 - (t - 144) * 0.92135;
        return 10 - (t - 233) * 2.77778;
    }

    double BoostPsi() const { return (map - baro) * 0.172266; }
    double VacuumInHg() const { return (baro - map) * 0.172266 * 2.036; }

    int rpm;
    double mph, tps, spark, coolant, o2, knock, charge, rawCharge;
    int baro, map, throttleFlag;
    int retard[4];
};

std::chrono::milliseconds At(int tenths)
{
    return std::chrono::milliseconds(tenths * 100);
}

TEST(Scenario, EveryValueStaysPlausibleOverTwoCycles)
{
    for (int tenth = 0; tenth <= 2400; ++tenth) {
        SCOPED_TRACE(testing::Message() << "t = " << tenth / 10.0 << " s");
        const LmMemory m = ScenarioMemory(At(tenth));
        const Decoded d(m);
        ASSERT_GE(d.rpm, 800);
        ASSERT_LE(d.rpm, 6000);
        ASSERT_GE(d.mph, 0.0);
        ASSERT_LE(d.mph, 65.0);
        ASSERT_LE(d.tps, 100.0);
        ASSERT_EQ(d.throttleFlag == 1, d.tps < 1.0) << "the flag marks a closed throttle";
        ASSERT_EQ(d.baro, 85) << "sea level on a 3 bar sensor";
        if (d.map > d.baro) {
            ASSERT_GT(d.tps, 90.0) << "boost only at full throttle";
            ASSERT_LE(d.BoostPsi(), 13.0);
        } else {
            ASSERT_LE(d.VacuumInHg(), 22.0);
        }
        ASSERT_GE(d.coolant, 100.0);
        ASSERT_LE(d.coolant, 200.0);
        ASSERT_GE(d.charge, 80.0);
        ASSERT_LE(d.charge, 160.0);
        ASSERT_NEAR(d.rawCharge, d.charge, 3.0);
        ASSERT_GE(d.o2, 0.05);
        ASSERT_LE(d.o2, 0.95);
        ASSERT_GE(d.knock, 0.3);
        ASSERT_LE(d.knock, 2.0);
        ASSERT_GE(d.spark, 10.0);
        ASSERT_LE(d.spark, 40.0);
        for (int r : d.retard)
            ASSERT_LE(r, 5);
        if (d.mph == 0.0) {
            ASSERT_LE(std::abs(d.rpm - 850), 20) << "idling at standstill";
        }
        // Fault codes and adaptive cells are what the module stored, not live values.
        ASSERT_EQ(m[0x46], 0x40);
        ASSERT_EQ(m[0x47], 0x10);
        ASSERT_EQ(m[0x48], 0x00);
        ASSERT_EQ(m[0x49], 0x40);
        for (int cell = 0x50; cell <= 0x5C; ++cell)
            ASSERT_LE(std::abs(m[static_cast<size_t>(cell)] - 0x80), 0x10) << "cell " << cell;
    }
}

TEST(Scenario, IdlesThenDrivesWithBoostAndCruise)
{
    bool idled = false, boosted = false, cruised = false, coasted = false;
    double topMph = 0;
    for (int tenth = 0; tenth < 1200; ++tenth) {
        const Decoded d(ScenarioMemory(At(tenth)));
        topMph = std::max(topMph, d.mph);
        idled |= tenth < 150 && d.mph == 0.0 && d.throttleFlag == 1 && d.VacuumInHg() > 15;
        boosted |= d.BoostPsi() > 10.0 && d.tps > 99.0 && d.rpm > 4000;
        cruised |= std::abs(d.mph - 60) < 2 && std::abs(d.rpm - 2400) < 100 && d.tps > 10 && d.tps < 20;
        coasted |= d.mph > 30 && d.throttleFlag == 1 && d.o2 < 0.2;
    }
    EXPECT_TRUE(idled);
    EXPECT_TRUE(boosted);
    EXPECT_TRUE(cruised);
    EXPECT_TRUE(coasted);
    EXPECT_GE(topMph, 58.0);
}

TEST(Scenario, SpeedAndEngineSpeedMoveSmoothly)
{
    Decoded previous(ScenarioMemory(At(0)));
    for (int tenth = 1; tenth <= 2400; ++tenth) {
        SCOPED_TRACE(testing::Message() << "t = " << tenth / 10.0 << " s");
        const Decoded d(ScenarioMemory(At(tenth)));
        ASSERT_LE(std::abs(d.mph - previous.mph), 1.0);
        ASSERT_LE(std::abs(d.rpm - previous.rpm), 350);
        ASSERT_LE(std::abs(d.coolant - previous.coolant), 1.5);
        previous = d;
    }
}

TEST(Scenario, CoolantWarmsUpThenHolds)
{
    const Decoded cold(ScenarioMemory(0ms));
    const Decoded warm(ScenarioMemory(10min));
    EXPECT_LT(cold.coolant, 120.0);
    EXPECT_GT(warm.coolant, 185.0);
}

TEST(EncodeState, UsesTheLoggersUnits)
{
    EngineState s = ScenarioState(0ms);
    s.rpm = 2000;
    s.mph = 50;
    s.coolantF = 131.9;
    s.chargeF = 335;
    s.tpsPercent = 100;
    s.knockVolts = 2.5;
    s.sparkDeg = 20.5;
    s.retardDeg = {0, 1, 2, 31};
    const LmMemory m = EncodeState(s);
    EXPECT_EQ(m[a::kRpmLow], 0x40);
    EXPECT_EQ(m[a::kRpmHigh], 0x1F);
    EXPECT_EQ(m[a::kMphLow], 0x80);
    EXPECT_EQ(m[a::kMphHigh], 0x0C);
    EXPECT_EQ(m[a::kCoolant], 0x9A);
    EXPECT_EQ(m[a::kChargeTemp], 0x00);
    EXPECT_EQ(m[a::kTps], 0xFF) << "clamped to a byte";
    EXPECT_EQ(m[a::kKnock], 0x80);
    EXPECT_EQ(m[a::kSpark], 41);
    EXPECT_EQ(m[a::kRetardCyl1 + 0], 0);
    EXPECT_EQ(m[a::kRetardCyl1 + 1], 2);
    EXPECT_EQ(m[a::kRetardCyl1 + 2], 4);
    EXPECT_EQ(m[a::kRetardCyl1 + 3], 62);
}

}  // namespace
}  // namespace tessek::sim
