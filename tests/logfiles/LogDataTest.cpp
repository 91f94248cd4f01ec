// Reading data logs (CSV, MSL and the main window's TempLog text files), and what the log
// viewer figures from them: the value at the cursor, the figures of the visible range, the
// power curve.
#include "analysis/ChannelDisplay.h"
#include "analysis/LogStatistics.h"
#include "analysis/PowerCurve.h"
#include "logfiles/LogFile.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <future>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/common/MemoryHeadroom.h"
#include "tests/common/TempFolder.h"

namespace tessek {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A channel's values as " v v v", "-" for no value.
std::string Values(const LogChannel& c)
{
    std::ostringstream text;
    for (double v : c.Values)
        (std::isnan(v) ? text << " -" : text << ' ' << v);
    return text.str();
}

// A channel's unit and values as one text: "rpm: 800 - 850".
std::string Column(const LogReadResult& r, const std::string& name)
{
    for (const LogChannel& c : r.Data.Channels) {
        if (c.Name == name)
            return c.Unit + ":" + Values(c);
    }
    return "no channel " + name;
}

// Every channel as "Name (unit) raw: v v v".
std::vector<std::string> Channels(const LogReadResult& r)
{
    std::vector<std::string> out;
    for (const LogChannel& c : r.Data.Channels)
        out.push_back(c.Name + " (" + c.Unit + ")" + (c.Raw ? " raw:" : ":") + Values(c));
    return out;
}

// Every layout holds two rows, at 0 and 0.5 s.
TEST(LogFile, FindsNamesUnitsAndTimeColumnInEveryAcceptedLayout)
{
    const std::tuple<const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"MSL: names row, units row", "Time\tEngine Speed\tMAP\ns\trpm\tpsi/-inHg\n0.000\t800\t-12.35\n0.500\t825\t0\n",
         "Time", "MAP", "psi/-inHg: -12.35 0"},
        {"MegaLogViewer banner lines before the names, time not first",
         "\"MS2Extra comms342h2\"\n\"Capture Date: Sat Dec 06 14:03:27 2026\"\nRPM\tTime\tMAP\nRPM\tsec\tkPa\n"
         "812\t0.000\t35.2\n830\t0.500\t36.0\n",
         "Time", "RPM", "RPM: 812 830"},
        {"units in brackets, time not first", "Boost [kPa],Seconds,Lambda\n101.3,0,1.02\n150.0,0.5,0.85\n", "Seconds",
         "Boost", "kPa: 101.3 150"},
        {"no time name: the first column is time; carriage returns alone end the lines", "t,rpm\r0,800\r0.5,900\r", "t",
         "rpm", ": 800 900"},
        {"quoted: comma, doubled quote, quoted numbers, CRLF",
         "\"Time (s)\",\"Boost, \"\"gauge\"\" (psi)\"\r\n\"0.0\",\"-3.5\"\r\n0.5,\" 4.25 \"\r\n", "Time",
         "Boost, \"gauge\"", "psi: -3.5 4.25"},
        {"semicolon separated, time in ms, a separator after every data row only",
         "Time (ms);Engine Speed (rpm)\n0;800;\n500;900;\n", "Time", "Engine Speed", "rpm: 800 900"},
        {"RomRaider: time in msec", "Time (msec),Engine Speed (rpm)\n0,800\n500,900\n", "Time", "Engine Speed",
         "rpm: 800 900"},
        {"a quoted name with a line break", "Time,\"Two\nLines\"\n0,1\n0.5,2\n", "Time", "Two\nLines", ": 1 2"},
        {"blank lines and a trailing separator", "Time,Knock,\n\n0,1.5,\n0.5,+2,\n\n", "Time", "Knock", ": 1.5 2"},
        {"a separator after the names row only", "Time\tA\tB\t\n0\t1\t\n0.5\t2\t3\n", "Time", "B", ": - 3"},
        // Spreadsheets set to a European language write semicolons or tabs and decimal commas.
        {"semicolons, decimal commas", "Zeit (s);Drehzahl (U/min)\r\n0,0;800\r\n0,5;825,5\r\n", "Zeit", "Drehzahl",
         "U/min: 800 825.5"},
    };
    for (const auto& [name, text, timeName, channel, column] : cases) {
        SCOPED_TRACE(name);
        const LogReadResult r = ParseLogText(text);
        ASSERT_TRUE(r.Ok()) << r.Error;
        EXPECT_EQ(r.Data.TimeName, timeName);
        EXPECT_EQ(r.Data.Time, (std::vector<double>{0, 0.5}));
        EXPECT_EQ(Column(r, channel), column);
        EXPECT_EQ(r.Report.Summary(), "2 rows read, 0 skipped");
    }
    // A column of notes is skipped and named; the other columns are read.
    const LogReadResult notes =
        ParseLogText("Zeit (s);Notiz;Drehzahl (U/min)\n0,0;kalt;800\n0,5;;825\n1,0;\"warm; leer\";850\n");
    ASSERT_TRUE(notes.Ok()) << notes.Error;
    EXPECT_EQ(Column(notes, "Drehzahl"), "U/min: 800 825 850");
    EXPECT_EQ(notes.Data.Channels.size(), 1u);
    EXPECT_EQ(notes.Report.Summary(), "3 rows read, 0 skipped. Text column skipped: \"Notiz\".");
    // A log whose only column beside the time is text has nothing to show (found by fuzzing).
    EXPECT_EQ(ParseLogText("Time,A\n5,\xad"
                           "1\n4,2")
                  .Error,
              "Not a data log: besides the time, its columns hold text, not numbers.");
    // Only one comma in a number is a decimal mark; a value like "1,234,5" is not a number.
    EXPECT_EQ(ParseLogText("Time;A\n0;1,234,5\n1;2\n").Report.CellsWithoutValue, 1u);
    EXPECT_EQ(ParseLogText("Time;A\n0;1,5\n1;2\n").Data.Channels[0].Decimals, 1);
}

TEST(LogFile, SkipsOrBlanksBadRowsAndSaysWhereAndWhy)
{
    const LogReadResult r = ParseLogText(
        "Created by,Tessek\n"                             // line 1: a banner
        "Time (s),Engine Speed (rpm),Coolant Temp (F)\n"  // 2
        "0.0,abc,180\n"                                   // 3: kept, rpm no value (not a units row)
        "0.1,nan,181\n"                                   // 4: kept, rpm no value, not counted
        "x,900,182\n"                                     // 5: skipped
        "0.2,900,182\n"                                   // 6
        "0.2,910,182\n"                                   // 7: repeated time, kept
        "0.15,920,183\n"                                  // 8: skipped, goes back
        ",930,183\n"                                      // 9: skipped
        "0.3,940,184,9\n"                                 // 10: skipped, extra field
        "0.4,95");                                        // 11: cut short
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Data.Time, (std::vector<double>{0.0, 0.1, 0.2, 0.2}));
    EXPECT_EQ(Column(r, "Engine Speed"), "rpm: - - 900 910");
    EXPECT_EQ(
        r.Report.Examples,
        (std::vector<std::string>{"line 3: \"Engine Speed\" is not a number: \"abc\"",
                                  "line 5: the time is not a number", "line 8: time goes back from 0.200 s to 0.150 s",
                                  "line 9: no time", "line 10: 4 fields where the names row has 3"}));
    EXPECT_EQ(r.Report.Summary(),
              "4 rows read, 5 skipped, 1 cells not a number, 1 repeated times (line 3: \"Engine Speed\" is not a "
              "number: \"abc\"; ...)");

    // The cut-short last row, on its own, and dropped quietly when the text is only the
    // first part of a longer file.
    const std::string cut = "Time,A,B\n0,1,2\n1,3,4\n2,5";
    EXPECT_EQ(ParseLogText(cut).Report.Summary(),
              "2 rows read, 1 skipped (line 4: only 2 of 3 fields (row cut short?))");
    EXPECT_EQ(ParseLogText(cut, {}, true).Report.Summary(), "2 rows read, 0 skipped");
}

// The first lines of a TempLog file.
const std::string kTempLogHead =
    "Logging  Start at someday\r\n"
    " Time    RPM; Knock; \r\n";

TEST(LogFile, RefusesWhatIsNotALogWithAClearMessage)
{
    std::string prose;
    for (int i = 0; i < 100; ++i)
        prose += "some text\n";
    const std::string noRows = "Not a data log: no row of numbers under a row of column names in the first 64 lines.";
    const std::string expected =
        " Expected a CSV or MSL log (a row of column names, then rows of numbers separated by "
        "commas, semicolons or tabs) or a TempLog text file; its first lines are ";
    const std::string controls("\0\1\2\3\4\5\6\7", 8), longLine(100, 'x');
    const std::tuple<const char*, std::string, std::string> cases[] = {
        {"only blanks and line breaks", "  \r\n\n", "The file is empty."},
        {"control bytes, a long line, and the names beyond the first 64 lines",
         controls + "\n\n" + longLine + "\n" + prose + "Time,A\n0,1\n",
         noRows + expected + "\"????????\" / \"" + longLine.substr(0, 60) + "...\"."},
        {"numbers without names", "\n1,2\n3,4\n",
         "Not a data log: no row of column names above the first row of numbers (line 2)." + expected +
             "\"1,2\" / \"3,4\"."},
        {"a single column", "Time\n0\n1\n",
         "Not a data log: it has a single column and so nothing to show against time."},
        {"no row with a time", "Time,A\n,1\n,2\n", "Not a data log: none of its rows could be read (line 2: no time)."},
        {"MSL names and units only", "Time\tEngine Speed\r\ns\trpm\r\n",
         "The log holds no samples, only its column names: the run that wrote it ended before its first sample."},
        {"a quote in the names never closed", "Time,\"Engine Speed (rpm),MAP\n0,800,1\n1,900,2\n",
         "Not a data log: the quote (\") opened on line 1 is never closed, so all that follows it reads as one "
         "name."},
        // TempLog text files without a sample to read.
        {"stopped before its first sample", kTempLogHead + "Cancel Logging\r\nDone Logging\r\n",
         "The log holds no samples, only its header: the run that wrote it ended before its first sample."},
        {"every slot skipped", "Logging  Start at x\r\n Time    Skip value; \r\n  0.000 \r\n  0.100 \r\n",
         "Not a data log: its samples hold only their time, no value (every slot skipped)."},
        {"nothing but notes", kTempLogHead + "first note\r\nsecond note\r\n",
         "Not a data log: a TempLog text file, but none of its lines could be read (line 3: not a sample line)."},
    };
    for (const auto& [name, text, error] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ParseLogText(text).Error, error);
    }
}

// A 1 GiB file that is a log for its first 1000 rows and a hole after them, read within
// both limits: what lies beyond them is left out and the report says so. A row wider than
// the column limit is skipped; a missing file is named.
TEST(LogFile, ReadsFilesWithinItsLimitsAndSaysWhyOneCannotBeRead)
{
    test::TempFolder dir;
    std::string head = "Time (s),Engine Speed (rpm)\r\n";
    for (int i = 0; i < 1000; ++i)
        head += std::to_string(i) + ".0," + std::to_string(800 + i) + "\r\n";
    dir.Write("huge.csv", head);
    ASSERT_EQ(::truncate(dir.File("huge.csv").c_str(), off_t{1} << 30), 0);
    EXPECT_EQ(ReadLogFile(dir.File("huge.csv"), {.MaxCells = 51 + 2 * kCellsPerChannel}).Report.Summary(),
              "25 rows read, 0 skipped. Only the first 128 MiB of this 1.0 GiB file were read. Only the first 25 "
              "rows were loaded (the viewer keeps at most 179 values, 64 of them for each of the 2 columns).");

    EXPECT_EQ(ReadLogFile(dir.File("missing.csv")).Error,
              "Cannot open " + dir.File("missing.csv") + ": No such file or directory");

    // A row wider than the limit under a names row within it is skipped, its fields counted.
    std::string wideRow = "0";
    for (int c = 0; c < 2000; ++c)
        wideRow += ",1";
    EXPECT_EQ(ParseLogText("Time,A\n0,1\n" + wideRow + "\n1,2\n", {.MaxColumns = 10}).Report.Summary(),
              "2 rows read, 1 skipped (line 3: 2001 fields where the names row has 2)");
}

// Markers as "number@time text" in the order read.
std::string Markers(const LogReadResult& r)
{
    std::ostringstream text;
    for (const LogMarker& m : r.Data.Markers)
        text << m.Number << '@' << m.Time << (m.Text.empty() ? "" : " " + m.Text) << ';';
    return text.str();
}

TEST(LogFile, ReadsMarkersFromAMarkerColumnAndFromMarkLines)
{
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {
        {"CSV: the marker column in the middle; no number, 0 and negative numbers (another program's unmarked "
         "rows) are no markers",
         "Time,Marker,Knock\n0,x,0.1\n1,0,0.2\n2,-3,0.3\n3,0.4,0.4\n4,2,0.5\n", "2@4;", "Knock"},
        {"CSV: a number on the marked row, empty otherwise; the marker's text follows its number, no channel either",
         "Time (s),Engine Speed (rpm),Marker,Marker text\r\n0.0,800,1,Manual\r\n0.5,900,,\r\n"
         "1.0,950,2,\"Cyl 1 Retard 1 deg over 0 deg\"\r\n",
         "1@0 Manual;2@1 Cyl 1 Retard 1 deg over 0 deg;", "Engine Speed"},
        {"MSL: a mark line marks the row after it: before the first row, two in a row, and after the last row",
         "Time\tA\ns\t\nMARK 001 - Manual\n0\t1\nMARK 002 - Manual\nMARK 003\n1\t2\nMARK 004 - End\n",
         "1@0 Manual;2@1 Manual;3@1;4@1 End;", "A"},
        {"MSL: a mark line before a skipped row waits for the next one read",
         "Time\tA\n0\t1\nMARK 007 - Manual\nx\t2\n2\t3\n", "7@2 Manual;", "A"},
        {"a line that only looks like a mark is no marker", "Time,A\n0,1\nMARKED\n1,2\n", "", "A"},
    };
    for (const auto& [name, text, markers, channel] : cases) {
        SCOPED_TRACE(name);
        const LogReadResult r = ParseLogText(text);
        ASSERT_TRUE(r.Ok()) << r.Error;
        EXPECT_EQ(Markers(r), markers);
        // The marker columns are no channels.
        ASSERT_EQ(r.Data.Channels.size(), 1u);
        EXPECT_EQ(r.Data.Channels[0].Name, channel);
    }

    // Beyond the limit the markers are counted, and the report says how many were left out.
    const LogReadLimits twoMarkers{.MaxMarkers = 2};
    const LogReadResult many = ParseLogText("Time,A,Marker\n0,1,1\n1,1,2\n2,1,3\n3,1,\n4,1,4\n", twoMarkers);
    EXPECT_EQ(Markers(many), "1@0;2@1;");
    EXPECT_EQ(many.Report.Summary(),
              "5 rows read, 0 skipped. 2 markers after the first 2 were left out (the viewer draws at most 2).");
    const LogReadResult marks = ParseLogText("Time\tA\nMARK 001\nMARK 000\nMARK 002\nMARK 003\n0\t1\n", twoMarkers);
    EXPECT_EQ(Markers(marks), "1@0;2@0;");
    EXPECT_EQ(marks.Report.LimitNote, "1 markers after the first 2 were left out (the viewer draws at most 2).");
}

// 4 million columns in 16 MB, and a TempLog line of 4 million values in 12 MB, each read by
// a child process whose address space allows the reader only a few hundred megabytes: it
// reads the first columns and says so.
TEST(LogFile, AVeryWideFileIsReadWithinAMemoryLimit)
{
    test::TempFolder dir;
    constexpr size_t kColumns = size_t{4} << 20;
    {
        std::string text;
        text.reserve(4 * kColumns + 16);
        text += "Time";
        for (size_t c = 1; c < kColumns; ++c)
            text += ",x";
        text += "\n0";
        for (size_t c = 1; c < kColumns; ++c)
            text += ",1";
        dir.Write("wide.csv", text + "\n");
        text = kTempLogHead + "  0.000";
        for (size_t c = 0; c < kColumns; ++c)
            text += " 5A";
        dir.Write("long.txt", text + " \r\n");
    }
    const std::tuple<const char*, size_t, const char*> cases[] = {
        {"wide.csv", 999, "Only the first 1000 of its 4194304 columns were read"},
        {"long.txt", 996, "Only the first 996 of the 4194304 values of each sample were read"},
    };
    for (const auto& [name, channels, note] : cases) {
        SCOPED_TRACE(name);
        // What the process has mapped now, and 384 MB more: the file and the reader's tables,
        // but not a table entry per column.
        const int code = test::InChildWithHeadroom(
            size_t{384} << 20, [] {},
            [&, name = name, channels = channels, note = note] {
                const LogReadResult r = ReadLogFile(dir.File(name));
                return r.Ok() && r.Data.Channels.size() == channels &&
                               r.Report.LimitNote.find(note) != std::string::npos
                           ? 0
                           : 2;
            });
        EXPECT_EQ(code, 0) << "1: out of memory, 2: not read as expected, negative: killed by that signal";
    }
}

// A FIFO is refused at once: opening it for reading would wait for a writer.
TEST(LogFile, AFifoIsRefusedWithoutWaitingForAWriter)
{
    test::TempFolder dir;
    const std::string fifo = dir.File("pipe.csv");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto read = std::async(std::launch::async, [&] { return ReadLogFile(fifo).Error; });
    if (read.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        // Lets the blocked open go on, so the test ends with its failure.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        ADD_FAILURE() << "the reader waits on the FIFO";
        read.wait();
        ::close(writer);
        return;
    }
    EXPECT_EQ(read.get(), "Not a data log: " + fifo + " is not a regular file.");
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
    std::string crOnly = kRun;
    std::erase(crOnly, '\n');
    const LogReadResult r = ParseLogText(kRun);
    ASSERT_TRUE(r.Ok()) << r.Error;
    const LogReadResult cr = ParseLogText(crOnly);
    EXPECT_EQ(Channels(cr), Channels(r)) << "lines ended by CR alone";
    EXPECT_EQ(r.Data.Start, "2026-12-06 14:03:27");
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
    };
    for (const auto& [name, samples, summary] : cases) {
        SCOPED_TRACE(name);
        const LogReadResult r = ParseLogText(kTempLogHead + samples);
        ASSERT_TRUE(r.Ok()) << r.Error;
        EXPECT_EQ(r.Data.Start, "someday");  // not a date: the file's own words
        EXPECT_EQ(r.Report.Summary(), summary);
    }
    // The part of a longer file ends with a line cut short: dropped without a word.
    const std::string partial = kTempLogHead + "  0.000 2000rpm 2.50v \r\n  0.020 21";
    EXPECT_EQ(ParseLogText(partial, {}, true).Report.Summary(), "1 rows read, 0 skipped");
}

// (A sample without a value at the cursor: the viewer model's test.)
TEST(LogStatistics, CursorTakesTheNearestSampleAndRangesKeepTheirEdges)
{
    const std::vector<double> time{0, 1, 2, 2, 3, 4};
    const std::vector<double> values{10, 11, 12, 13, kNaN, 9};
    const std::tuple<const char*, double, double> cursor[] = {
        {"before the first sample", -0.1, kNaN},
        {"half way takes the earlier", 0.5, 10},
        {"nearer the later", 0.6, 11},
        {"repeated time: the first of them", 1.9, 12},
        {"half way after a repeated time", 2.5, 12},
        {"after the last sample", 4.01, kNaN},
    };
    for (const auto& [name, t, expected] : cursor) {
        SCOPED_TRACE(name);
        EXPECT_THAT(ValueAt(time, values, t), testing::NanSensitiveDoubleEq(expected));
    }
    EXPECT_EQ(NearestSample({}, 0), std::nullopt);

    // A range that holds only a missing value, and a reversed one, have no figures.
    for (const auto& [t0, t1] : {std::pair(2.5, 3.5), std::pair(2.0, 1.0)}) {
        const RangeStats s = StatsOver(time, values, t0, t1);
        EXPECT_EQ(s.Count, 0u) << t0;
        EXPECT_TRUE(std::isnan(s.Min) && std::isnan(s.Max) && std::isnan(s.Mean)) << t0;
    }
}

// Which channels are drawn when a log opens: MAP on its linear scale where the log has
// it, the mixed one in older logs; raw replies never.
TEST(ChannelDisplay, TheLinearMapIsDrawnWhereTheLogHasIt)
{
    const std::tuple<const char*, const char*, bool, bool, bool> rows[] = {
        {"MAP", "psi/-inHg", false, true, false},   {"MAP 2", "psi/-inHg", false, true, false},
        {"MAP", "psi/-inHg", false, false, true},   {"Boost", "psi", false, true, true},
        {"Boost 2", "kPa", false, true, true},      {"MAP abs", "kPa", false, true, false},
        {"MAP abs 2", "kPa", false, true, false},   {"MAP raw", "", true, true, false},
        {"Engine Speed", "rpm", false, true, true}, {"Engine Speed raw", "", true, false, false},
    };
    for (const auto& [name, unit, raw, linear, drawn] : rows)
        EXPECT_EQ(DrawnByDefault(name, unit, raw, linear), drawn) << name << " " << linear;
    EXPECT_TRUE(IsLinearMap("Boost 2"));
    EXPECT_FALSE(IsLinearMap("Boosted"));
}

const std::vector<std::string> kPullColumns = {"Engine Speed", "Acceleration", "Power", "Torque"};

// A log with the named columns (a name ending in " raw" makes a raw column), one row each.
LogData Log(const std::vector<std::string>& names, const std::vector<std::vector<double>>& rows)
{
    LogData log;
    for (const std::string& name : names)
        log.Channels.push_back({name, "", name.ends_with(" raw"), 0, {}});
    for (const auto& row : rows) {
        log.Time.push_back(static_cast<double>(log.Time.size()) * 0.02);
        for (size_t i = 0; i < names.size(); ++i)
            log.Channels[i].Values.push_back(row[i]);
    }
    return log;
}

// `row` three times: the fewest samples a bin of the curve needs.
std::vector<std::vector<double>> Thrice(std::vector<std::vector<double>> rows)
{
    std::vector<std::vector<double>> out;
    for (const auto& row : rows)
        out.insert(out.end(), 3, row);
    return out;
}

std::vector<std::vector<double>> operator+(std::vector<std::vector<double>> a,
                                           const std::vector<std::vector<double>>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The curve as "rpm:power/torque" points, then "| power@rpm torque@rpm" of the peaks and
// the number of samples used; or why there is no curve.
TEST(PowerCurve, FullThrottleBinsWithTheirNeighboursGiveTheCurveAndItsPeaks)
{
    const std::string noPull =
        "No full-throttle acceleration in this log: no 100 rpm bin has 3 samples at full "
        "throttle with an acceleration above 0 and at most 1.5 g.";
    std::vector<std::string> withThrottle = kPullColumns;
    withThrottle.push_back("Throttle");
    const std::tuple<const char*, LogData, std::string> cases[] = {
        {"peaks in the middle and at the start; slowing down and standing still left out; a bin of two outvoted",
         Log(kPullColumns, Thrice({{3050, 1, 100, 500},
                                   {3150, 1, 200, 400},
                                   {3250, 1, 600, 300},
                                   {3350, 1, 200, 200},
                                   {3450, 1, 100, 100}}) +
                               std::vector<std::vector<double>>{
                                   {3250, -0.2, 999, 999}, {0, 1, 999, 999}, {3550, 1, 999, 999}, {3550, 1, 999, 999}}),
         "3050:150/450 3150:200/400 3250:200/300 3350:200/200 3450:175/175 3550:100/100 | 200@3150 450@3050 of 17"},
        {"a spike outvoted by its neighbours; the first of equal peaks",
         Log(kPullColumns, Thrice({{3050, 1, 100, 200}, {3150, 1, 400, 800}, {3250, 1, 100, 200}})),
         "3050:250/500 3150:100/200 3250:250/500 | 250@3050 500@3050 of 9"},
        {"single samples in neighbouring bins make a curve",
         Log(kPullColumns, {{3050, 1, 100, 200}, {3150, 1, 110, 220}, {3250, 1, 120, 240}}),
         "3150:110/220 | 110@3150 220@3150 of 3"},
        {"a gap: bins are not neighbours", Log(kPullColumns, Thrice({{3050, 1, 100, 200}, {3250, 1, 300, 600}})),
         "3050:100/200 3250:300/600 | 300@3250 600@3250 of 6"},
        {"median of an even count: the mean of the two middle values",
         Log(kPullColumns, {{3010, 1, 150, 300}, {3020, 1, 140, 280}, {3030, 1, 160, 320}, {3040, 1, 145, 290}}),
         "3050:147.5/295 | 147.5@3050 295@3050 of 4"},
        {"full throttle only, where the log has a throttle",
         Log(withThrottle, Thrice({{3050, 1, 100, 200, 99.6}, {3050, 1, 999, 999, 89.9}}) +
                               std::vector<std::vector<double>>{{3050, 1, 999, 999, kNaN}, {3050, 1, 100, 200, 90}}),
         "3050:100/200 | 100@3050 200@3050 of 4"},
        {"torque without values", Log(kPullColumns, Thrice({{3050, 1, 100, kNaN}, {3150, 1, 120, kNaN}})),
         "3050:110/nan 3150:110/nan | 110@3050 nan@nan of 6"},
        {"engine speed beyond reason", Log(kPullColumns, Thrice({{1e30, 0.5, 50, 80}})), noPull},
        {"a raw column is not the figure",
         Log({"Engine Speed", "Acceleration", "Power raw", "Torque"}, {{3000, 0.5, 50, 80}}),
         "No acceleration data in this log: it has no Acceleration, Power and Torque columns."},
        {"no engine speed", Log({"Road Speed", "Acceleration", "Power", "Torque"}, {{3000, 0.5, 50, 80}}),
         "No power curve for this log: it has no Engine Speed column."},
    };
    for (const auto& [name, log, expected] : cases) {
        SCOPED_TRACE(name);
        const PowerCurve curve = ComputePowerCurve(log);
        std::ostringstream text;
        for (const PowerCurvePoint& p : curve.Points)
            text << p.Rpm << ':' << p.Power << '/' << p.Torque << ' ';
        text << "| " << curve.PeakPower << '@' << curve.PeakPowerRpm << ' ' << curve.PeakTorque << '@'
             << curve.PeakTorqueRpm << " of " << curve.Samples;
        EXPECT_EQ(curve.Ok() ? text.str() : curve.Problem, expected);
    }
}

}  // namespace
}  // namespace tessek
