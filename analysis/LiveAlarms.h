#pragma once
// The alarms of the live window: the limits read from the settings file at every run's
// start (and after the alarm dialog), the monitor fed with every sample, a beep and a
// marker for every alarm raised, and the text the window shows. Window thread only; the
// calls from the run never throw.
#include "analysis/Alarms.h"

#include <functional>
#include <string>
#include <vector>

namespace tessek {

class LiveAlarms {
public:
    // "Tessek.ini" to read the limits from; empty: the default limits.
    std::string SettingsFile;
    // Called once for every alarm raised, with its marker text; Beep too, when switched on.
    std::function<void(const std::string& marker)> OnRaised;
    std::function<void()> Beep;

    // Reads the limits and the units to show (the settings file's, [Units]) and watches
    // `columns` (a new run).
    void Start(const std::vector<RunColumn>& columns);
    // Reads the limits again for the current run's columns (after the dialog changed them).
    void Reload();
    void Check(const RunSample& sample);
    // The texts from now on show `units` (the window's choice changed).
    void SetUnits(UnitSystem units);
    UnitSystem Units() const { return units_; }
    // The run ended: no alarm stays raised, and Text() tells the last one of the run.
    void End();

    const AlarmMonitor& Monitor() const { return monitor_; }
    const AlarmSettings& Settings() const { return settings_; }
    const std::vector<RunColumn>& Columns() const { return columns_; }
    // The raised alarms, one per line; else the last one of the run ("Last alarm at 16.3 s:
    // Cyl 1 Retard 3 deg over 0 deg"); else the problems of the settings; else "".
    std::string Text() const;
    bool Raised() const { return !monitor_.ActiveTexts().empty(); }
    // Changes whenever Text() may have changed.
    unsigned Generation() const { return generation_; }

private:
    AlarmSettings settings_;
    AlarmMonitor monitor_;
    std::vector<RunColumn> columns_;
    std::string last_;
    unsigned generation_ = 0;
    UnitSystem units_ = UnitSystem::Imperial;
};

}  // namespace tessek
