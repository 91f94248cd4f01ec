#pragma once
// The units the live chart, the log viewer and new data logs show: imperial (mph, F, psi,
// hp, lb-ft, as the window prints them) or metric (km/h, °C, kPa, kW, N·m); g, rpm, %,
// volts and degrees of spark are the same in both. The window's text and the automatic
// text logs always stay imperial. The choice is kept in "Tessek.ini", section [Units], key
// System ("imperial" or "metric"). Plain code, any thread.
#include <optional>
#include <string>
#include <string_view>

namespace tessek {

class IniFile;

enum class UnitSystem { Imperial, Metric };

inline constexpr const char* kUnitsSection = "Units";
inline constexpr const char* kUnitsKey = "System";

// The stored choice; imperial when the key is missing or holds anything but "metric"
// (letter case ignored).
UnitSystem ReadUnitSystem(const IniFile& ini);
// Writes "imperial" or "metric"; throws as IniFile's writes do.
void WriteUnitSystem(IniFile& ini, UnitSystem system);

// value * Scale + Offset, in Unit.
struct UnitConversion {
    std::string_view Unit;
    double Scale = 1;
    double Offset = 0;

    double Apply(double value) const { return value * Scale + Offset; }
};

// How a value in `unit` is shown in `system`: none when `unit` is already of that system,
// the same in both, or not known (a unit is matched exactly: "mph", "F", "°F", "psi", "hp",
// "lb-ft" and their metric counterparts).
std::optional<UnitConversion> ConversionTo(std::string_view unit, UnitSystem system);

// How a value of a logging run (in the window's units, and kPa for the absolute MAP) is
// shown in `system`: converted to metric, never back, so that an imperial user's absolute
// MAP stays in kPa as it is logged.
std::optional<UnitConversion> RunConversionTo(std::string_view unit, UnitSystem system);

}  // namespace tessek
