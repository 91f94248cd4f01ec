#include "analysis/Alarms.h"

#include "logging/ColumnNames.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "platform/TextNumbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <sstream>

namespace tessek {
namespace {

bool IsDefaultChannel(const std::string& channel)
{
    const auto defaults = DefaultAlarmLimits();
    return std::any_of(defaults.begin(), defaults.end(),
                       [&](const AlarmLimit& l) { return SameText(l.Channel, channel); });
}

std::optional<AlarmLimit> DefaultFor(const std::string& channel)
{
    for (const AlarmLimit& limit : DefaultAlarmLimits()) {
        if (SameText(limit.Channel, channel))
            return limit;
    }
    return std::nullopt;
}

std::string Number(double value, int decimals)
{
    if (decimals < 0)
        return FormatFloat(value);
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 9), value);
    return text;
}

}  // namespace

std::vector<AlarmLimit> DefaultAlarmLimits()
{
    std::vector<AlarmLimit> limits;
    limits.reserve(kRetardColumns.size() + 2);
    for (const std::string_view retard : kRetardColumns)
        limits.push_back({std::string(retard), 0.0, std::nullopt, true});
    limits.push_back({std::string(kCoolantColumn), 230.0, std::nullopt, true});
    limits.push_back({std::string(kMapColumn), kOverboostPsi, std::nullopt, true});
    return limits;
}

std::string AlarmLimitText(const AlarmLimit& limit)
{
    std::string text;
    if (limit.Above)
        text += "above " + FormatFloat(*limit.Above);
    if (limit.Below)
        text += (text.empty() ? "below " : " below ") + FormatFloat(*limit.Below);
    if (!text.empty() && !limit.Enabled)
        text = "off " + text;
    return text;
}

std::optional<AlarmLimit> ParseAlarmLimit(const std::string& channel, const std::string& text)
{
    AlarmLimit limit{channel, std::nullopt, std::nullopt, true};
    std::istringstream words(text);
    std::string word;
    bool first = true;
    while (words >> word) {
        if (first && SameText(word, "off")) {
            limit.Enabled = false;
            first = false;
            continue;
        }
        first = false;
        const bool above = SameText(word, "above");
        if (!above && !SameText(word, "below"))
            return std::nullopt;
        std::optional<double>& bound = above ? limit.Above : limit.Below;
        std::string number;
        if (bound || !(words >> number))
            return std::nullopt;
        bound = ParseFloat(number);
        if (!bound)
            return std::nullopt;
    }
    if (!limit.Enabled && !limit.Above && !limit.Below)
        return std::nullopt;  // "off" alone
    return limit;
}

AlarmSettings LoadAlarmSettings(const IniFile& ini, const std::vector<std::string>& channels)
{
    AlarmSettings settings;
    std::vector<std::string> names;
    for (const AlarmLimit& limit : DefaultAlarmLimits())
        names.push_back(limit.Channel);
    for (const std::string& channel : channels) {
        if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, channel); }))
            names.push_back(channel);
    }
    const std::string where = ini.FileName() + " [" + kAlarmSection + "] ";
    try {
        if (ini.ValueExists(kAlarmSection, kAlarmBeepKey)) {
            const std::string beep = ini.ReadString(kAlarmSection, kAlarmBeepKey, "");
            if (const std::optional<int32_t> on = ParseInteger(beep))
                settings.Beep = *on != 0;
            else
                settings.Problems.push_back(where + kAlarmBeepKey + "=" + beep + ": expected 1 or 0; the alarm beeps");
        }
        for (const std::string& name : names) {
            const std::optional<AlarmLimit> fallback = DefaultFor(name);
            if (!ini.ValueExists(kAlarmSection, name)) {
                if (fallback)
                    settings.Limits.push_back(*fallback);
                continue;
            }
            const std::string text = ini.ReadString(kAlarmSection, name, "");
            if (const std::optional<AlarmLimit> limit = ParseAlarmLimit(name, text)) {
                settings.Limits.push_back(*limit);
                continue;
            }
            std::string problem = where;
            problem.append(name).append("=").append(text).append(
                ": not a limit (expected e.g. \"above 230\", \"below 0.2\" or \"off above 230\"); ");
            if (fallback) {
                problem += "using the default, " + AlarmLimitText(*fallback);
                settings.Limits.push_back(*fallback);
            } else {
                problem += "no limit";
            }
            settings.Problems.push_back(problem);
        }
    } catch (const std::exception& e) {
        settings = AlarmSettings{DefaultAlarmLimits(), true, {std::string(e.what()) + "; using the default alarms"}};
    }
    return settings;
}

void SaveAlarmSettings(IniFile& ini, const AlarmSettings& settings)
{
    ini.WriteBool(kAlarmSection, kAlarmBeepKey, settings.Beep);
    for (const AlarmLimit& limit : settings.Limits) {
        const std::string text = AlarmLimitText(limit);
        if (!text.empty() || IsDefaultChannel(limit.Channel) || ini.ValueExists(kAlarmSection, limit.Channel))
            ini.WriteString(kAlarmSection, limit.Channel, text);
    }
}

std::string AlarmQuantity(double value, int decimals, const std::string& unit)
{
    if (unit == kMapMixedUnit)
        return Number(value, decimals) + (value < 0 ? " inHg" : " psi");
    return unit.empty() ? Number(value, decimals) : Number(value, decimals) + " " + unit;
}

double ShownLimit(double limit, std::string_view unit, UnitSystem units)
{
    const std::optional<UnitConversion> conversion = RunConversionTo(unit, units);
    return conversion ? std::round(conversion->Apply(limit) * 1e4) / 1e4 : limit;
}

double KeptLimit(double shown, std::string_view unit, UnitSystem units)
{
    const std::optional<UnitConversion> conversion = RunConversionTo(unit, units);
    return conversion ? std::round((shown - conversion->Offset) / conversion->Scale * 1e6) / 1e6 : shown;
}

std::string AlarmMonitor::Quantity(const Watch& watch, double value) const
{
    const std::optional<UnitConversion> conversion = RunConversionTo(watch.Info.Unit, units_);
    return conversion ? AlarmQuantity(conversion->Apply(value), watch.Info.Decimals, std::string(conversion->Unit))
                      : AlarmQuantity(value, watch.Info.Decimals, watch.Info.Unit);
}

std::string AlarmMonitor::Limit(const Watch& watch) const
{
    const std::optional<UnitConversion> conversion = RunConversionTo(watch.Info.Unit, units_);
    return AlarmQuantity(ShownLimit(watch.Bound, watch.Info.Unit, units_), -1,
                         conversion ? std::string(conversion->Unit) : watch.Info.Unit);
}

void AlarmMonitor::SetUnits(UnitSystem units)
{
    units_ = units;
}

void AlarmMonitor::Start(const std::vector<RunColumn>& columns, const std::vector<AlarmLimit>& limits, UnitSystem units)
{
    units_ = units;
    watches_.clear();
    for (size_t i = 0; i < columns.size(); ++i) {
        for (const AlarmLimit& limit : limits) {
            if (!limit.Enabled || !SameText(limit.Channel, columns[i].Name))
                continue;
            if (limit.Above)
                watches_.push_back({i, columns[i], *limit.Above, true, false, 0});
            if (limit.Below)
                watches_.push_back({i, columns[i], *limit.Below, false, false, 0});
        }
    }
}

std::vector<AlarmEvent> AlarmMonitor::Check(const RunSample& sample)
{
    std::vector<AlarmEvent> events;
    for (Watch& watch : watches_) {
        if (watch.Column >= sample.Values.size() || !sample.Values[watch.Column] ||
            !std::isfinite(*sample.Values[watch.Column]))
            continue;
        const double value = *sample.Values[watch.Column];
        watch.Latest = value;
        const double band = kAlarmHysteresis * std::fabs(watch.Bound);
        if (!watch.Raised) {
            if (watch.Upper ? value > watch.Bound : value < watch.Bound) {
                watch.Raised = true;
                events.push_back({watch.Column, watch.Info.Name + " " + Quantity(watch, value) +
                                                    (watch.Upper ? " over " : " under ") + Limit(watch)});
            }
        } else if (watch.Upper ? value <= watch.Bound - band : value >= watch.Bound + band) {
            watch.Raised = false;
        }
    }
    return events;
}

bool AlarmMonitor::Active(size_t column) const
{
    return std::any_of(watches_.begin(), watches_.end(),
                       [&](const Watch& w) { return w.Column == column && w.Raised; });
}

std::vector<std::string> AlarmMonitor::ActiveTexts() const
{
    std::vector<std::string> texts;
    for (const Watch& watch : watches_) {
        if (watch.Raised)
            texts.push_back("ALARM " + watch.Info.Name + " " + Quantity(watch, watch.Latest) + ", limit " +
                            Limit(watch));
    }
    return texts;
}

}  // namespace tessek
