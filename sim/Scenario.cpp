#include "sim/Scenario.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessek::sim {
namespace {

constexpr double kIdleRpm = 850.0;
constexpr double kBaroPsi = 14.7;
constexpr double kPsiPerInHg = 1.0 / 2.036;
constexpr double kMapPsiPerCount = 0.172266;
constexpr double kBoostPsi = 12.0;
// Engine revolutions per minute for each mile per hour in the gears the drive uses.
constexpr double kFirstGear = 160.0;
constexpr double kSecondGear = 95.0;
constexpr double kFifthGear = 40.0;

constexpr std::array<uint8_t, 4> kFaultBytes = {
    0x40,  // overboost
    0x10,  // wastegate solenoid
    0x00,
    0x40,  // memory standby power lost
};
constexpr std::array<uint8_t, 13> kAdaptiveCells = {0x82, 0x7F, 0x84, 0x80, 0x7C, 0x86, 0x81,
                                                    0x7E, 0x8A, 0x76, 0x80, 0x83, 0x7B};

double Lerp(double from, double to, double fraction)
{
    return from + (to - from) * std::clamp(fraction, 0.0, 1.0);
}

double Wave(double seconds, double period)
{
    return std::sin(2.0 * std::numbers::pi * seconds / period);
}

uint8_t ToByte(double value)
{
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

uint16_t ToWord(double value)
{
    return static_cast<uint16_t>(std::clamp(std::lround(value), 0L, 65535L));
}

// The logger's charge temperature curve; the scenario picks the raw byte that comes
// closest to the wanted temperature.
double ChargeCurve(int t)
{
    if (t < 17)
        return 335.0 - t * 5.14286;
    if (t < 26)
        return 284.0 - (t - 17) * 3.66667;
    if (t < 89)
        return 215.0 - (t - 26) * 1.34921;
    if (t < 144)
        return 130.0 - (t - 89) * 0.69091;
    if (t < 233)
        return 92.0 - (t - 144) * 0.92135;
    return 10.0 - (t - 233) * 2.77778;
}

uint8_t ChargeByte(double fahrenheit)
{
    int best = 0;
    for (int t = 1; t < 256; ++t) {
        if (std::fabs(ChargeCurve(t) - fahrenheit) < std::fabs(ChargeCurve(best) - fahrenheit))
            best = t;
    }
    return static_cast<uint8_t>(best);
}

void Idle(EngineState& s, double t)
{
    s.rpm = kIdleRpm + 15.0 * Wave(t, 1.7);
    s.mph = 0.0;
    s.tpsPercent = 0.0;
    s.mapPsiAbs = kBaroPsi - 18.0 * kPsiPerInHg;
    s.sparkDeg = 12.0;
    s.o2Volts = 0.45 + 0.35 * Wave(t, 1.2);
    s.knockVolts = 0.45;
}

void FullThrottle(EngineState& s, double t, double spoolFraction)
{
    const double boost = kBoostPsi * std::clamp(spoolFraction, 0.0, 1.0);
    s.tpsPercent = 99.6;
    s.mapPsiAbs = kBaroPsi + boost + 0.3 * Wave(t, 0.7) * (boost / kBoostPsi);
    s.o2Volts = 0.86;
    s.knockVolts = 1.3 + 0.3 * Wave(t, 0.9);
    const std::array<double, 4> retardAtFullBoost = {2.0, 4.0, 0.0, 3.0};
    for (size_t i = 0; i < 4; ++i)
        s.retardDeg[i] = static_cast<int>(std::lround(retardAtFullBoost[i] * boost / kBoostPsi));
    s.sparkDeg = 20.0 - s.retardDeg[1];
    s.chargeF += 45.0 * boost / kBoostPsi;
}

void ClosedThrottleAtSpeed(EngineState& s)
{
    s.tpsPercent = 0.0;
    s.mapPsiAbs = kBaroPsi - 21.0 * kPsiPerInHg;
    s.sparkDeg = 24.0;
    s.o2Volts = 0.08;  // fuel cut
    s.knockVolts = 0.5;
}

}  // namespace

EngineState ScenarioState(std::chrono::milliseconds elapsed)
{
    const double total = std::max<double>(0.0, static_cast<double>(elapsed.count())) / 1000.0;
    const double t = std::fmod(total, static_cast<double>(kScenarioCycle.count()) / 1000.0);

    EngineState s;
    s.baroPsiAbs = kBaroPsi;
    // Warms up over the first minutes, then the thermostat holds it.
    s.coolantF = std::min(192.0, 110.0 + 0.6 * total) + 1.5 * Wave(total, 30.0);
    s.chargeF = 95.0 + 2.0 * Wave(total, 45.0);
    Idle(s, t);

    if (t >= 15.0 && t < 21.0) {  // first gear, full throttle
        const double f = (t - 15.0) / 6.0;
        s.mph = 34.0 * f;
        s.rpm = std::max(Lerp(kIdleRpm, 2200.0, (t - 15.0) / 0.5), s.mph * kFirstGear);  // clutch slips
        FullThrottle(s, t, 2.0 * f);
    } else if (t >= 21.0 && t < 22.0) {  // shift to second
        s.mph = 34.0;
        s.rpm = Lerp(34.0 * kFirstGear, 34.0 * kSecondGear, t - 21.0);
        ClosedThrottleAtSpeed(s);
    } else if (t >= 22.0 && t < 28.0) {  // second gear, full throttle
        s.mph = Lerp(34.0, 58.0, (t - 22.0) / 6.0);
        s.rpm = s.mph * kSecondGear;
        FullThrottle(s, t, 2.0 * (t - 22.0));
    } else if (t >= 28.0 && t < 30.0) {  // shift to fifth and settle
        s.mph = Lerp(58.0, 60.0, (t - 28.0) / 2.0);
        s.rpm = Lerp(58.0 * kSecondGear, s.mph * kFifthGear, t - 28.0);
        ClosedThrottleAtSpeed(s);
        if (t >= 29.0) {
            s.tpsPercent = Lerp(0.0, 15.0, t - 29.0);
            s.mapPsiAbs = Lerp(kBaroPsi - 21.0 * kPsiPerInHg, kBaroPsi - 8.0 * kPsiPerInHg, t - 29.0);
            s.sparkDeg = Lerp(24.0, 34.0, t - 29.0);
            s.o2Volts = 0.45;
        }
    } else if (t >= 30.0 && t < 75.0) {  // cruise
        s.mph = 60.0 + 1.5 * Wave(t - 30.0, 20.0);
        s.rpm = s.mph * kFifthGear;
        s.tpsPercent = 15.0 + 2.0 * Wave(t - 30.0, 20.0);
        s.mapPsiAbs = kBaroPsi - (8.0 - 1.5 * Wave(t - 30.0, 20.0)) * kPsiPerInHg;
        s.sparkDeg = 34.0;
        s.o2Volts = 0.45 + 0.35 * Wave(t, 1.2);
        s.knockVolts = 0.6;
        s.chargeF += 10.0;
    } else if (t >= 75.0 && t < 95.0) {  // coast down, clutch in below 27 mph
        s.mph = Lerp(60.0 + 1.5 * Wave(45.0, 20.0), 0.0, (t - 75.0) / 20.0);
        if (s.mph * kFifthGear > 1100.0) {
            s.rpm = s.mph * kFifthGear;
            ClosedThrottleAtSpeed(s);
        }
        s.chargeF += 10.0 * (95.0 - t) / 20.0;
    }

    s.throttleClosed = s.tpsPercent < 1.0;
    const double boostSeconds = std::clamp(t - 15.0, 0.0, 6.0) + std::clamp(t - 22.0, 0.0, 6.0);
    s.knockCount = static_cast<int>(2.0 * boostSeconds);
    return s;
}

LmMemory EncodeState(const EngineState& s)
{
    namespace a = lm_addr;
    LmMemory m{};
    // Addresses the scenario does not model hold a fixed, irregular pattern, as the
    // working memory of a real module would.
    for (size_t i = 0; i < m.size(); ++i)
        m[i] = static_cast<uint8_t>((i * 157 + 61) ^ (i >> 3));

    for (size_t i = 0; i < kFaultBytes.size(); ++i)
        m[a::kFaultCodes + i] = kFaultBytes[i];
    for (size_t i = 0; i < kAdaptiveCells.size(); ++i)
        m[a::kAdaptiveCells + i] = kAdaptiveCells[i];

    const uint16_t rpm = ToWord(s.rpm * 4.0);
    m[a::kRpmHigh] = static_cast<uint8_t>(rpm >> 8);
    m[a::kRpmLow] = static_cast<uint8_t>(rpm & 0xFF);
    const uint16_t mph = ToWord(s.mph * 64.0);
    m[a::kMphHigh] = static_cast<uint8_t>(mph >> 8);
    m[a::kMphLow] = static_cast<uint8_t>(mph & 0xFF);

    m[a::kTps] = ToByte(s.tpsPercent / 0.390625);
    m[a::kThrottleFlag] = s.throttleClosed ? 0x01 : 0x00;
    m[a::kBaro] = ToByte(s.baroPsiAbs / kMapPsiPerCount);
    m[a::kMap] = ToByte(s.mapPsiAbs / kMapPsiPerCount);
    m[a::kSpark] = ToByte(s.sparkDeg * 2.0);
    m[a::kCoolant] = ToByte((s.coolantF + 60.0) / 1.24609375);
    m[a::kChargeTemp] = ChargeByte(s.chargeF);
    m[a::kRawChargeTemp] = ChargeByte(s.chargeF + 1.0);
    m[a::kBattTemp] = 0x6E;
    m[a::kO2] = ToByte((s.o2Volts - 0.0446) / 0.0194);
    m[a::kKnock] = ToByte(s.knockVolts * 256.0 / 5.0);
    for (size_t i = 0; i < 4; ++i)
        m[a::kRetardCyl1 + i] = ToByte(s.retardDeg[i] * 2.0);
    m[a::kKnockCount] = ToByte(s.knockCount);
    return m;
}

}  // namespace tessek::sim
