#include "analysis/Alarms.h"

#include "logging/ColumnNames.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "platform/TextNumbers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <span>
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
    limits.reserve(kRetardColumns.size() + 3);
    for (const std::string_view retard : kRetardColumns)
        limits.push_back({std::string(retard), 0.0, std::nullopt, true});
    limits.push_back({std::string(kCoolantColumn), 230.0, std::nullopt, true});
    limits.push_back({std::string(kMapColumn), kOverboostPsi, std::nullopt, true});
    limits.push_back({std::string(kAfrColumn), kLeanAfr, std::nullopt, true,
                      AlarmCondition{std::string(kBoostColumn), true, kLeanBoostPsi}});
    return limits;
}

std::string AlarmLimitText(const AlarmLimit& limit)
{
    std::string text;
    if (limit.Above)
        text += "above " + FormatFloat(*limit.Above);
    if (limit.Below)
        text += (text.empty() ? "below " : " below ") + FormatFloat(*limit.Below);
    if (!text.empty() && limit.While)
        text += " while " + AlarmConditionText(*limit.While);
    if (!text.empty() && !limit.Enabled)
        text.insert(0, "off ");
    return text;
}

std::string AlarmConditionText(const AlarmCondition& condition)
{
    return condition.Channel + (condition.Above ? " above " : " below ") + FormatFloat(condition.Value);
}

namespace {

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// "Boost above 2", "Charge Air Temp below 50": the channel's words, the direction, the value.
std::optional<AlarmCondition> ConditionOf(std::span<const std::string> words)
{
    if (words.size() < 3)
        return std::nullopt;
    const std::string& direction = words[words.size() - 2];
    const std::optional<double> value = ParseFloat(words.back());
    if (!value || (!SameText(direction, "above") && !SameText(direction, "below")))
        return std::nullopt;
    AlarmCondition condition{words[0], SameText(direction, "above"), *value};
    for (size_t i = 1; i + 2 < words.size(); ++i)
        condition.Channel += " " + words[i];
    return condition;
}

}  // namespace

std::optional<AlarmCondition> ParseAlarmCondition(const std::string& text)
{
    return ConditionOf(Words(text));
}

std::optional<AlarmLimit> ParseAlarmLimit(const std::string& channel, const std::string& text)
{
    AlarmLimit limit{channel, std::nullopt, std::nullopt, true};
    const std::vector<std::string> words = Words(text);
    // The bounds come before "while", the condition after it.
    const auto bounds =
        std::find_if(words.begin(), words.end(), [](const std::string& word) { return SameText(word, "while"); });
    if (bounds != words.end()) {
        limit.While = ConditionOf({bounds + 1, words.end()});
        if (!limit.While)
            return std::nullopt;
    }
    auto word = words.begin();
    if (word != bounds && SameText(*word, "off")) {
        limit.Enabled = false;
        ++word;
    }
    for (; word != bounds; ++word) {
        const bool above = SameText(*word, "above");
        if (!above && !SameText(*word, "below"))
            return std::nullopt;
        std::optional<double>& bound = above ? limit.Above : limit.Below;
        if (bound || ++word == bounds)
            return std::nullopt;
        bound = ParseFloat(*word);
        if (!bound)
            return std::nullopt;
    }
    if ((!limit.Enabled || limit.While) && !limit.Above && !limit.Below)
        return std::nullopt;  // "off" or a condition alone
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

std::string AlarmMonitor::Quantity(const RunColumn& info, double value) const
{
    const std::optional<UnitConversion> conversion = RunConversionTo(info.Unit, units_);
    return conversion ? AlarmQuantity(conversion->Apply(value), info.Decimals, std::string(conversion->Unit))
                      : AlarmQuantity(value, info.Decimals, info.Unit);
}

std::string AlarmMonitor::Limit(const RunColumn& info, double bound) const
{
    const std::optional<UnitConversion> conversion = RunConversionTo(info.Unit, units_);
    return AlarmQuantity(ShownLimit(bound, info.Unit, units_), -1,
                         conversion ? std::string(conversion->Unit) : info.Unit);
}

void AlarmMonitor::SetUnits(UnitSystem units)
{
    units_ = units;
}

void AlarmMonitor::Start(const std::vector<RunColumn>& columns, const std::vector<AlarmLimit>& limits, UnitSystem units)
{
    units_ = units;
    watches_.clear();
    const auto find = [&](const std::string& name) {
        return static_cast<size_t>(
            std::find_if(columns.begin(), columns.end(), [&](const RunColumn& c) { return SameText(c.Name, name); }) -
            columns.begin());
    };
    for (size_t i = 0; i < columns.size(); ++i) {
        for (const AlarmLimit& limit : limits) {
            if (!limit.Enabled || !SameText(limit.Channel, columns[i].Name))
                continue;
            std::optional<Condition> condition;
            if (limit.While) {
                const size_t at = find(limit.While->Channel);
                if (at == columns.size())
                    continue;
                condition = Condition{at, columns[at], *limit.While, 0};
            }
            if (limit.Above)
                watches_.push_back({i, columns[i], *limit.Above, true, false, 0, condition});
            if (limit.Below)
                watches_.push_back({i, columns[i], *limit.Below, false, false, 0, condition});
        }
    }
}

std::vector<AlarmEvent> AlarmMonitor::Check(const RunSample& sample)
{
    const auto valueOf = [&](size_t column) -> std::optional<double> {
        if (column >= sample.Values.size() || !sample.Values[column] || !std::isfinite(*sample.Values[column]))
            return std::nullopt;
        return *sample.Values[column];
    };
    std::vector<AlarmEvent> events;
    for (Watch& watch : watches_) {
        const std::optional<double> value = valueOf(watch.Column);
        std::optional<double> condition;
        if (watch.While) {
            condition = valueOf(watch.While->Column);
            if (!condition)
                continue;
            watch.While->Latest = *condition;
        }
        if (!value)
            continue;
        watch.Latest = *value;
        const double band = kAlarmHysteresis * std::fabs(watch.Bound);
        if (!watch.Raised) {
            const AlarmCondition* rule = watch.While ? &watch.While->Rule : nullptr;
            const bool met = !rule || (rule->Above ? *condition > rule->Value : *condition < rule->Value);
            if (met && (watch.Upper ? *value > watch.Bound : *value < watch.Bound)) {
                watch.Raised = true;
                std::string marker = watch.Info.Name + " " + Quantity(watch.Info, *value) +
                                     (watch.Upper ? " over " : " under ") + Limit(watch.Info, watch.Bound);
                if (rule)
                    marker += " while " + rule->Channel + " " + Quantity(watch.While->Info, *condition);
                events.push_back({watch.Column, marker});
            }
        } else if (watch.Upper ? *value <= watch.Bound - band : *value >= watch.Bound + band) {
            watch.Raised = false;
        } else if (watch.While) {
            const AlarmCondition& rule = watch.While->Rule;
            const double ruleBand = kAlarmHysteresis * std::fabs(rule.Value);
            if (rule.Above ? *condition <= rule.Value - ruleBand : *condition >= rule.Value + ruleBand)
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
        if (!watch.Raised)
            continue;
        std::string text = "ALARM " + watch.Info.Name + " " + Quantity(watch.Info, watch.Latest) + ", limit " +
                           Limit(watch.Info, watch.Bound);
        if (watch.While) {
            const AlarmCondition& rule = watch.While->Rule;
            text +=
                " while " + rule.Channel + (rule.Above ? " above " : " below ") + Limit(watch.While->Info, rule.Value);
        }
        texts.push_back(text);
    }
    return texts;
}

}  // namespace tessek
