// What the Reports window shows and the report files hold: fault flags split into code
// and meaning, the adaptive grid's cells, ranges, trims and colours, and the saved files.
#include "platform/IniFile.h"
#include "reports/ReportReadings.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace tessek {
namespace {

// Each set flag as "code|meaning|flag", in the report's order.
TEST(FaultEntries, EachSetFlagSplitsIntoCodeMeaningAndFlagInReportOrder)
{
    const auto entries = [](const std::array<uint8_t, 4>& bytes) {
        std::vector<std::string> out;
        for (const FaultEntry& entry : SetFaults(bytes))
            out.push_back(entry.Code + "|" + entry.Meaning + "|" + entry.Flag);
        return out;
    };
    EXPECT_EQ(entries({0x01, 0x00, 0x80, 0x01}),
              (std::vector<std::string>{"|Distributor Sync|FaultCode1 $01", "22|Coolant Temp Sensor|FaultCode3 $80",
                                        "21?|Oxygen Sensor|FaultCode4 $01"}));  // the LM's own doubt is kept
    EXPECT_TRUE(entries({0, 0, 0, 0}).empty());
}

TEST(AdaptiveGrid, BreakpointsComeFromTheirOwnSectionOfTheSettingsFile)
{
    const struct {
        const char* name;
        const char* ini;
        std::array<std::string, 2> rpm;
        std::array<std::string, 6> map;
    } rows[] = {
        {"no section", "[ComPort]\r\nPort=SIM\r\n", {"RPM 0", "R1"}, {"MAP 0", "MP1", "MP2", "MP3", "MP4", "MP5"}},
        {"every key, any letter case",
         "[adaptivegrid]\r\nrpm0=0 rpm\r\nR1=2000 rpm\r\nMap0=-20 inHg\r\nMP1=-10 inHg\r\nMP2=-5 inHg\r\n"
         "MP3=0 psi\r\nMP4=3 psi\r\nmp5=6 psi\r\n",
         {"0 rpm", "2000 rpm"},
         {"-20 inHg", "-10 inHg", "-5 inHg", "0 psi", "3 psi", "6 psi"}},
        {"blank and padded values, a long one cut",
         "[AdaptiveGrid]\r\nR1=   \r\nMP2=  7 psi \r\nMP3=a breakpoint far too long\r\n"
         "MP4=12 psi of boost here\r\n",
         {"RPM 0", "R1"},
         {"MAP 0", "MP1", "7 psi", "a breakpoint far", "12 psi of boost", "MP5"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempFolder dir;
        dir.Write("Tessek.ini", row.ini);
        const AdaptiveBreakpoints points = LoadAdaptiveBreakpoints(IniFile(dir.File("Tessek.ini")));
        EXPECT_EQ(points.Rpm, row.rpm);
        EXPECT_EQ(points.Map, row.map);
    }
}

TEST(AdaptiveGrid, TrimsAndColours)
{
    const struct {
        uint8_t raw;
        double percent;
        const char* text;
        CellColour colour;
    } rows[] = {
        {0x80, 0.0, "0.0 %", {255, 255, 255}},        // no correction: white
        {0x7F, -0.78125, "-0.8 %", {250, 252, 255}},  // lean by one step: a hint of blue
        {0x70, -12.5, "-12.5 %", {178, 203, 255}},    // half way to full colour (+12.5 %: the Reports window's test)
        {0xA0, 25.0, "+25.0 %", {255, 120, 100}},     // full colour from 25 % on
        {0x00, -100.0, "-100.0 %", {100, 150, 255}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_DOUBLE_EQ(FuelTrimPercent(row.raw), row.percent);
        EXPECT_EQ(FuelTrimText(row.raw), row.text);
        EXPECT_EQ(TrimColour(row.raw), row.colour);
    }
}

AdaptivesReading ExampleAdaptives()
{
    AdaptivesReading reading;
    reading.ReadAtText = "5/12/2026 13:07:24";
    reading.Idle = 0x7D;
    reading.Cells = {0x80, 0x7E, 0x83, 0x80, 0x7B, 0x85, 0x80, 0x80, 0x90, 0x6F, 0x80, 0x81};
    return reading;
}

TEST(ReportFiles, TextsAreTheReportLinesWithTheirDate)
{
    EXPECT_EQ(AdaptivesText(ExampleAdaptives()),
              "Adaptives Report   5/12/2026 13:07:24\r\n"
              "--------------------------------------------------------------------- \r\n"
              " Adaptive Idle Cell (12) = lean 7D\r\n"
              " \r\n"
              "      +---------+---------+---------+---------+---------+---------+\r\n"
              "      | lean 7E | rich 80 | rich 85 | rich 80 | lean 6F | rich 81 |\r\n"
              "  R1  +---------+---------+---------+---------+---------+---------+\r\n"
              "      | rich 80 | rich 83 | lean 7B | rich 80 | rich 90 | rich 80 |\r\n"
              "RPM 0 +---------+---------+---------+---------+---------+---------+\r\n"
              "  MAP 0        MP1       MP2       MP3       MP4       MP5\r\n");
    FaultCodesReading codes;
    codes.ReadAtText = "5/12/2026 13:07:24";
    codes.Bytes = {0x05, 0x00, 0x80, 0x00};
    EXPECT_EQ(FaultCodesText(codes),
              "Fault codes read 5/12/2026 13:07:24\r\n05   00000101\r\nFaultCode1\r\n0 $01 = Distributor Sync\r\n"
              "2 $04 = Rich Condition, Code 52\r\n00   00000000\r\nFaultCode2\r\n80   10000000\r\nFaultCode3\r\n"
              "7 $80 = Coolant Temp Sensor, Code 22\r\n00   00000000\r\nFaultCode4\r\n");
}

TEST(ReportFiles, CsvKeepsEveryByteAndQuotesWhatNeedsIt)
{
    FaultCodesReading codes;
    codes.ReadAtText = "12.5.2026, 13:07:24";  // a date format with a comma
    codes.Bytes = {0x00, 0x00, 0x40, 0x00};
    EXPECT_EQ(FaultCodesCsv(codes),
              "Read at,Byte,Address,Value,Bit,Mask,Code,Meaning\r\n"
              "\"12.5.2026, 13:07:24\",FaultCode1,46,00,,,,\r\n"
              "\"12.5.2026, 13:07:24\",FaultCode2,47,00,,,,\r\n"
              "\"12.5.2026, 13:07:24\",FaultCode3,48,40,6,40,23,Charge Temp Sensor\r\n"
              "\"12.5.2026, 13:07:24\",FaultCode4,49,00,,,,\r\n");

    const std::string csv = AdaptivesCsv(ExampleAdaptives());
    EXPECT_EQ(csv.substr(0, csv.find("\r\n", csv.find("\r\n") + 2) + 2),
              "Read at,Cell,Address,Engine speed,MAP,Value,Fuel trim (%)\r\n"
              "5/12/2026 13:07:24,0,50,RPM 0 to R1,MAP 0 to MP1,80,0.0\r\n");
    EXPECT_NE(csv.find("5/12/2026 13:07:24,9,59,R1 and up,MP4 to MP5,6F,-13.3\r\n"), std::string::npos);
    EXPECT_EQ(csv.substr(csv.rfind("\r\n", csv.size() - 3) + 2), "5/12/2026 13:07:24,12,5C,idle,,7D,-2.3\r\n");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 14);

    // The ranges are named by the breakpoints the reading carries.
    AdaptivesReading named = ExampleAdaptives();
    named.Points.Rpm[1] = "2000 rpm";
    named.Points.Map[5] = "5 psi";
    EXPECT_NE(AdaptivesCsv(named).find(",9,59,2000 rpm and up,MP4 to 5 psi,6F,"), std::string::npos);
}

TEST(ReportFiles, SavedBesideTheDataLogsNeverOverAnother)
{
    test::TempFolder dir;
    const auto at = std::chrono::system_clock::now();
    // (In logs/, the text as given: the Reports window's test.)
    const auto first = SaveReportFiles(dir.Path(), "codes", at, "text\r\n", "a,b\r\n");
    EXPECT_EQ(first[0].substr(first[0].size() - 10), "_codes.txt");
    EXPECT_EQ(first[1].substr(0, first[1].size() - 4), first[0].substr(0, first[0].size() - 4));
    EXPECT_EQ(dir.Read(first[1].substr(dir.Path().size())), "a,b\r\n");

    // The same second again: "_2"; the first pair is left as it was.
    const auto second = SaveReportFiles(dir.Path(), "codes", at, "other\r\n", "c\r\n");
    EXPECT_EQ(second[0], first[0].substr(0, first[0].size() - 4) + "_2.txt");
    EXPECT_EQ(dir.Read(first[0].substr(dir.Path().size())), "text\r\n");
    // Another kind in the same second has names of its own.
    EXPECT_TRUE(SaveReportFiles(dir.Path(), "adaptives", at, "", "")[0].ends_with("_adaptives.txt"));
    // (A logs folder that cannot be made: tests/reports/CommandsTest.cpp.)
}

}  // namespace
}  // namespace tessek
