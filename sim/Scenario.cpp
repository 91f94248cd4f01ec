#include "sim/Scenario.h"

#include "lm/ParameterTable.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace tessek::sim {
namespace {

constexpr double kIdleRpm = 850.0;
constexpr double kBaroPsi = 14.7;
constexpr double kPsiPerInHg = 1.0 / kInHgPerPsi;
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

// The counts of a scaled parameter's reply for `value` in the row's unit, unrounded.
double Counts(uint8_t address, double value)
{
    const ParameterRow& row = ParameterFor(address);
    return (value - row.Offset) / row.Scale;
}

// The raw byte whose charge temperature comes closest to `fahrenheit`.
uint8_t ChargeByte(double fahrenheit)
{
    int best = 0;
    for (int t = 1; t < 256; ++t) {
        const auto byte = static_cast<uint8_t>(t), bestByte = static_cast<uint8_t>(best);
        if (std::fabs(ChargeTempF(byte) - fahrenheit) < std::fabs(ChargeTempF(bestByte) - fahrenheit))
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

// How far the turbo has spooled up at an engine speed, 0 to 1.
double Spool(double rpm)
{
    const double x = std::clamp((rpm - 1800.0) / 1400.0, 0.0, 1.0);
    return x * x * (3.0 - 2.0 * x);
}

void FullThrottle(EngineState& s, double t)
{
    const double spool = Spool(s.rpm);
    const double boost = kBoostPsi * spool;
    s.tpsPercent = 99.6;
    s.mapPsiAbs = kBaroPsi - 2.0 * (1.0 - spool) + boost + 0.3 * Wave(t, 0.7) * spool;
    s.o2Volts = 0.86;
    s.knockVolts = 1.3 + 0.3 * Wave(t, 0.9);
    const std::array<double, 4> retardAtFullBoost = {2.0, 4.0, 0.0, 3.0};
    for (size_t i = 0; i < 4; ++i)
        s.retardDeg[i] = static_cast<int>(std::lround(retardAtFullBoost[i] * spool));
    s.sparkDeg = 20.0 - s.retardDeg[1];
    s.chargeF += 45.0 * spool;
}

// Road speed gained per second (mph/s) with the engine making its full-throttle torque at
// `rpm` through a gear of `rpmPerMph`: the acceleration in g is torque * 550 * rpmPerMph /
// (weight * 1.46667 * 5250), the inverse of the logger's torque figure.
double MphPerSecond(double rpm, double rpmPerMph)
{
    constexpr double kFeetPerSecondPerMph = 1.46667;
    constexpr double kGravity = 32.0;
    const double g = EngineTorque(rpm) * 550.0 * rpmPerMph / (kCarWeightLb * kFeetPerSecondPerMph * 5250.0);
    return g * kGravity / kFeetPerSecondPerMph;
}

constexpr double kPullStart = 15.0;     // s into the cycle
constexpr double kLaunchSeconds = 0.5;  // the clutch lets the engine rise from idle
constexpr double kLaunchRpm = 2200.0;   // and holds it there until the gear catches up
constexpr double kFirstGearEndMph = 34.0;
constexpr double kSecondGearEndMph = 58.0;
constexpr double kShiftSeconds = 1.0;
constexpr double kStepSeconds = 0.001;

// The two pulls, integrated once in steps of 1 ms: road speed at each step from the start
// of each pull until its end speed.
struct Pulls {
    std::vector<double> First, Second;                    // mph per step
    double FirstEnd = 0, SecondStart = 0, SecondEnd = 0;  // s into the cycle
};

double FirstGearRpm(double sinceStart, double mph)
{
    return std::max(Lerp(kIdleRpm, kLaunchRpm, sinceStart / kLaunchSeconds), mph * kFirstGear);
}

const Pulls& DrivePulls()
{
    static const Pulls pulls = [] {
        Pulls p;
        double mph = 0.0;
        for (int i = 0; mph < kFirstGearEndMph; ++i) {
            p.First.push_back(mph);
            mph += MphPerSecond(FirstGearRpm(i * kStepSeconds, mph), kFirstGear) * kStepSeconds;
        }
        p.FirstEnd = kPullStart + static_cast<double>(p.First.size()) * kStepSeconds;
        p.SecondStart = p.FirstEnd + kShiftSeconds;
        mph = kFirstGearEndMph;
        while (mph < kSecondGearEndMph) {
            p.Second.push_back(mph);
            mph += MphPerSecond(mph * kSecondGear, kSecondGear) * kStepSeconds;
        }
        p.SecondEnd = p.SecondStart + static_cast<double>(p.Second.size()) * kStepSeconds;
        return p;
    }();
    return pulls;
}

// Road speed `seconds` into a pull, between its steps.
double PullMph(const std::vector<double>& steps, double seconds)
{
    const double at = std::max(seconds, 0.0) / kStepSeconds;
    const size_t i = std::min(static_cast<size_t>(at), steps.size() - 1);
    const double next = i + 1 < steps.size() ? steps[i + 1] : steps[i];
    return Lerp(steps[i], next, at - static_cast<double>(i));
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

double EngineTorque(double rpm)
{
    const double fallOff = std::max(0.0, (rpm - 3500.0) / 2000.0);
    return 75.0 + 65.0 * Spool(rpm) - 30.0 * fallOff * fallOff;
}

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

    const Pulls& pulls = DrivePulls();
    const double cruiseStart = pulls.SecondEnd + 2.0;
    if (t >= kPullStart && t < pulls.FirstEnd) {  // first gear, full throttle, from standstill
        s.mph = PullMph(pulls.First, t - kPullStart);
        s.rpm = FirstGearRpm(t - kPullStart, s.mph);
        FullThrottle(s, t);
    } else if (t >= pulls.FirstEnd && t < pulls.SecondStart) {  // shift to second
        s.mph = kFirstGearEndMph;
        s.rpm = Lerp(kFirstGearEndMph * kFirstGear, kFirstGearEndMph * kSecondGear, t - pulls.FirstEnd);
        ClosedThrottleAtSpeed(s);
    } else if (t >= pulls.SecondStart && t < pulls.SecondEnd) {  // second gear, full throttle
        s.mph = PullMph(pulls.Second, t - pulls.SecondStart);
        s.rpm = s.mph * kSecondGear;
        FullThrottle(s, t);
    } else if (t >= pulls.SecondEnd && t < cruiseStart) {  // shift to fifth and settle
        const double since = t - pulls.SecondEnd;
        s.mph = Lerp(kSecondGearEndMph, 60.0, since / 2.0);
        s.rpm = Lerp(kSecondGearEndMph * kSecondGear, s.mph * kFifthGear, since);
        ClosedThrottleAtSpeed(s);
        if (since >= 1.0) {
            s.tpsPercent = Lerp(0.0, 15.0, since - 1.0);
            s.mapPsiAbs = Lerp(kBaroPsi - 21.0 * kPsiPerInHg, kBaroPsi - 8.0 * kPsiPerInHg, since - 1.0);
            s.sparkDeg = Lerp(24.0, 34.0, since - 1.0);
            s.o2Volts = 0.45;
        }
    } else if (t >= cruiseStart && t < 75.0) {  // cruise
        s.mph = 60.0 + 1.5 * Wave(t - cruiseStart, 20.0);
        s.rpm = s.mph * kFifthGear;
        s.tpsPercent = 15.0 + 2.0 * Wave(t - cruiseStart, 20.0);
        s.mapPsiAbs = kBaroPsi - (8.0 - 1.5 * Wave(t - cruiseStart, 20.0)) * kPsiPerInHg;
        s.sparkDeg = 34.0;
        s.o2Volts = 0.45 + 0.35 * Wave(t, 1.2);
        s.knockVolts = 0.6;
        s.chargeF += 10.0;
    } else if (t >= 75.0 && t < 95.0) {  // coast down, clutch in below 27 mph
        s.mph = Lerp(60.0 + 1.5 * Wave(75.0 - cruiseStart, 20.0), 0.0, (t - 75.0) / 20.0);
        if (s.mph * kFifthGear > 1100.0) {
            s.rpm = s.mph * kFifthGear;
            ClosedThrottleAtSpeed(s);
        }
        s.chargeF += 10.0 * (95.0 - t) / 20.0;
    }

    s.throttleClosed = s.tpsPercent < 1.0;
    const double boostSeconds = std::clamp(t - kPullStart, 0.0, pulls.FirstEnd - kPullStart) +
                                std::clamp(t - pulls.SecondStart, 0.0, pulls.SecondEnd - pulls.SecondStart);
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

    const uint16_t rpm = ToWord(Counts(kRpmHiAddress, s.rpm));
    m[kRpmHiAddress] = static_cast<uint8_t>(rpm >> 8);
    m[kRpmLoAddress] = static_cast<uint8_t>(rpm & 0xFF);
    const uint16_t mph = ToWord(Counts(kMphHiAddress, s.mph));
    m[kMphHiAddress] = static_cast<uint8_t>(mph >> 8);
    m[kMphLoAddress] = static_cast<uint8_t>(mph & 0xFF);

    m[kTpsAddress] = ToByte(Counts(kTpsAddress, s.tpsPercent));
    m[kThrottleFlagAddress] = s.throttleClosed ? 0x01 : 0x00;
    m[kBaroAddress] = ToByte(s.baroPsiAbs / kDefaultMapFunction);
    m[kMapAddress] = ToByte(s.mapPsiAbs / kDefaultMapFunction);
    m[kSparkAddress] = ToByte(Counts(kSparkAddress, s.sparkDeg));
    m[kCoolantAddress] = ToByte(Counts(kCoolantAddress, s.coolantF));
    m[kChargeTempAddress] = ChargeByte(s.chargeF);
    m[kRawChargeTempAddress] = ChargeByte(s.chargeF + 1.0);
    m[kBattTempAddress] = 0x6E;
    m[kO2Address] = ToByte(Counts(kO2Address, s.o2Volts));
    m[kKnockAddress] = ToByte(Counts(kKnockAddress, s.knockVolts));
    for (size_t i = 0; i < 4; ++i)
        m[kRetardAddress + i] = ToByte(Counts(static_cast<uint8_t>(kRetardAddress + i), s.retardDeg[i]));
    m[kKnockCountAddress] = ToByte(s.knockCount);
    return m;
}

}  // namespace tessek::sim
