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

// The 256 bytes of LM memory for a state, at the addresses and on the scales of the
// parameter table (lm/ParameterTable.h). The pressures are counts of a 3 bar sensor (the
// logger's default MAP factor, kDefaultMapFunction).
LmMemory EncodeState(const EngineState& state);

inline LmMemory ScenarioMemory(std::chrono::milliseconds elapsed)
{
    return EncodeState(ScenarioState(elapsed));
}

// Addresses the scenario fills besides the parameter table's (the rest hold a fixed filler
// pattern).
namespace lm_addr {
inline constexpr uint8_t kFaultCodes = 0x46;     // four bytes, 46 to 49
inline constexpr uint8_t kAdaptiveCells = 0x50;  // thirteen bytes, 50 to 5C (5C idle cell)
}  // namespace lm_addr

}  // namespace tessek::sim
