#pragma once
// The simulated LM's default memory: an engine that idles, then drives, as a pure
// function of the time since the LM started, so that every value can be checked without
// a running LM. Any thread.
#include <array>
#include <chrono>
#include <cstdint>

namespace tessek::sim {

using LmMemory = std::array<uint8_t, 256>;

// The engine in engineering units at one moment of the scenario.
struct EngineState {
    double rpm = 0;         // engine speed
    double mph = 0;         // vehicle speed
    double tpsPercent = 0;  // throttle opening, 0 to 100
    bool throttleClosed = true;
    double mapPsiAbs = 0;   // manifold absolute pressure
    double baroPsiAbs = 0;  // barometric pressure
    double sparkDeg = 0;    // spark advance
    double coolantF = 0;
    double chargeF = 0;  // charge air temperature
    double o2Volts = 0;
    double knockVolts = 0;
    std::array<int, 4> retardDeg{};  // knock retard of cylinders 1 to 4
    int knockCount = 0;              // detonation counter at DD
};

// One pass of the drive cycle, which repeats: idle, two full-throttle gears with boost,
// cruise, coast down, idle.
inline constexpr std::chrono::milliseconds kScenarioCycle{120000};

// The full-throttle pulls are driven by a torque curve: the car weighs kCarWeightLb and
// gains speed as an engine of EngineTorque would drive it through the gear, so that a
// logger given this weight measures that torque (and EngineTorque * rpm / 5250 hp) at
// every engine speed of the pulls. Road load and losses are left out.
inline constexpr double kCarWeightLb = 2500.0;
// Torque in lb-ft at full throttle: the turbo builds boost from 1800 to 3200 rpm, the
// curve falls off above 3500 rpm.
double EngineTorque(double rpm);

EngineState ScenarioState(std::chrono::milliseconds elapsed);

// The 256 bytes of LM memory for a state. The pressures are counts of a 3 bar sensor
// (the logger's default MAP factor of 0.172266 psi per count).
LmMemory EncodeState(const EngineState& state);

inline LmMemory ScenarioMemory(std::chrono::milliseconds elapsed)
{
    return EncodeState(ScenarioState(elapsed));
}

// Addresses the scenario fills (the rest hold a fixed filler pattern).
namespace lm_addr {
inline constexpr uint8_t kFaultCodes = 0x46;     // four bytes, 46 to 49
inline constexpr uint8_t kAdaptiveCells = 0x50;  // thirteen bytes, 50 to 5C (5C idle cell)
inline constexpr uint8_t kChargeTemp = 0x5D;
inline constexpr uint8_t kMphHigh = 0x69;
inline constexpr uint8_t kMphLow = 0x6A;
inline constexpr uint8_t kSpark = 0x72;
inline constexpr uint8_t kBaro = 0x73;
inline constexpr uint8_t kThrottleFlag = 0x81;
inline constexpr uint8_t kMap = 0x86;
inline constexpr uint8_t kRpmHigh = 0x8F;
inline constexpr uint8_t kRpmLow = 0x90;
inline constexpr uint8_t kTps = 0x98;
inline constexpr uint8_t kCoolant = 0x9A;
inline constexpr uint8_t kBattTemp = 0x9B;
inline constexpr uint8_t kO2 = 0x9C;
inline constexpr uint8_t kRawChargeTemp = 0x9D;
inline constexpr uint8_t kKnock = 0xA0;
inline constexpr uint8_t kRetardCyl1 = 0xCE;  // CE to D1
inline constexpr uint8_t kKnockCount = 0xDD;
}  // namespace lm_addr

}  // namespace tessek::sim
