#pragma once
// What a wideband O2 sensor in the simulated engine's exhaust reads, and the bytes its
// controller sends for it. The mixture follows the engine's fuelling: closed loop around
// stoichiometric at idle and cruise, rich at full throttle and richer with boost, lean in
// a fuel cut. It reaches the sensor one exhaust transport delay later, with a little
// noise. A fuel error planted in an rpm x boost cell makes the engine run that much lean
// (or rich) there, so that fuel advice can be checked against a known truth. Pure
// functions and constant objects; any thread.
#include "sim/Scenario.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessek::sim {

inline constexpr double kStoichAfr = 14.7;
inline constexpr double kFuelCutAfr = 22.0;  // overrun with the injectors off: exhaust is mostly air

// The mixture the engine burns in a state, before any planted error.
double BurnedAfr(const EngineState& s);

// How long the exhaust takes from the cylinders to the sensor: inversely with the flow
// (rpm x absolute MAP), about 0.8 s at idle down to 0.1 s at full load, never outside that.
std::chrono::milliseconds ExhaustDelay(const EngineState& s);

// In the cell of engine speeds [RpmFrom, RpmTo) and boost [BoostFrom, BoostTo) (psi above
// the barometric pressure, vacuum negative) the engine runs Percent % lean (negative:
// rich): the AFR it burns there is that much higher.
struct FuelError {
    double RpmFrom = 0, RpmTo = 0, BoostFrom = 0, BoostTo = 0, Percent = 0;
    bool Contains(const EngineState& s) const;
};
// "RPM-RPM:PSI-PSI:PERCENT", e.g. "2500-3000:5-7.5:8" or "800-1200:-10--5:-6"; nothing
// when malformed or when a range is empty.
std::optional<FuelError> ParseFuelError(std::string_view text);

// The engine's state at each moment since the scenario began.
using EngineTimeline = std::function<EngineState(std::chrono::milliseconds)>;

class WidebandSignal {
public:
    // `noiseAfr`: the noise's largest deviation in AFR (uniform, repeatable for a moment).
    explicit WidebandSignal(EngineTimeline engine = ScenarioState, double noiseAfr = 0.05);

    void Plant(const FuelError& error);
    const std::vector<FuelError>& Planted() const { return planted_; }

    // The mixture burned at `elapsed`, planted errors included.
    double BurnedAt(std::chrono::milliseconds elapsed) const;
    // What the sensor reads at `elapsed`: what was burned one exhaust delay (of the flow at
    // `elapsed`) earlier, plus noise.
    double SensorAfr(std::chrono::milliseconds elapsed) const;

private:
    EngineTimeline engine_;
    double noiseAfr_;
    std::vector<FuelError> planted_;
};

// One MTS data packet, as an LC-1 sends it: the header and one lambda channel with the
// factor 14.7. For a valid reading of `afr`; or with function `function` (0 to 7) and
// the 13-bit value `value`.
std::string MtsPacket(double afr);
std::string MtsPacket(int function, int value);

// One line of the AEM UEGO text stream: the AFR with one decimal ("14.7\r\n"), or in
// lambda mode the lambda with three ("0.998\r\n").
std::string AemLine(double afr, bool lambdaMode = false);

}  // namespace tessek::sim
