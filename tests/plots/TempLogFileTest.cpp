// Reading the main window's text logs back into channels: each value by its unit, the
// start from the first line, and what cannot be read skipped and said.
#include "plots/LogFile.h"
#include "plots/TempLogFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace tessek {
namespace {

// Every channel as "Name (unit) [raw]: v v v", "-" for no value.
std::vector<std::string> Channels(const LogReadResult& r)
{
    std::vector<std::string> out;
    for (const LogChannel& c : r.Data.Channels) {
        std::ostringstream text;
        text << c.Name << " (" << c.Unit << ")" << (c.Raw ? " raw" : "") << ':';
        for (const double v : c.Values)
            (std::isnan(v) ? text << " -" : text << ' ' << v);
        out.push_back(text.str());
    }
    return out;
}

// A run of eight slots, one skipped, with the performance figures from the second sample
// on (the first sample has none), as the window writes it.
const char* const kRun =
    "Logging  Start at 2026-12-06 14:03:27\r\n"
    "BARO =  29.92hg   Coolant Temp = 131.9F (9A) \r\n"
    " Time    RPM; Skip value; MAP; O2; Coolant Temp; Cyl 1 Retard; SPK Advance; Baro; \r\n"
    "  0.000 2000rpm   3.51hg   0.812v(2F) 131.9F (9A) 31deg 12.5deg  5A \r\n"
    "  0.020 2256rpm   0.00psi  0.500v(17) -51.1F (FF)  0deg  9.0deg  5B  0.12G   12.34HP    45.67lb/ft \r\n"
    "  0.041  800rpm   1.20psi  0.100v(03)  20.0F (E0)  1deg 10.5deg  FF -0.50G   -3.00HP   nanlb/ft \r\n"
    "Cancel Logging\r\n"
    "Done Logging\r\n";

TEST(TempLogFile, EveryValueIsReadBackIntoItsChannelByItsUnit)
{
    const LogReadResult r = ParseLogText(kRun);
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Data.Start, "2026-12-06 14:03:27");
    EXPECT_EQ(r.Data.TimeName, "Time");
    EXPECT_EQ(r.Data.Time, (std::vector<double>{0, 0.02, 0.041}));
    EXPECT_EQ(Channels(r), (std::vector<std::string>{
                               "Engine Speed (rpm): 2000 2256 800",
                               "MAP (psi/-inHg): -3.51 0 1.2",
                               "O2 (v): 0.812 0.5 0.1",
                               "O2 raw () raw: 47 23 3",
                               "Coolant Temp (F): 131.9 -51.1 20",
                               "Coolant Temp raw () raw: 154 255 224",
                               "Cyl 1 Retard (deg): 31 0 1",
                               "Spark Advance (deg): 12.5 9 10.5",
                               "Baro (): 90 91 255",
                               "Acceleration (g): - 0.12 -0.5",
                               "Power (hp): - 12.34 -3",
                               "Torque (lb-ft): - 45.67 -",
                           }));
    std::vector<int> decimals;
    for (const LogChannel& c : r.Data.Channels)
        decimals.push_back(c.Decimals);
    EXPECT_EQ(decimals, (std::vector<int>{0, 2, 3, 0, 1, 0, 0, 1, 0, 2, 2, 2}));
    EXPECT_EQ(r.Report.Summary(), "3 rows read, 0 skipped");
}

TEST(TempLogFile, LinesThatAreNoSamplesOfTheRunAreSkippedAndSaid)
{
    const std::string head =
        "Logging  Start at someday\r\n"
        " Time    RPM; Knock; \r\n";
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"a value too few", "  0.000 2000rpm 2.50v \r\n  0.020 2100rpm \r\n",
         "1 rows read, 1 skipped (line 4: 1 values where the first sample has 2)"},
        {"another unit in a slot", "  0.000 2000rpm 2.50v \r\n  0.020 2100rpm 2.50deg \r\n",
         "1 rows read, 1 skipped (line 4: value 2 is \"2.50deg\", unlike the first sample's)"},
        {"time goes back", "  1.000 2000rpm 2.50v \r\n  0.500 2100rpm 2.60v \r\n  1.000 2100rpm 2.60v \r\n",
         "2 rows read, 1 skipped, 1 repeated times (line 4: time goes back from 1.000 s to 0.500 s)"},
        {"a value without a unit", "  0.000 2000rpm 2.50v \r\n  0.020 2100 2.50v \r\n",
         "1 rows read, 1 skipped (line 4: \"2100\" is not a value with a unit)"},
        {"a line of someone's notes", "  0.000 2000rpm 2.50v \r\nhit the rev limiter here\r\n",
         "1 rows read, 1 skipped (line 4: not a sample line)"},
        {"a time that is no number (found by fuzzing)", "  0.000 2000rpm 2.50v \r\n    nan 2100rpm 2.60v \r\n",
         "1 rows read, 1 skipped (line 4: not a sample line)"},
    };
    for (const auto& [name, samples, summary] : cases) {
        SCOPED_TRACE(name);
        const LogReadResult r = ParseLogText(head + samples);
        ASSERT_TRUE(r.Ok()) << r.Error;
        EXPECT_EQ(r.Data.Start, "someday");  // not a date: the file's own words
        EXPECT_EQ(r.Report.Summary(), summary);
    }

    const std::tuple<const char*, std::string, std::string> refused[] = {
        {"stopped before its first sample", head + "Cancel Logging\r\nDone Logging\r\n",
         "The log holds no samples, only its header: the run that wrote it ended before its first sample."},
        {"every slot skipped", "Logging  Start at x\r\n Time    Skip value; \r\n  0.000 \r\n  0.100 \r\n",
         "Not a data log: its samples hold only their time, no value (every slot skipped)."},
        {"nothing but notes", head + "first note\r\nsecond note\r\n",
         "Not a data log: a TempLog text file, but none of its lines could be read (line 3: not a sample line)."},
    };
    for (const auto& [name, text, error] : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ParseLogText(text).Error, error);
    }
    // Beyond the limit of columns, the first values of each sample are read.
    LogReadLimits sixColumns;
    sixColumns.MaxColumns = 6;
    const LogReadResult cut = ParseLogText(head +
                                               "  0.000 2000rpm 0.812v(2F) 2.50v  0.12G \r\n  0.020 2100rpm "
                                               "0.800v(2E) 2.40v  0.13G \r\n",
                                           sixColumns);
    EXPECT_EQ(Channels(cut), std::vector<std::string>{"Engine Speed (rpm): 2000 2100"});
    EXPECT_EQ(cut.Report.Summary(),
              "2 rows read, 0 skipped. Only the first 1 of the 3 values of each sample were "
              "read (the viewer reads at most 6 columns).");
    // A value written with more decimals than a channel is shown with (found by fuzzing).
    const LogReadResult precise = ParseLogText(head + "  0.000 2000rpm 1.234567891v \r\n");
    ASSERT_TRUE(precise.Ok()) << precise.Error;
    EXPECT_EQ(precise.Data.Channels[1].Decimals, 6);
    // The part of a longer file ends with a line cut short: dropped without a word.
    const std::string partial = head + "  0.000 2000rpm 2.50v \r\n  0.020 21";
    EXPECT_EQ(ParseLogText(partial, {}, true).Report.Summary(), "1 rows read, 0 skipped");
}

}  // namespace
}  // namespace tessek
