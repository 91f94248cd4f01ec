#pragma once
// The names of the data log columns that readers look for: the writer names its columns
// with them and the power curve, the cell table, the alarms, the live chart and the log
// readers find them by them; and the header text of a column, "Name (unit)". An LM
// parameter's column is named by its row in the parameter table (lm/ParameterTable.h); the
// constants here take the row's name.
#include "lm/ParameterTable.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>

namespace tessek {

inline constexpr std::string_view kTimeColumn = "Time";
inline constexpr std::string_view kEngineSpeedColumn = ParameterFor(kRpmHiAddress).Column;
inline constexpr std::string_view kEngineSpeedUnit = ParameterFor(kRpmHiAddress).Unit;
inline constexpr std::string_view kRoadSpeedColumn = ParameterFor(kMphHiAddress).Column;
inline constexpr std::string_view kThrottleColumn = ParameterFor(kTpsAddress).Column;
inline constexpr std::string_view kCoolantColumn = ParameterFor(kCoolantAddress).Column;
inline constexpr std::string_view kO2Column = ParameterFor(kO2Address).Column;
inline constexpr std::array<std::string_view, 4> kRetardColumns = {
    ParameterFor(kRetardAddress).Column, ParameterFor(kRetardAddress + 1).Column,
    ParameterFor(kRetardAddress + 2).Column, ParameterFor(kRetardAddress + 3).Column};
// The manifold pressure three ways: the window's mixed scale (psi of boost, minus inches of
// mercury of vacuum), kept for files already in use; boost on one linear scale (negative is
// vacuum); and absolute pressure.
inline constexpr std::string_view kMapColumn = ParameterFor(kMapAddress).Column;
inline constexpr std::string_view kMapMixedUnit = ParameterFor(kMapAddress).Unit;
inline constexpr std::string_view kBoostColumn = ParameterFor(kMapAddress).Derived[0].Column;
inline constexpr std::string_view kMapAbsoluteColumn = ParameterFor(kMapAddress).Derived[1].Column;
// The performance figures.
inline constexpr std::string_view kAccelerationColumn = "Acceleration";
inline constexpr std::string_view kAccelerationUnit = "g";
inline constexpr std::string_view kPowerColumn = "Power";
inline constexpr std::string_view kPowerUnit = "hp";
inline constexpr std::string_view kTorqueColumn = "Torque";
inline constexpr std::string_view kTorqueUnit = "lb-ft";
// The wideband controller's columns (session/WidebandColumns.h): the air-fuel ratio, lambda,
// the controller's status as a number, and its aux channels "WB Aux 1", "WB Aux 2", ...
inline constexpr std::string_view kAfrColumn = "AFR";
inline constexpr std::string_view kLambdaColumn = "Lambda";
inline constexpr std::string_view kWidebandStatusColumn = "WB Status";
inline constexpr std::string_view kWidebandAuxPrefix = "WB Aux ";
// What a WB Status number says (session/WidebandColumns.h lists them); "" for 0, valid.
constexpr std::string_view WidebandStatusText(double code)
{
    constexpr std::string_view texts[] = {
        "",         "reads free air",   "calibrating",     "needs calibration",     "warming up",
        "status 5", "reports an error", "sends no lambda", "no reading for 250 ms", "port not open"};
    return code >= 0 && code < static_cast<double>(std::size(texts)) ? texts[static_cast<size_t>(code)]
                                                                     : "unknown status";
}
// Engine speed as other programs' logs name it.
inline constexpr std::string_view kOtherRpmColumn = "RPM";
// "<name> raw": the LM's reply behind the column <name>.
inline constexpr std::string_view kRawSuffix = " raw";
// A skipped slot's title in a TempLog's titles line (the catalogue's text); no column has it.
inline constexpr std::string_view kSkipTitle = ParameterFor(kSkipAddress).Text;

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
