#pragma once
// The optional parts of the power curve, both off unless the user asks for them, kept in
// "Tessek.ini", section [Dyno]:
// - road load: the power the road took from the car at each sample's speed (rolling
//   resistance and air drag) added back, so the curve reads as power at the wheels plus
//   road load;
// - the SAE J1349 correction to standard air (99 kPa of dry air at 25 °C), from the run's
//   barometric pressure and the charge air temperature or a typed air temperature.
// Keys: RoadLoad (0/1), RollingResistance, FrontalArea (m²), DragCoefficient, Correction
// (0/1), AirTemperature ("charge", or a typed temperature in °C). Plain code, any thread.
#include <optional>

namespace tessek {

class IniFile;

inline constexpr const char* kDynoSection = "Dyno";

struct DynoOptions {
    bool RoadLoad = false;
    double RollingResistance = 0.015;
    // A mid-size coupe of the 1980s.
    double FrontalArea = 1.9;  // m²
    double DragCoefficient = 0.34;
    bool Correction = false;
    std::optional<double> AirTemperature;  // °C, typed; none: the logged charge air temperature
};

// The stored options; defaults for missing keys and for values that are not numbers of 0
// or more.
DynoOptions ReadDynoOptions(const IniFile& ini);
// Writes every key; throws as IniFile's writes do.
void WriteDynoOptions(IniFile& ini, const DynoOptions& options);

// SAE J1349's correction factor for a dry air pressure `dryKpa` and an air temperature
// `airC`: 1.18 × (99 / Pd) × √((T + 273) / 298) − 0.18. Exactly 1 at 99 kPa and 25 °C.
double J1349Factor(double dryKpa, double airC);

// The power (hp) the road takes from a car of `weightLb` at `mph`: rolling resistance
// (coefficient × weight) and air drag (½ × 1.2 kg/m³ × drag coefficient × frontal area ×
// speed²), each times the speed.
double RoadLoadHp(const DynoOptions& options, double weightLb, double mph);

}  // namespace tessek
