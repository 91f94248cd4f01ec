#include "plots/LogFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/common/TempFolder.h"

namespace tessek {
namespace {

const LogChannel* Channel(const LogData& log, const std::string& name)
{
    for (const LogChannel& c : log.Channels)
        if (c.Name == name)
            return &c;
    return nullptr;
}

// A channel's values, with the test failing when the channel is missing.
std::vector<double> Values(const LogReadResult& r, const std::string& name)
{
    const LogChannel* c = Channel(r.Data, name);
    EXPECT_NE(c, nullptr) << "no channel " << name;
    return c ? c->Values : std::vector<double>{};
}

TEST(LogFile, ReadsThisProgramsCsvWithUnitsRawColumnsAndEmptyCells)
{
    const LogReadResult r = ParseLogText(
        "Time (s),Engine Speed (rpm),Engine Speed raw,MAP (psi/-inHg),MAP raw,Acceleration (g),Torque (lb-ft)\n"
        "0.000,800,20,-12.35,40,,\n"
        "0.041,825,21,-11.90,42,0.12,\n"
        "0.083,850,22,1.20,130,0.15,180.25\n");
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Data.TimeName, "Time");
    EXPECT_EQ(r.Data.Time, (std::vector<double>{0.0, 0.041, 0.083}));
    ASSERT_EQ(r.Data.Channels.size(), 6u);
    const LogChannel& map = r.Data.Channels[2];
    EXPECT_EQ(map.Name, "MAP");
    EXPECT_EQ(map.Unit, "psi/-inHg");
    EXPECT_FALSE(map.Raw);
    EXPECT_EQ(map.Decimals, 2);
    EXPECT_EQ(map.Values, (std::vector<double>{-12.35, -11.90, 1.20}));
    const LogChannel& raw = r.Data.Channels[1];
    EXPECT_EQ(raw.Name, "Engine Speed raw");
    EXPECT_EQ(raw.Unit, "");
    EXPECT_TRUE(raw.Raw);
    // Empty cells are "no value", not 0, and are not counted as bad cells.
    const std::vector<double> torque = Values(r, "Torque");
    ASSERT_EQ(torque.size(), 3u);
    EXPECT_TRUE(std::isnan(torque[0]));
    EXPECT_TRUE(std::isnan(torque[1]));
    EXPECT_EQ(torque[2], 180.25);
    EXPECT_EQ(r.Report.RowsRead, 3u);
    EXPECT_EQ(r.Report.RowsSkipped, 0u);
    EXPECT_EQ(r.Report.CellsWithoutValue, 0u);
    EXPECT_EQ(r.Report.Summary(), "3 rows read, 0 skipped");
}

TEST(LogFile, FindsNamesUnitsAndTimeColumnInEveryAcceptedLayout)
{
    struct Case {
        const char* name;
        const char* text;
        const char* timeName;
        const char* channel;  // a channel to look at
        const char* unit;     // its unit
        std::vector<double> time, values;
    } const cases[] = {
        {"MSL: names row, units row",
         "Time\tEngine Speed\tMAP\ns\trpm\tpsi/-inHg\n0.000\t800\t-12.35\n0.041\t825\t0\n",
         "Time",
         "MAP",
         "psi/-inHg",
         {0, 0.041},
         {-12.35, 0}},
        {"MegaLogViewer banner lines before the names, time not first",
         "\"MS2Extra comms342h2\"\n\"Capture Date: Sat Dec 06 14:03:27 2026\"\nRPM\tTime\tMAP\nRPM\tsec\tkPa\n"
         "812\t0.000\t35.2\n830\t0.050\t36.0\n",
         "Time",
         "RPM",
         "RPM",
         {0, 0.05},
         {812, 830}},
        {"units in brackets, time not first",
         "Boost [kPa],Seconds,Lambda\n101.3,0.5,1.02\n150.0,1.0,0.85\n",
         "Seconds",
         "Boost",
         "kPa",
         {0.5, 1.0},
         {101.3, 150.0}},
        {"no time name: the first column is time", "t,rpm\n0,800\n1,900\n", "t", "rpm", "", {0, 1}, {800, 900}},
        {"quoted names with comma and doubled quote, quoted numbers, CRLF",
         "\"Time (s)\",\"Boost, gauge (psi)\",\"Say \"\"hi\"\"\"\r\n\"0.0\",\"-3.5\",1\r\n0.5,\" 4.25 \",2\r\n",
         "Time",
         "Boost, gauge",
         "psi",
         {0, 0.5},
         {-3.5, 4.25}},
        {"semicolon separated",
         "Time (s);Engine Speed (rpm)\n0.0;800\n0.1;900\n",
         "Time",
         "Engine Speed",
         "rpm",
         {0, 0.1},
         {800, 900}},
        {"time in ms", "Time (ms),Engine Speed\n0,800\n250,900\n", "Time", "Engine Speed", "", {0, 0.25}, {800, 900}},
        {"blank lines and a trailing separator",
         "Time,Knock,\n\n0,1.5,\n1,+2,\n\n",
         "Time",
         "Knock",
         "",
         {0, 1},
         {1.5, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LogReadResult r = ParseLogText(c.text);
        ASSERT_TRUE(r.Ok()) << r.Error;
        EXPECT_EQ(r.Data.TimeName, c.timeName);
        EXPECT_EQ(r.Data.Time, c.time);
        const LogChannel* ch = Channel(r.Data, c.channel);
        ASSERT_NE(ch, nullptr);
        EXPECT_EQ(ch->Unit, c.unit);
        EXPECT_EQ(ch->Values, c.values);
        EXPECT_EQ(r.Report.RowsSkipped, 0u);
    }
    const LogReadResult quoted = ParseLogText("\"Time (s)\",\"Say \"\"hi\"\"\"\n0,1\n");
    ASSERT_TRUE(quoted.Ok());
    EXPECT_EQ(quoted.Data.Channels[0].Name, "Say \"hi\"");
}

// A bad first row is data with a bad cell, not a units row; a banner line with as many
// fields as the data is not taken for the names.
TEST(LogFile, TellsHeaderRowsFromBadDataRows)
{
    const LogReadResult r = ParseLogText(
        "Created by,Tessek\n"
        "Time (s),Engine Speed (rpm),Power (hp)\n"
        "0.000,900,n/a\n"
        "0.050,910,nan\n"
        "0.100,920,12.5\n");
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Data.TimeName, "Time");
    ASSERT_EQ(r.Data.Channels.size(), 2u);
    EXPECT_EQ(r.Data.Channels[0].Unit, "rpm");
    EXPECT_EQ(r.Data.Channels[1].Unit, "hp");
    EXPECT_EQ(r.Data.Time, (std::vector<double>{0, 0.05, 0.1}));
    const std::vector<double> power = Values(r, "Power");
    ASSERT_EQ(power.size(), 3u);
    EXPECT_TRUE(std::isnan(power[0]));
    EXPECT_TRUE(std::isnan(power[1]));
    // "n/a" is counted, "nan" is a plain missing value.
    EXPECT_EQ(r.Report.CellsWithoutValue, 1u);
    EXPECT_EQ(r.Report.Examples, (std::vector<std::string>{"line 3: \"Power\" is not a number: \"n/a\""}));
}

TEST(LogFile, QuotedNameMayHoldALineBreak)
{
    const LogReadResult r = ParseLogText("Time,\"Two\nLines\"\n0,1\n1,2,3\n");
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Data.Channels[0].Name, "Two\nLines");
    // The names record spans lines 1-2, so the bad row is line 4.
    ASSERT_EQ(r.Report.Examples.size(), 1u);
    EXPECT_EQ(r.Report.Examples[0], "line 4: 3 fields where the names row has 2");
}

TEST(LogFile, UnclosedQuoteInADataRowEndsWithItsLine)
{
    const LogReadResult r = ParseLogText("Time,A,B\n0,1,5\n1,2,\"oops\n2,3,7\n");
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Data.Time, (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(r.Data.Channels[0].Values, (std::vector<double>{1, 2, 3}));
}

TEST(LogFile, SkipsOrBlanksBadRowsAndSaysWhereAndWhy)
{
    const LogReadResult r = ParseLogText(
        "Time (s),Engine Speed (rpm),Coolant Temp (F)\n"  // line 1
        "0.0,800,180\n"                                   // 2
        "0.1,abc,181\n"                                   // 3: kept, rpm no value
        "x,900,182\n"                                     // 4: skipped
        "0.2,900,182\n"                                   // 5
        "0.2,910,182\n"                                   // 6: repeated time, kept
        "0.15,920,183\n"                                  // 7: skipped, goes back
        ",930,183\n"                                      // 8: skipped
        "0.3,940,184,9\n"                                 // 9: skipped, extra field
        "0.4,95");                                        // 10: cut short
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Data.Time, (std::vector<double>{0.0, 0.1, 0.2, 0.2}));
    const std::vector<double> rpm = Values(r, "Engine Speed");
    ASSERT_EQ(rpm.size(), 4u);
    EXPECT_TRUE(std::isnan(rpm[1]));
    EXPECT_EQ(rpm[3], 910);
    EXPECT_EQ(r.Report.RowsRead, 4u);
    EXPECT_EQ(r.Report.RowsSkipped, 5u);
    EXPECT_EQ(r.Report.CellsWithoutValue, 1u);
    EXPECT_EQ(r.Report.RepeatedTimes, 1u);
    EXPECT_EQ(r.Report.Examples, (std::vector<std::string>{
                                     "line 3: \"Engine Speed\" is not a number: \"abc\"",
                                     "line 4: the time is not a number",
                                     "line 7: time goes back from 0.200 s to 0.150 s",
                                     "line 8: no time",
                                     "line 9: 4 fields where the names row has 3",
                                 }));
    EXPECT_EQ(r.Report.Summary(),
              "4 rows read, 5 skipped, 1 cells not a number, 1 repeated times (line 3: \"Engine Speed\" is not a "
              "number: \"abc\"; ...)");

    // The cut-short last row, on its own, and dropped quietly when the text is only the
    // first part of a longer file.
    const std::string cut = "Time,A,B\n0,1,2\n1,3,4\n2,5";
    const LogReadResult whole = ParseLogText(cut);
    EXPECT_EQ(whole.Report.RowsRead, 2u);
    EXPECT_EQ(whole.Report.Examples, (std::vector<std::string>{"line 4: only 2 of 3 fields (row cut short?)"}));
    const LogReadResult part = ParseLogText(cut, {}, true);
    EXPECT_EQ(part.Report.RowsRead, 2u);
    EXPECT_EQ(part.Report.RowsSkipped, 0u);
}

std::string EveryByte(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i % 256);
    return s;
}

TEST(LogFile, RefusesWhatIsNotALogWithAClearMessage)
{
    struct Case {
        const char* name;
        std::string text;
        const char* error;
    } const cases[] = {
        {"empty", "", "The file is empty."},
        {"only blanks and line breaks", "  \r\n\n", "The file is empty."},
        {"prose", "Dear diary,\nthe car ran well today.\n",
         "Not a data log: no row of numbers under a row of column names in the first 64 lines."},
        {"numbers without names", "1,2\n3,4\n",
         "Not a data log: no row of column names above the first row of numbers (line 1)."},
        {"a single column", "Time\n0\n1\n",
         "Not a data log: it has a single column and so nothing to show against time."},
        {"no row with a time", "Time,A\n,1\n,2\n", "Not a data log: none of its rows could be read (line 2: no time)."},
        {"names only, no samples", "Time (s),Engine Speed (rpm)\r\n",
         "The log holds no samples, only its column names."},
        {"binary: every byte value", EveryByte(4096),
         "Not a data log: no row of numbers under a row of column names in the first 64 lines."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LogReadResult r = ParseLogText(c.text);
        EXPECT_FALSE(r.Ok());
        EXPECT_EQ(r.Error, c.error);
    }
    std::string manyLines;
    for (int i = 0; i < 100; ++i)
        manyLines += "some text\n";
    manyLines += "Time,A\n0,1\n";
    EXPECT_EQ(ParseLogText(manyLines).Error,
              "Not a data log: no row of numbers under a row of column names in the first 64 lines.");
}

TEST(LogFile, ReadsFilesAndReportsWhyOneCannotBeRead)
{
    test::TempFolder dir;
    dir.Write("run.csv", "Time (s),Engine Speed (rpm)\r\n0.000,800\r\n0.041,825\r\n");
    const LogReadResult ok = ReadLogFile(dir.File("run.csv"));
    ASSERT_TRUE(ok.Ok()) << ok.Error;
    EXPECT_EQ(ok.Data.Time, (std::vector<double>{0.0, 0.041}));
    dir.Write("empty.csv", "");
    EXPECT_EQ(ReadLogFile(dir.File("empty.csv")).Error, "The file is empty.");
    EXPECT_EQ(ReadLogFile(dir.File("missing.csv")).Error,
              "Cannot open " + dir.File("missing.csv") + ": No such file or directory");
    EXPECT_EQ(ReadLogFile(dir.Path()).Error, "Not a data log: " + dir.Path() + " is not a regular file.");
}

// A 1 GiB file that is a log for its first rows and a hole after them: only the first
// part is read, the rows in it are there, and the report says the file was cut.
TEST(LogFile, HugeFileGivesItsFirstRowsAndSaysTheRestWasLeftOut)
{
    test::TempFolder dir;
    std::string head = "Time (s),Engine Speed (rpm)\n";
    for (int i = 0; i < 1000; ++i)
        head += std::to_string(i) + ".0," + std::to_string(800 + i) + "\n";
    dir.Write("huge.csv", head);
    {
        const int fd = ::open(dir.File("huge.csv").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
        ::close(fd);
    }
    LogReadLimits limits;
    limits.MaxBytes = 1 << 20;
    const LogReadResult r = ReadLogFile(dir.File("huge.csv"), limits);
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Report.RowsRead, 1000u);
    EXPECT_EQ(r.Report.RowsSkipped, 0u);
    EXPECT_EQ(r.Report.LimitNote, "Only the first 1 MiB of this 1.0 GiB file were read.");

    // The default limit takes the same path with its own figure.
    const LogReadResult byDefault = ReadLogFile(dir.File("huge.csv"));
    EXPECT_EQ(byDefault.Report.RowsRead, 1000u);
    EXPECT_EQ(byDefault.Report.LimitNote, "Only the first 128 MiB of this 1.0 GiB file were read.");
}

TEST(LogFile, StopsAtTheValueLimit)
{
    std::string text = "Time,A,B,C\n";
    for (int i = 0; i < 100; ++i)
        text += std::to_string(i) + ",1,2,3\n";
    LogReadLimits limits;
    limits.MaxCells = 4 * 25 + 3;
    const LogReadResult r = ParseLogText(text, limits);
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(r.Data.Time.size(), 25u);
    EXPECT_EQ(r.Data.Channels[2].Values.size(), 25u);
    EXPECT_EQ(r.Report.LimitNote, "Only the first 25 rows were loaded (the viewer keeps at most 103 values).");
}

}  // namespace
}  // namespace tessek
