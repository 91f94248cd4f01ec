#pragma once
// The names of the data log columns that readers look for: the writer names its columns
// with them and the power curve, the live chart and the log reader find them by them; and
// the header text of a column, "Name (unit)".
#include <string>
#include <string_view>

namespace tessek {

inline constexpr std::string_view kTimeColumn = "Time";
inline constexpr std::string_view kEngineSpeedColumn = "Engine Speed";
inline constexpr std::string_view kRoadSpeedColumn = "Road Speed";
inline constexpr std::string_view kThrottleColumn = "Throttle";
inline constexpr std::string_view kAccelerationColumn = "Acceleration";
inline constexpr std::string_view kPowerColumn = "Power";
inline constexpr std::string_view kTorqueColumn = "Torque";
// The manifold pressure three ways: the window's mixed scale (psi of boost, minus inches of
// mercury of vacuum), kept for files already in use; boost on one linear scale (negative is
// vacuum); and absolute pressure.
inline constexpr std::string_view kMapColumn = "MAP";
inline constexpr std::string_view kMapMixedUnit = "psi/-inHg";
inline constexpr std::string_view kBoostColumn = "Boost";
inline constexpr std::string_view kMapAbsoluteColumn = "MAP abs";
// "<name> raw": the LM's reply behind the column <name>.
inline constexpr std::string_view kRawSuffix = " raw";

struct ColumnHeader {
    std::string Name;  // "Engine Speed"
    std::string Unit;  // "rpm"; empty when none is given
};

// "Engine Speed (rpm)" as the data logs' headers write a column ("Engine Speed" without a unit).
std::string ColumnHeaderText(const ColumnHeader& header);
// The name and unit of a header text, blanks around each removed: a unit is the text in the
// last parentheses or square brackets that end the text and do not start it ("Boost [kPa]",
// but "(rpm)" is a name).
ColumnHeader SplitColumnHeader(std::string_view text);

}  // namespace tessek
