#include "logging/Units.h"

#include "platform/IniFile.h"
#include "platform/Text.h"

namespace tessek {

namespace {

struct UnitPair {
    std::string_view Imperial;
    std::string_view Metric;
    double Scale;  // metric = imperial * Scale + Offset
    double Offset;
};

constexpr UnitPair kPairs[] = {
    {"mph", "km/h", 1.609344, 0},
    {"F", "°C", 5.0 / 9.0, -32.0 * 5.0 / 9.0},
    {"°F", "°C", 5.0 / 9.0, -32.0 * 5.0 / 9.0},
    {"psi", "kPa", 6.894757, 0},
    {"hp", "kW", 0.745699872, 0},
    {"lb-ft", "N·m", 1.3558179483, 0},
};

constexpr const char* kMetricName = "metric";
constexpr const char* kImperialName = "imperial";

}  // namespace

UnitSystem ReadUnitSystem(const IniFile& ini)
{
    return SameText(ini.ReadString(kUnitsSection, kUnitsKey, kImperialName), kMetricName) ? UnitSystem::Metric
                                                                                          : UnitSystem::Imperial;
}

void WriteUnitSystem(IniFile& ini, UnitSystem system)
{
    ini.WriteString(kUnitsSection, kUnitsKey, system == UnitSystem::Metric ? kMetricName : kImperialName);
}

std::optional<UnitConversion> ConversionTo(std::string_view unit, UnitSystem system)
{
    for (const UnitPair& pair : kPairs) {
        if (system == UnitSystem::Metric && unit == pair.Imperial)
            return UnitConversion{pair.Metric, pair.Scale, pair.Offset};
        if (system == UnitSystem::Imperial && unit == pair.Metric && pair.Imperial != "°F")
            return UnitConversion{pair.Imperial, 1.0 / pair.Scale, -pair.Offset / pair.Scale};
    }
    return std::nullopt;
}

std::optional<UnitConversion> RunConversionTo(std::string_view unit, UnitSystem system)
{
    return system == UnitSystem::Metric ? ConversionTo(unit, system) : std::nullopt;
}

}  // namespace tessek
