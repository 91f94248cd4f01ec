#include "analysis/LiveAlarms.h"

#include "platform/IniFile.h"

#include <cstdio>
#include <exception>

namespace tessek {

void LiveAlarms::Start(const std::vector<RunColumn>& columns)
{
    columns_ = columns;
    last_.clear();
    Reload();
}

void LiveAlarms::Reload()
{
    std::vector<std::string> names;
    for (const RunColumn& column : columns_)
        names.push_back(column.Name);
    if (SettingsFile.empty()) {
        settings_ = AlarmSettings{DefaultAlarmLimits(), true, {}};
    } else {
        const IniFile ini(SettingsFile);
        settings_ = LoadAlarmSettings(ini, names);
        try {
            units_ = ReadUnitSystem(ini);
        } catch (const std::exception&) {
            // Unreadable: the alarms above say so; the texts keep the units they had.
        }
    }
    monitor_.Start(columns_, settings_.Limits, units_);
    ++generation_;
}

void LiveAlarms::Check(const RunSample& sample)
{
    const std::vector<AlarmEvent> events = monitor_.Check(sample);
    if (events.empty()) {
        if (!last_.empty() || Raised())
            ++generation_;  // the raised alarms' latest values
        return;
    }
    ++generation_;
    char at[32];
    std::snprintf(at, sizeof at, "%.1f", sample.Time);
    for (const AlarmEvent& event : events) {
        last_ = "Last alarm at " + std::string(at) + " s: " + event.Marker;
        if (settings_.Beep && Beep)
            Beep();
        if (OnRaised)
            OnRaised(event.Marker);
    }
}

void LiveAlarms::SetUnits(UnitSystem units)
{
    units_ = units;
    monitor_.SetUnits(units);
    ++generation_;
}

void LiveAlarms::End()
{
    if (Raised())
        ++generation_;
    monitor_ = AlarmMonitor{};
}

std::string LiveAlarms::Text() const
{
    std::string text;
    for (const std::string& line : monitor_.ActiveTexts())
        text += (text.empty() ? "" : "\n") + line;
    if (!text.empty())
        return text;
    if (!last_.empty())
        return last_;
    for (const std::string& problem : settings_.Problems)
        text += (text.empty() ? "" : "\n") + problem;
    return text;
}

}  // namespace tessek
