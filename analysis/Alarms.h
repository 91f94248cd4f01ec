#pragma once
// Alarm limits on the values a run logs, how they are kept in the settings file, and the
// monitor that watches a run's samples for crossings. Plain code, window thread only.
//
// A limit belongs to a run column by name ("Coolant Temp", "Cyl 1 Retard") and has an
// upper bound, a lower bound or both. A value over the upper bound (or under the lower one)
// raises the alarm once; it stays raised, without raising again, until the value is back
// by the hysteresis band (kAlarmHysteresis of the bound's size; a bound of 0 has none, so
// whole-degree values such as knock retard clear at 0 and raise at 1). A sample without a
// value for the column changes nothing, and a limit for a column the run does not log is
// ignored.
//
// Limits are kept in the run's own units (those of the window's text: F, psi), whatever
// units are shown; the texts of the alarms, and the alarm dialog, show them converted.
//
// A limit may hold only while a second channel is above or below a value of its own
// ("AFR above 12.5 while Boost above 2": lean under boost). It is raised when both hold,
// and cleared when its own value is back by the hysteresis or the condition is no longer
// met by the same band; a sample without the condition's value changes nothing. A limit
// whose condition channel the run does not log is not watched.
//
// Settings: section [Alarms] of Tessek.ini, one key per channel, named as the column
// ("Coolant Temp=above 230"); values "above X", "below Y", both ("above 0.9 below 0.2"),
// each optionally preceded by "off" (kept, but switched off), optionally followed by
// "while CHANNEL above|below Z" ("AFR=above 12.5 while Boost above 2"); an empty value
// means no limit (also for a channel that has one by default). "Beep=1" or "0" switches
// the sound.
#include "logging/RunRecord.h"
#include "logging/Units.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tessek {

class IniFile;

inline constexpr const char* kAlarmSection = "Alarms";
inline constexpr const char* kAlarmBeepKey = "Beep";
inline constexpr double kAlarmHysteresis = 0.02;
// The default boost limit, psi: just under the top of the stock 2-bar MAP sensor (about
// 14.3 psi over one atmosphere), where the LM's own overboost fault has to lie.
inline constexpr double kOverboostPsi = 14.0;

// The lean-under-boost default: AFR above kLeanAfr while boost is above kLeanBoostPsi.
inline constexpr double kLeanAfr = 12.5;
inline constexpr double kLeanBoostPsi = 2.0;

// "while Boost above 2": the second channel's value that a limit needs.
struct AlarmCondition {
    std::string Channel;
    bool Above = true;
    double Value = 0;

    bool operator==(const AlarmCondition&) const = default;
};

struct AlarmLimit {
    std::string Channel;
    std::optional<double> Above;
    std::optional<double> Below;
    bool Enabled = true;
    std::optional<AlarmCondition> While = std::nullopt;

    bool operator==(const AlarmLimit&) const = default;
};

// Knock retard of every cylinder above 0 deg, coolant above 230 F, MAP above kOverboostPsi,
// AFR above kLeanAfr while Boost is above kLeanBoostPsi.
std::vector<AlarmLimit> DefaultAlarmLimits();

// The settings text of a limit: "above 230", "off above 0.9 below 0.2",
// "above 12.5 while Boost above 2", "" for none.
std::string AlarmLimitText(const AlarmLimit& limit);
// The limit a settings text describes; nothing when the text is not one of the forms above.
std::optional<AlarmLimit> ParseAlarmLimit(const std::string& channel, const std::string& text);
// "Boost above 2" (the words after "while"); nothing when malformed.
std::string AlarmConditionText(const AlarmCondition& condition);
std::optional<AlarmCondition> ParseAlarmCondition(const std::string& text);

struct AlarmSettings {
    std::vector<AlarmLimit> Limits;  // one per channel that has a key or a default
    bool Beep = true;
    // One line per value that could not be read, saying what was found and what is used
    // instead; the file itself is left as it is.
    std::vector<std::string> Problems;
};

// The limits of the default channels and of `channels` from `ini` (defaults where a key
// is missing or malformed; all defaults when the file cannot be read). Never throws.
AlarmSettings LoadAlarmSettings(const IniFile& ini, const std::vector<std::string>& channels);
// Writes Beep and one key per limit that has a bound, is a default channel or already has
// a key (so that clearing a limit sticks). Throws as IniFile's writes do.
void SaveAlarmSettings(IniFile& ini, const AlarmSettings& settings);

// "14.21 psi", "-3.51 inHg" (MAP's signed column), "3 deg", "0.86 v"; `decimals` < 0
// prints the shortest text of the number ("230", "0.2").
std::string AlarmQuantity(double value, int decimals, const std::string& unit);

// A limit in the run's unit `unit` as shown in `units` (110 for 230 F in metric), rounded
// to four decimals; and back (a limit typed in the shown unit, kept in the run's with six
// decimals, so that it shows again as typed).
double ShownLimit(double limit, std::string_view unit, UnitSystem units);
double KeptLimit(double shown, std::string_view unit, UnitSystem units);

struct AlarmEvent {
    size_t Column = 0;   // index into the run's columns
    std::string Marker;  // "Cyl 1 Retard 3 deg over 0 deg": the data logs' marker text
};

class AlarmMonitor {
public:
    // Forgets the previous run; watches the enabled limits of `columns` that are logged.
    // The texts show values and limits in `units`.
    void Start(const std::vector<RunColumn>& columns, const std::vector<AlarmLimit>& limits,
               UnitSystem units = UnitSystem::Imperial);
    // The texts from now on show `units`.
    void SetUnits(UnitSystem units);
    // The alarms `sample` raises (crossings only, never again while raised).
    std::vector<AlarmEvent> Check(const RunSample& sample);

    // The column has an alarm raised now.
    bool Active(size_t column) const;
    // "ALARM Cyl 1 Retard 3 deg, limit 0 deg" for every raised alarm, with the latest value.
    std::vector<std::string> ActiveTexts() const;
    // Limits watched in this run.
    size_t Watched() const { return watches_.size(); }

private:
    struct Condition {
        size_t Column = 0;
        RunColumn Info;
        AlarmCondition Rule;
        double Latest = 0;
    };
    struct Watch {
        size_t Column = 0;
        RunColumn Info;
        double Bound = 0;
        bool Upper = true;
        bool Raised = false;
        double Latest = 0;
        std::optional<Condition> While;
    };
    std::string Quantity(const RunColumn& info, double value) const;
    std::string Limit(const RunColumn& info, double bound) const;

    std::vector<Watch> watches_;
    UnitSystem units_ = UnitSystem::Imperial;
};

}  // namespace tessek
