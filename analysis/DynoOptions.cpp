#include "analysis/DynoOptions.h"

#include "platform/IniFile.h"

#include <cmath>

namespace tessek {
namespace {

constexpr double kStandardKpa = 99;
constexpr double kStandardKelvin = 298;
constexpr double kZeroCelsius = 273;
constexpr double kAirDensity = 1.2;           // kg/m³
constexpr double kMetresPerSecond = 0.44704;  // per mph
constexpr double kNewtonsPerPound = 4.4482216;
constexpr double kWattsPerHp = 745.699872;
constexpr const char* kChargeAir = "charge";

double ReadNonNegative(const IniFile& ini, const char* key, double def)
{
    const double value = ini.ReadFloat(kDynoSection, key, def);
    return value >= 0 ? value : def;
}

}  // namespace

DynoOptions ReadDynoOptions(const IniFile& ini)
{
    DynoOptions o;
    o.RoadLoad = ini.ReadBool(kDynoSection, "RoadLoad", false);
    o.RollingResistance = ReadNonNegative(ini, "RollingResistance", o.RollingResistance);
    o.FrontalArea = ReadNonNegative(ini, "FrontalArea", o.FrontalArea);
    o.DragCoefficient = ReadNonNegative(ini, "DragCoefficient", o.DragCoefficient);
    o.Correction = ini.ReadBool(kDynoSection, "Correction", false);
    const double air = ini.ReadFloat(kDynoSection, "AirTemperature", NAN);
    if (!std::isnan(air))
        o.AirTemperature = air;
    return o;
}

void WriteDynoOptions(IniFile& ini, const DynoOptions& o)
{
    ini.WriteBool(kDynoSection, "RoadLoad", o.RoadLoad);
    ini.WriteFloat(kDynoSection, "RollingResistance", o.RollingResistance);
    ini.WriteFloat(kDynoSection, "FrontalArea", o.FrontalArea);
    ini.WriteFloat(kDynoSection, "DragCoefficient", o.DragCoefficient);
    ini.WriteBool(kDynoSection, "Correction", o.Correction);
    if (o.AirTemperature)
        ini.WriteFloat(kDynoSection, "AirTemperature", *o.AirTemperature);
    else
        ini.WriteString(kDynoSection, "AirTemperature", kChargeAir);
}

double J1349Factor(double dryKpa, double airC)
{
    return 1.18 * (kStandardKpa / dryKpa) * std::sqrt((airC + kZeroCelsius) / kStandardKelvin) - 0.18;
}

double RoadLoadHp(const DynoOptions& o, double weightLb, double mph)
{
    const double v = mph * kMetresPerSecond;
    const double rolling = o.RollingResistance * weightLb * kNewtonsPerPound;
    const double drag = 0.5 * kAirDensity * o.DragCoefficient * o.FrontalArea * v * v;
    return (rolling + drag) * v / kWattsPerHp;
}

}  // namespace tessek
