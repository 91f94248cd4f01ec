// Alarm limits: crossings raised once, hysteresis, channels not logged, the texts, and
// the limits read from and written to the settings file.
#include "analysis/Alarms.h"
#include "platform/IniFile.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace tessek {
namespace {

const std::vector<RunColumn> kColumns = {{"Engine Speed", "rpm", 0, true},
                                         {"Cyl 1 Retard", "deg", 0, true},
                                         {"Coolant Temp", "F", 1, true},
                                         {"MAP", "psi/-inHg", 2, true},
                                         {"O2", "v", 3, true}};

RunSample Sample(size_t column, std::optional<double> value)
{
    RunSample sample;
    sample.Values.assign(kColumns.size(), std::nullopt);
    sample.Values[column] = value;
    return sample;
}

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();  // a sample without a value

// An AlarmLimit with a literal channel name (rows of literals only: GCC 12 at -O3 warns
// falsely about a table of rows that hold strings).
struct LimitRow {
    const char* channel;
    std::optional<double> above;
    std::optional<double> below;
};

struct Walk {
    const char* name;
    LimitRow limit;
    size_t column;
    std::vector<double> values;
    // After each value: the marker text raised by it ("" for none), and whether raised then.
    std::vector<const char*> raised;
    std::vector<bool> active;
};

// Each row feeds one channel value by value.
TEST(AlarmMonitor, RaisesOncePerCrossingAndClearsBeyondTheHysteresis)
{
    const Walk walks[] = {
        {"coolant back under the limit but inside the band stays raised",
         {"Coolant Temp", 230.0, std::nullopt},
         2,
         {229.0, 230.0, 231.2, 228.0, 230.5, 225.3, 230.1},
         {"", "", "Coolant Temp 231.2 F over 230 F", "", "", "", "Coolant Temp 230.1 F over 230 F"},
         {false, false, true, true, true, false, true}},
        {"a lower limit, and a sample without a value changes nothing",
         {"O2", std::nullopt, 0.2},
         4,
         {0.5, 0.15, kNone, 0.19, 0.2, 0.205, 0.1},
         {"", "O2 0.150 v under 0.2 v", "", "", "", "", "O2 0.100 v under 0.2 v"},
         {false, true, true, true, true, false, true}},
    };
    for (const Walk& walk : walks) {
        SCOPED_TRACE(walk.name);
        AlarmMonitor monitor;
        monitor.Start(kColumns, {AlarmLimit{walk.limit.channel, walk.limit.above, walk.limit.below, true}});
        for (size_t i = 0; i < walk.values.size(); ++i) {
            SCOPED_TRACE(i);
            const double v = walk.values[i];
            const auto events = monitor.Check(Sample(walk.column, std::isnan(v) ? std::nullopt : std::optional(v)));
            const std::string raised = events.empty() ? "" : events[0].Marker;
            EXPECT_LE(events.size(), 1u);
            EXPECT_EQ(raised, walk.raised[i]);
            EXPECT_EQ(monitor.Active(walk.column), walk.active[i]);
        }
    }
}

TEST(AlarmMonitor, TheWindowTextShowsTheLatestValueOfEveryRaisedAlarm)
{
    AlarmMonitor monitor;
    monitor.Start(kColumns, DefaultAlarmLimits());
    EXPECT_EQ(monitor.Watched(), 3u);  // retard 1, coolant and MAP of the defaults are logged
    RunSample sample = Sample(1, 3);
    sample.Values[3] = -3.51;
    ASSERT_EQ(monitor.Check(sample).size(), 1u);
    sample.Values[1] = 4;
    sample.Values[2] = 240.0;
    sample.Values[3] = 14.21;  // over the overboost level
    const auto events = monitor.Check(sample);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].Column, 2u);
    EXPECT_EQ(monitor.ActiveTexts(), (std::vector<std::string>{"ALARM Cyl 1 Retard 4 deg, limit 0 deg",
                                                               "ALARM Coolant Temp 240.0 F, limit 230 F",
                                                               "ALARM MAP 14.21 psi, limit 14 psi"}));
    EXPECT_EQ(AlarmQuantity(-3.51, 2, "psi/-inHg"), "-3.51 inHg");
    // Metric shown: the same limits, told in the metric units (the mixed MAP has none).
    monitor.SetUnits(UnitSystem::Metric);
    EXPECT_EQ(monitor.ActiveTexts(), (std::vector<std::string>{"ALARM Cyl 1 Retard 4 deg, limit 0 deg",
                                                               "ALARM Coolant Temp 115.6 °C, limit 110 °C",
                                                               "ALARM MAP 14.21 psi, limit 14 psi"}));
}

// Lean under boost: AFR over its limit raises only while boost is over its own; either
// falling back clears it, and a sample missing either value changes nothing.
TEST(AlarmMonitor, AConditionOnASecondChannelGatesTheAlarm)
{
    const std::vector<RunColumn> columns = {{"AFR", "", 2, false}, {"Boost", "psi", 2, false}};
    AlarmMonitor monitor;
    monitor.Start(columns, DefaultAlarmLimits());
    ASSERT_EQ(monitor.Watched(), 1u);
    const struct {
        std::optional<double> afr, boost;
        const char* marker;
        bool active;
    } steps[] = {
        {13.5, 0.5, "", false},                                         // lean in light load: no alarm
        {13.5, 5.0, "AFR 13.50 over 12.5 while Boost 5.00 psi", true},  // lean under boost
        {13.6, std::nullopt, "", true},                                 // boost missing: unchanged
        {13.0, 1.97, "", true},                                         // within the boost band
        {13.0, 1.9, "", false},                                         // boost gone: cleared
        {std::nullopt, 6.0, "", false},                                 // AFR missing: nothing
        {12.0, 6.0, "", false},                                         // rich under boost
        {12.8, 6.0, "AFR 12.80 over 12.5 while Boost 6.00 psi", true},
        {12.2, 6.0, "", false},  // AFR back by the band
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        RunSample sample;
        sample.Values = {steps[i].afr, steps[i].boost};
        const auto events = monitor.Check(sample);
        EXPECT_EQ(events.empty() ? std::string() : events[0].Marker, steps[i].marker);
        EXPECT_EQ(monitor.Active(0), steps[i].active);
    }
    RunSample lean;
    lean.Values = {13.0, 3.0};
    monitor.Check(lean);
    EXPECT_EQ(monitor.ActiveTexts(), std::vector<std::string>{"ALARM AFR 13.00, limit 12.5 while Boost above 2 psi"});
    // Without the condition's channel in the run, the limit is not watched at all.
    monitor.Start({columns[0]}, DefaultAlarmLimits());
    EXPECT_EQ(monitor.Watched(), 0u);
}

TEST(AlarmSettings, LimitTextsReadBackAndMalformedOnesAreRefused)
{
    const struct {
        const char* text;
        std::optional<AlarmLimit> limit;
    } rows[] = {
        {"above 230", AlarmLimit{"X", 230.0, std::nullopt, true}},
        {"  below 0.2 ", AlarmLimit{"X", std::nullopt, 0.2, true}},
        {"above 0.9 below 0.2", AlarmLimit{"X", 0.9, 0.2, true}},
        {"OFF Above -1.5", AlarmLimit{"X", -1.5, std::nullopt, false}},
        {"", AlarmLimit{"X", std::nullopt, std::nullopt, true}},
        {"above", std::nullopt},
        {"above 1 above 2", std::nullopt},
        {"over 3", std::nullopt},
        {"off", std::nullopt},
        {"above 1,5", std::nullopt},
        {"above 12.5 while Boost above 2", AlarmLimit{"X", 12.5, std::nullopt, true, AlarmCondition{"Boost", true, 2}}},
        {"off below 0.5 WHILE Engine Speed below 900",
         AlarmLimit{"X", std::nullopt, 0.5, false, AlarmCondition{"Engine Speed", false, 900}}},
        {"above 1 while Boost", std::nullopt},
        {"above 1 while Boost over 2", std::nullopt},
        {"while Boost above 2", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const auto parsed = ParseAlarmLimit("X", row.text);
        EXPECT_EQ(parsed, row.limit);
        if (parsed) {
            EXPECT_EQ(ParseAlarmLimit("X", AlarmLimitText(*parsed)), parsed);
        }
    }
}

TEST(AlarmSettings, AMalformedValueGetsAClearMessageAndItsDefaultNothingElseIsLost)
{
    test::TempFolder folder;
    const std::string before =
        "[CurrentSet]\n1=8F\n[Alarms]\nBeep=0\nCoolant Temp=above 2x0\nMAP=off above 12\n"
        "Cyl 2 Retard=\nO2=below 0.2\nThrottle=abc\n";
    folder.Write("Tessek.ini", before);
    const IniFile ini(folder.File("Tessek.ini"));
    const AlarmSettings settings = LoadAlarmSettings(ini, {"O2", "Throttle", "Engine Speed"});
    EXPECT_FALSE(settings.Beep);
    const std::vector<AlarmLimit> expected = {
        {"Cyl 1 Retard", 0.0, std::nullopt, true},
        {"Cyl 2 Retard", std::nullopt, std::nullopt, true},
        {"Cyl 3 Retard", 0.0, std::nullopt, true},
        {"Cyl 4 Retard", 0.0, std::nullopt, true},
        {"Coolant Temp", 230.0, std::nullopt, true},
        {"MAP", 12.0, std::nullopt, false},
        {"AFR", 12.5, std::nullopt, true, AlarmCondition{"Boost", true, 2}},
        {"O2", std::nullopt, 0.2, true},
    };
    EXPECT_EQ(settings.Limits, expected);
    ASSERT_EQ(settings.Problems.size(), 2u);
    EXPECT_EQ(settings.Problems[0], folder.File("Tessek.ini") +
                                        " [Alarms] Coolant Temp=above 2x0: not a limit (expected e.g. \"above 230\", "
                                        "\"below 0.2\" or \"off above 230\"); using the default, above 230");
    EXPECT_NE(settings.Problems[1].find("Throttle=abc: not a limit"), std::string::npos) << settings.Problems[1];
    EXPECT_NE(settings.Problems[1].find("; no limit"), std::string::npos) << settings.Problems[1];
    EXPECT_EQ(folder.Read("Tessek.ini"), before);

    // Written back: the defaults' keys, the cleared one and the new one; other lines stay.
    test::TempFolder other;
    IniFile written(other.File("Tessek.ini"));
    written.WriteString("CurrentSet", "1", "8F");
    AlarmSettings changed = settings;
    changed.Limits.push_back({"Throttle", 90.0, std::nullopt, true});
    changed.Limits.push_back({"Engine Speed", std::nullopt, std::nullopt, true});
    SaveAlarmSettings(written, changed);
    EXPECT_EQ(other.Read("Tessek.ini"),
              "[CurrentSet]\n1=8F\n\n[Alarms]\nBeep=0\nCyl 1 Retard=above 0\nCyl 2 Retard=\nCyl 3 Retard=above 0\n"
              "Cyl 4 Retard=above 0\nCoolant Temp=above 230\nMAP=off above 12\nAFR=above 12.5 while Boost above 2\n"
              "O2=below 0.2\nThrottle=above 90\n");
    const AlarmSettings reread = LoadAlarmSettings(written, {"O2", "Throttle", "Engine Speed"});
    EXPECT_EQ(reread.Problems, std::vector<std::string>{});
    EXPECT_EQ(reread.Limits.size(), expected.size() + 1);

    // A file that cannot be read: the defaults, and the reason.
    std::filesystem::remove(folder.File("Tessek.ini"));
    std::filesystem::create_directory(folder.File("Tessek.ini"));
    const AlarmSettings unreadable = LoadAlarmSettings(ini, {});
    EXPECT_EQ(unreadable.Limits, DefaultAlarmLimits());
    ASSERT_EQ(unreadable.Problems.size(), 1u);
    EXPECT_NE(unreadable.Problems[0].find("using the default alarms"), std::string::npos);
}

}  // namespace
}  // namespace tessek
