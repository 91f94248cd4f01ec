#include "analysis/ChannelDisplay.h"

#include "logging/ColumnNames.h"

namespace tessek {

bool DrawnByDefault(std::string_view name, std::string_view unit, bool raw, bool linearMapLogged)
{
    if (raw)
        return false;
    // A second MAP slot's columns are "MAP 2", "Boost 2" and "MAP abs 2".
    return !linearMapLogged || (unit != kMapMixedUnit && !name.starts_with(kMapAbsoluteColumn));
}

void ShowInUnits(LogData& log, UnitSystem units)
{
    for (LogChannel& channel : log.Channels) {
        if (channel.Raw)
            continue;
        const std::optional<UnitConversion> conversion = ConversionTo(channel.Unit, units);
        if (!conversion)
            continue;
        for (double& value : channel.Values)
            value = conversion->Apply(value);
        channel.Unit = std::string(conversion->Unit);
    }
}

bool IsLinearMap(std::string_view name)
{
    return name == kBoostColumn ||
           (name.starts_with(kBoostColumn) && name.substr(kBoostColumn.size()).starts_with(' '));
}

}  // namespace tessek
