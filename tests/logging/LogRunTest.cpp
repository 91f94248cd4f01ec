// The logging run with the fake command host (the LM and the clock scripted), and the
// data log files: names, header rows, numbers in any locale, failures, and a writer
// killed in the middle of a run. The run through the main window is tested with the
// other commands (tests/reports/CommandsTest.cpp).
#include "logfiles/DataLog.h"
#include "logging/LogRun.h"
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "logging/RunColumns.h"
#include "platform/BuildInfo.h"
#include "platform/FileIo.h"
#include "platform/Hex.h"
#include "platform/IniFile.h"
#include "platform/MemoLines.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/FakeCommandHost.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <locale>
#include <sstream>
#include <tuple>

namespace tessek {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// The files of a run started at 2026-12-06 14:03:27 local time.
const std::string kStem = "logs/2026-12-06_14-03-27";
std::chrono::system_clock::time_point StartTime()
{
    std::tm local{};
    std::istringstream("2026-12-06 14:03:27") >> std::get_time(&local, "%Y-%m-%d %H:%M:%S");
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

// A writer of one throttle column whose problem reports are collected.
struct Writer {
    explicit Writer(const std::string& folder, DataLogWriter::WriteFunction write = {},
                    DataLogWriter::SyncFunction sync = {})
        : log(folder, std::move(write), std::move(sync))
    {
        log.OnProblem = [this](const std::string& message) { problems.push_back(message); };
    }
    void Run(int samples, bool end = true)
    {
        log.RunStarted({{"Throttle", "%", 1, true}}, StartTime());
        for (int t = 0; t < samples; ++t)
            log.SampleLogged(MakeRunSample(
                t, {SlotReading{DecodeValue(ParameterFor(kTpsAddress), 0x80, 0, {}), 0, t / 1000.0}}, false, {}, 1));
        if (end)
            log.RunEnded();
    }
    DataLogWriter log;
    std::vector<std::string> problems;
};

// The CSV file of a throttle run of `samples` rows.
std::string ThrottleCsv(int samples)
{
    std::string csv = "Time (s),Throttle (%),Throttle raw,Marker,Marker text\r\n";
    for (int t = 0; t < samples; ++t)
        csv += "0.00" + std::to_string(t) + ",50.0,128,,\r\n";
    return csv;
}

// A "press of Log" is a second run's StartOrStop, as the button does it; the fake host
// answers from its memory, and its clock moves only with the exchanges.
class Logging : public ::testing::Test {
protected:
    // The run reads the clock at its start and once per sample; the read that takes
    // ticksLeft to 0 finds Log pressed.
    struct Host : test::FakeCommandHost {
        uint32_t TickCount() override
        {
            if (--ticksLeft == 0)
                SetBusy(false);
            return FakeCommandHost::TickCount();
        }
        int ticksLeft = 0;
    };

    Logging() { host.Folder = folder.Path(); }
    void Press() { LogRun(host, settings, ini, {}, state, observers).StartOrStop(); }
    int32_t SaveNum() { return IniFile(folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0); }
    std::string Read(const std::string& path) { return folder.Read(path.substr(folder.Path().size())); }
    // A run of engine and road speed (2000 rpm) with performance figures, into a data log.
    void SpeedRun()
    {
        settings.LogAddrs[1] = 0x8F;
        settings.LogAddrs[2] = 0x69;
        settings.Performance = true;
        observers = {&dataLog};
        host.Memory[0x90] = 0x40, host.Memory[0x8F] = 0x1F;
    }

    test::TempFolder folder;
    Host host;
    LoggingSettings settings;
    IniFile ini{folder.File("Tessek.ini")};
    LogRunState state;
    std::vector<RunObserver*> observers;
    DataLogWriter dataLog{folder.Path()};
};

// Every entry of the catalogue, in order, through its row of the parameter table, against
// values worked out by hand: its line in the catalogue, what it asks the LM for, the text,
// the number and raw value of its data log column and the column's name. Each address
// answers a byte of its own, so a row that asks for the wrong address or an address that
// falls to the wrong row shows.
TEST_F(Logging, EveryCatalogueEntryDecodesThroughItsRowAsWorkedOutByHand)
{
    // Address, the catalogue's text, the replies (address, byte) in request order, the line's
    // text, the value and raw value, the column.
    const std::tuple<uint8_t, std::string, std::vector<std::pair<uint8_t, uint8_t>>, std::string, std::optional<double>,
                     int32_t, std::string>
        rows[] = {
            {0x12, "Skip value", {}, "", std::nullopt, 0, ""},
            {0x5D, "Charge Air Temp", {{0x5D, 0x59}}, "130.0F (59) ", 130.0, 0x59, "Charge Air Temp (F)"},
            {0x69, "MPH", {{0x6A, 0x40}, {0x69, 0x0A}}, " 41.00mph ", 41.0, 2624, "Road Speed (mph)"},
            {0x72, "SPK Advance", {{0x72, 0x25}}, "18.5deg ", 18.5, 0x25, "Spark Advance (deg)"},
            {0x73, "Baro", {{0x73, 0x55}}, " 55 ", 85, 85, "Baro"},
            {0x81, "Throttle Flg", {{0x81, 0x01}}, " 01 ", 1, 1, "Throttle Flg"},
            {0x86, "MAP", {{0x86, 0x62}}, " 2.24psi ", 2.24, 0x62, "MAP (psi/-inHg)"},  // (98 - 85) * 0.172266
            {0x8F, "RPM", {{0x90, 0x10}, {0x8F, 0x0C}}, " 772rpm ", 772, 3088, "Engine Speed (rpm)"},
            {0x98, "TPS%", {{0x98, 0xE6}}, " 89.8% ", 89.8, 0xE6, "Throttle (%)"},
            {0x9A, "Coolant Temp", {{0x9A, 0x9A}}, "131.9F (9A) ", 131.9, 0x9A, "Coolant Temp (F)"},
            {0x9B, "Raw Batt Temp", {{0x9B, 0x6E}}, " 6E ", 110, 110, "Raw Batt Temp"},
            {0x9C, "O2", {{0x9C, 0x17}}, "0.491v(17) ", 0.491, 0x17, "O2 (v)"},
            // 215 - 22 * 1.34921
            {0x9D, "Raw Charge Temp", {{0x9D, 0x30}}, "185.3F (30) ", 185.3, 0x30, "Raw Charge Temp (F)"},
            {0xA0, "Knock", {{0xA0, 0x48}}, "1.41v ", 1.41, 0x48, "Knock (v)"},
            {0xCE, "Cyl 1 Retard", {{0xCE, 0x08}}, " 4deg ", 4, 0x08, "Cyl 1 Retard (deg)"},
            {0xCF, "Cyl 2 Retard", {{0xCF, 0x0A}}, " 5deg ", 5, 0x0A, "Cyl 2 Retard (deg)"},
            {0xD0, "Cyl 3 Retard", {{0xD0, 0x47}}, " 3deg ", 3, 0x47, "Cyl 3 Retard (deg)"},  // six bits: 07, halved
            {0xD1, "Cyl 4 Retard", {{0xD1, 0xD3}}, " 9deg ", 9, 0xD3, "Cyl 4 Retard (deg)"},
            {0xDD, "(DTLKNK)", {{0xDD, 0x0C}}, " 0C ", 12, 12, "(DTLKNK)"},
        };
    const Catalogue catalogue;
    const DisplayTextLookup displayText = [&](const std::string& name) { return catalogue.DisplayText(name); };
    ASSERT_EQ(std::size(rows), static_cast<size_t>(catalogue.Count()));
    state.BaroRef = 85;
    LogRun run(host, settings, ini, displayText, state);
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& [address, name, replies, text, value, raw, column] = rows[i];
        SCOPED_TRACE(catalogue.Lines()[i]);
        ASSERT_EQ(catalogue.Lines()[i], "$" + ByteToHex(address) + "=" + name);
        host.Memory.fill(0xEE);
        std::vector<uint8_t> asked;
        for (const auto& [at, reply] : replies) {
            host.Memory[at] = reply;
            asked.push_back(at);
        }
        host.Asked.clear();
        std::string line;
        const std::optional<SlotReading> slot = run.DecodeSlot(address, line);
        const DecodedValue* decoded = slot && slot->Value ? &*slot->Value : nullptr;
        EXPECT_EQ(host.Asked, asked);
        EXPECT_EQ(line, text);
        EXPECT_EQ(decoded ? std::optional(decoded->Value) : std::nullopt, value);
        EXPECT_EQ(decoded ? decoded->Raw : 0, raw);
        const std::vector<RunColumn> columns = RunColumnsFor(std::vector<uint8_t>{address}, displayText, false);
        EXPECT_EQ(
            columns.empty() ? "" : columns[0].Name + (columns[0].Unit.empty() ? "" : " (" + columns[0].Unit + ")"),
            column);
    }
    // A repeated address numbers its columns, MAP's linear ones too; without a name to look
    // up, an address outside the decoders is named by itself.
    std::string names;
    for (const RunColumn& column : RunColumnsFor(std::vector<uint8_t>{0x86, 0x86, 0x73}, {}, false))
        names += column.Name + " (" + column.Unit + (column.HasRaw ? ") raw, " : "), ");
    EXPECT_EQ(names,
              "MAP (psi/-inHg) raw, Boost (psi), MAP abs (kPa), MAP 2 (psi/-inHg) raw, Boost 2 (psi), "
              "MAP abs 2 (kPa), $73 (), ");
}

TEST_F(Logging, AnAllSkippedRunIsPacedAndAsksForNothingPerSample)
{
    host.ticksLeft = 6;  // the start, then five samples, the fifth stopped
    Press();
    EXPECT_EQ(host.Asked, (std::vector<uint8_t>{0x73, 0x9A, 0x12}));  // the header's requests only
    const auto lines = host.Memo.Lines();
    EXPECT_EQ(std::vector(lines.begin() + 3, lines.end()),
              (std::vector<std::string>{"  0.000 ", "  0.010 ", "  0.020 ", "  0.030 ", "Done Logging"}));
}

// Two samples and a third that Log stops in its last slot (the sample goes no further), with
// the "Sample Rate" item changed during the run.
TEST_F(Logging, SamplesWithPerformanceFiguresInTheLinesAndTheDataLog)
{
    SpeedRun();
    host.Memory[0x6A] = 0x80, host.Memory[0x69] = 0x0C;
    host.Now = 0xFFFFFFF0;  // the tick counter wraps during the run
    host.SampleRate = 0;
    host.OnExchange = [this](int n) {
        if (n == 5)
            host.SampleRate = 3;
        if (n == 7)  // the second sample reads 2256 rpm and 50.25 mph
            host.Memory[0x8F] = 0x23, host.Memory[0x6A] = 0x90;
        if (n == 11)  // the third, dropped sample reads 58 mph
            host.Memory[0x69] = 0x0E;
        if (n == 3 + 4 + 4 + 4)  // the third sample's last slot
            Press();
    };
    Press();
    EXPECT_EQ(host.Asked, (std::vector<uint8_t>{0x73, 0x9A, 0x12, 0x90, 0x8F, 0x6A, 0x69, 0x90, 0x8F, 0x6A, 0x69, 0x90,
                                                0x8F, 0x6A, 0x69}));
    // Each request waits for the replies the item asks for at that very request; the extra
    // handshake byte after the header always waits for 2.
    EXPECT_EQ(host.Replies, (std::vector<int>{1, 1, 2, 1, 1, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}));
    EXPECT_EQ(host.Status, "Connected");
    const auto lines = host.Memo.Lines();
    ASSERT_EQ(lines.size(), 7u);
    // The first sample has T = 0: no figures, but it becomes the previous sample.
    EXPECT_EQ(lines[3], "  0.000 2000rpm  50.00mph ");
    EXPECT_EQ(lines[4], "  0.020 2256rpm  50.25mph  0.57G  191.93HP  473.51lb/ft ");
    EXPECT_EQ(Read(dataLog.CsvPath()),
              "Time (s),Engine Speed (rpm),Engine Speed raw,Road Speed (mph),Road Speed raw,Acceleration (g),"
              "Power (hp),Torque (lb-ft),Marker,Marker text\r\n0.000,2000,8000,50.00,3200,,,,,\r\n"
              "0.020,2256,9024,50.25,3216,0.57,191.93,473.51,,\r\n");
    // The MSL file leaves a cell empty where the line has no figure, as the CSV does, and
    // ends with the count of answers the LM did not give.
    const std::string msl = Read(dataLog.MslPath());
    EXPECT_EQ(msl.substr(msl.find("\r\nTime") + 2),
              "Time\tEngine Speed\tEngine Speed raw\tRoad Speed\tRoad Speed raw\tAcceleration\tPower\tTorque\r\n"
              "s\trpm\t\tmph\t\tg\thp\tlb-ft\r\n0.000\t2000\t8000\t50.00\t3200\t\t\t\r\n"
              "0.020\t2256\t9024\t50.25\t3216\t0.57\t191.93\t473.51\r\n# Missed answers: 0 of 8 requests\r\n");
}

// Road speed is read in two exchanges (6A, then 69): a speed that crosses a multiple of
// 256 raw steps between them is read 256 steps off. Logged raw, a session went 2570, 2306,
// 2554: the torn sample and the one after it get no figures, and the run goes on with
// figures from the next sample. The first sample (T = 1 ms) compares with 0 mph left from
// start-up and gets none either; every sample still becomes the previous one.
TEST_F(Logging, ATornRoadSpeedAndTheFirstSampleOfARunGetNoFigures)
{
    SpeedRun();
    host.MsPerTickRead = 1;
    host.ticksLeft = 7;  // the start, five samples, then Log is pressed
    const int roadSpeedRaw[] = {2560, 2570, 2306, 2554, 2580, 2580};
    // Before each sample (after the header's 3 exchanges, then every 4) its road speed.
    host.OnExchange = [&](int n) {
        if (n >= 3 && n % 4 == 3) {
            const int raw = roadSpeedRaw[(n - 3) / 4];
            host.Memory[kMphHiAddress] = static_cast<uint8_t>(raw >> 8);
            host.Memory[kMphLoAddress] = static_cast<uint8_t>(raw & 0xFF);
        }
    };
    Press();
    const auto lines = host.Memo.Lines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(std::vector(lines.begin() + 3, lines.end()),
              (std::vector<std::string>{"  0.001 2000rpm  40.00mph ",
                                        "  0.022 2000rpm  40.16mph  0.34G   91.29HP  239.65lb/ft ",
                                        "  0.043 2000rpm  36.03mph ", "  0.064 2000rpm  39.91mph ",
                                        "  0.085 2000rpm  40.31mph  0.89G  238.29HP  625.51lb/ft ", "Done Logging"}));
    EXPECT_EQ(state.PrevMph, 2580 / 64.0f);
    const std::string csv = Read(dataLog.CsvPath());
    EXPECT_EQ(csv.substr(csv.find("\r\n") + 2),
              "0.001,2000,8000,40.00,2560,,,,,\r\n0.022,2000,8000,40.16,2570,0.34,91.29,239.65,,\r\n"
              "0.043,2000,8000,36.03,2306,,,,,\r\n0.064,2000,8000,39.91,2554,,,,,\r\n"
              "0.085,2000,8000,40.31,2580,0.89,238.29,625.51,,\r\n");
}

// Marks set during a run: numbered 1, 2, ... within each run, each carried by the next
// sample row of both data logs (one per row, a second one waits for the row after); outside
// a run a mark does nothing. The window's text has no trace of them.
TEST_F(Logging, MarkersGoIntoTheNextSampleRowsOfBothDataLogsNumberedPerRun)
{
    settings.LogAddrs[1] = 0x98;
    host.Memory[0x98] = 0x80;
    observers = {&dataLog};
    std::vector<std::optional<int>> numbers;
    // Exchanges 1 to 3 are the header's; sample k asks in exchange 3 + k.
    LogRun run(host, settings, ini, {}, state, observers);
    EXPECT_EQ(run.Mark("Manual"), std::nullopt);
    host.OnExchange = [&](int n) {
        if (n == 2 || n == 4 || n == 6)  // at 2 the run is on, and the first sample takes it
            numbers.push_back(run.Mark("Manual"));
        if (n == 6)
            numbers.push_back(run.Mark("Cyl 1 Retard 3 deg over 0 deg\tand a tab"));
        if (n == 9)  // stops the sixth sample: five rows
            Press();
    };
    run.StartOrStop();
    EXPECT_EQ(run.Mark("Manual"), std::nullopt);
    EXPECT_EQ(numbers, (std::vector<std::optional<int>>{1, 2, 3, 4}));

    const auto lines = [&](const std::string& path) {
        std::vector<std::string> out;
        std::istringstream in(Read(path));
        for (std::string line; std::getline(in, line);)
            out.push_back(line.substr(line.find(',') + 1));  // a CSV row without its time
        return out;
    };
    EXPECT_EQ(lines(dataLog.CsvPath()),
              (std::vector<std::string>{"Throttle (%),Throttle raw,Marker,Marker text\r", "50.0,128,1,Manual\r",
                                        "50.0,128,2,Manual\r", "50.0,128,3,Manual\r",
                                        "50.0,128,4,Cyl 1 Retard 3 deg over 0 deg\tand a tab\r", "50.0,128,,\r"}));
    const auto msl = lines(dataLog.MslPath());
    std::vector<std::string> shape;          // the MARK lines, and "row" for each sample row
    for (size_t i = 4; i < msl.size(); ++i)  // after the two quoted lines, the names and the units
        shape.push_back(msl[i].starts_with("MARK") ? msl[i] : msl[i].starts_with("#") ? "count" : "row");
    EXPECT_EQ(shape, (std::vector<std::string>{
                         "MARK 001 - Manual\r", "row", "MARK 002 - Manual\r", "row", "MARK 003 - Manual\r", "row",
                         "MARK 004 - Cyl 1 Retard 3 deg over 0 deg and a tab\r", "row", "row", "count"}));
    EXPECT_THAT(host.MemoText(), ::testing::Not(HasSubstr("MARK")));

    // The next run numbers from 1 again.
    LogRun second(host, settings, ini, {}, state, observers);
    host.OnExchange = [&](int n) {
        if (n == 4) {
            EXPECT_EQ(second.Mark("Manual"), 1);
        }
        if (n == 5)
            Press();
    };
    host.Asked.clear();  // the exchanges are counted from 1 again
    second.StartOrStop();
    EXPECT_EQ(lines(dataLog.CsvPath()).at(1), "50.0,128,1,Manual\r");
}

// The automatic log's number: never below 1, never a name already taken, and at the
// largest number the run stops numbering with a clear message instead of overflowing.
TEST_F(Logging, AutomaticLogsTakeTheNextFreeNumberAndAreNeverWrittenOver)
{
    constexpr int32_t kMax = 2147483647;
    for (const char* name : {"TempLog1.txt", "TempLog2.txt", "TempLog4.txt"})
        folder.Write(name, name);
    settings.LogAddrs[1] = 0xA0;
    const auto log = [this] {
        host.Asked.clear();
        host.OnExchange = [this](int n) {
            if (n == 4)  // the first sample's request
                Press();
        };
        Press();
    };
    // A link planted at the next name, pointing nowhere, is passed over, not written
    // through.
    settings.SaveNum = 7;
    std::filesystem::create_symlink(folder.File("planted.txt"), folder.File("TempLog7.txt"));
    log();
    EXPECT_EQ(folder.Read("TempLog8.txt"), host.MemoText());
    EXPECT_FALSE(folder.Exists("planted.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.File("TempLog7.txt")));
    EXPECT_EQ(SaveNum(), 9);
    const std::tuple<int32_t, const char*, int32_t> rows[] = {{0, "TempLog3.txt", 4},
                                                              {-5, "TempLog5.txt", 6},
                                                              {kMax - 1, "TempLog2147483646.txt", kMax},
                                                              {kMax, "TempLog2147483647.txt", kMax}};
    for (const auto& [saveNum, file, next] : rows) {
        SCOPED_TRACE(saveNum);
        settings.SaveNum = saveNum;
        log();
        EXPECT_EQ(folder.Read(file), host.MemoText());
        EXPECT_EQ(settings.SaveNum, next);
        EXPECT_EQ(SaveNum(), next);
    }
    for (const char* name : {"TempLog1.txt", "TempLog2.txt", "TempLog4.txt"})
        EXPECT_EQ(folder.Read(name), name);
    folder.Write("TempLog2147483647.txt", "kept");
    EXPECT_THAT(log, ThrowsMessage<std::runtime_error>(HasSubstr("TempLog2147483647.txt")));
    EXPECT_EQ(folder.Read("TempLog2147483647.txt"), "kept");
    EXPECT_EQ(SaveNum(), kMax);
    EXPECT_TRUE(state.Unsaved);  // the text is kept until saved or discarded

    // A port error ends a run whose log cannot be saved: the failed save is shown first,
    // and its number stays free.
    test::ErrorRecorder errors;
    host.Folder = folder.File("missing/");
    settings.SaveNum = 7;
    host.Asked.clear();
    host.OnExchange = [](int n) {
        if (n == 5)
            throw EComPort(kErrThreadCreated, 5);
    };
    EXPECT_THROW(Press(), EComPort);
    EXPECT_THAT(errors.messages, ElementsAre(HasSubstr(folder.File("missing/TempLog7.txt"))));
    EXPECT_EQ(settings.SaveNum, 7);
    EXPECT_TRUE(state.Unsaved);
    EXPECT_TRUE(host.Busy());
}

TEST_F(Logging, ATakenDataLogNameGetsTheNextSuffixAndNamesAreQuotedOnlyWhereNeeded)
{
    const std::vector<RunColumn> columns = {{"Plain", "x", 1, false},
                                            {"Comma, inside", "u", 0, false},
                                            {"Say \"hi\"", "", 0, false},
                                            {"Two\nlines", "a\tb", 0, true},
                                            {"Unit", "a,b", 0, false}};
    Writer writer(folder.Path());
    const auto run = [&] {
        writer.log.RunStarted(columns, StartTime());
        writer.log.RunEnded();
        return std::make_pair(writer.log.CsvPath(), writer.log.MslPath());
    };
    EXPECT_EQ(run(), std::make_pair(folder.File(kStem + ".csv"), folder.File(kStem + ".msl")));
    EXPECT_EQ(run(), std::make_pair(folder.File(kStem + "_2.csv"), folder.File(kStem + "_2.msl")));
    // A name is taken when either of its files exists; the other one is not left behind.
    folder.Write(kStem + "_3.msl", "someone else's");
    EXPECT_EQ(run(), std::make_pair(folder.File(kStem + "_4.csv"), folder.File(kStem + "_4.msl")));
    EXPECT_EQ(folder.Read(kStem + "_3.msl"), "someone else's");
    EXPECT_FALSE(folder.Exists(kStem + "_3.csv"));
    // The CSV quotes a name only where it must; the MSL keeps each name and unit on one cell.
    EXPECT_EQ(folder.Read(kStem + ".csv"),
              "Time (s),Plain (x),\"Comma, inside (u)\",\"Say \"\"hi\"\"\",\"Two\nlines (a\tb)\",\"Two\nlines raw\","
              "\"Unit (a,b)\",Marker,Marker text\r\n");
    // The MSL starts with the two quoted lines of the common tuning tools' files.
    EXPECT_EQ(
        folder.Read(kStem + ".msl"),
        std::string("\"Tessek ") + kVersion +
            "\"\r\n\"Capture Date: Sun Dec 06 14:03:27 2026\"\r\n"
            "Time\tPlain\tComma, inside\tSay \"hi\"\tTwo lines\tTwo lines raw\tUnit\r\ns\tx\tu\t\ta b\t\ta,b\r\n");
    EXPECT_TRUE(writer.problems.empty());
}

// With metric units chosen in the program folder's Tessek.ini, a new data log has metric
// units and values (the raw replies as they are); the window's line stays as it is.
TEST_F(Logging, ADataLogOfAMetricUserHasMetricUnits)
{
    folder.Write("Tessek.ini", "[Units]\nSystem=Metric\n");
    DataLogWriter writer(folder.Path());
    writer.RunStarted({{"Road Speed", "mph", 2, true},
                       {"Coolant Temp", "F", 1, true},
                       {"Boost", "psi", 2, false},
                       {"Acceleration", "g", 2, false},
                       {"Power", "hp", 2, false},
                       {"Torque", "lb-ft", 2, false}},
                      StartTime());
    RunSample sample;
    sample.Values = {50.0, 32.0, 12.06, 0.57, 191.93, 473.51};
    sample.Raw = {3200, 92, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
    writer.SampleLogged(sample);
    writer.RunEnded();
    EXPECT_EQ(folder.Read(kStem + ".csv"),
              "Time (s),Road Speed (km/h),Road Speed raw,Coolant Temp (°C),Coolant Temp raw,Boost (kPa),"
              "Acceleration (g),Power (kW),Torque (N·m),Marker,Marker "
              "text\r\n0.000,80.47,3200,0.0,92,83.15,0.57,143.12,641.99,,"
              "\r\n");
    EXPECT_THAT(folder.Read(kStem + ".msl"), HasSubstr("\r\ns\tkm/h\t\t°C\t\tkPa\tg\tkW\tN·m\r\n"));
}

struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\1"; }
};

TEST_F(Logging, DataLogNumbersKeepTheirPointInACommaDecimalLocale)
{
    const std::string cLocale = std::setlocale(LC_ALL, nullptr);
    // The locale owns its facet.
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaDecimal));
    Writer(folder.Path()).Run(3);
    std::locale::global(previous);  // as a named locale, this sets C's locale as well
    std::setlocale(LC_ALL, cLocale.c_str());
    EXPECT_EQ(folder.Read(kStem + ".csv"), ThrottleCsv(3));
}

// A file that cannot be made or written is reported once, and the run goes on.
TEST_F(Logging, ADataLogThatCannotBeWrittenIsReportedOnceAndTheRunGoesOn)
{
    folder.Write("file", "");
    for (const std::string reason : {"missing/logs: No such file or directory", "file/logs: Not a directory"}) {
        SCOPED_TRACE(reason);
        Writer writer(folder.File(reason.substr(0, reason.find('/'))));
        writer.Run(1);
        EXPECT_EQ(writer.problems, std::vector<std::string>{"Data log not written: " + folder.File(reason)});
        EXPECT_EQ(writer.log.CsvPath(), "");
    }
    // A full disk: the CSV's device (the rows with commas) takes its header and two rows
    // and then five bytes of the third, and a signal interrupts its first write once. The
    // file is cut back to its last complete row; every write is offered whole rows.
    size_t room = ThrottleCsv(2).size() + 5;
    bool interrupted = false;
    bool wholeRows = true;
    const auto write = [&](int fd, const char* data, size_t size) -> ssize_t {
        wholeRows = wholeRows && std::string_view(data, size).ends_with("\r\n");
        if (std::string_view(data, size).find(',') == std::string_view::npos)
            return ::write(fd, data, size);
        errno = std::exchange(interrupted, true) ? ENOSPC : EINTR;
        if (errno == EINTR || room == 0)
            return -1;
        const ssize_t n = ::write(fd, data, std::min(size, room));
        room -= static_cast<size_t>(std::max<ssize_t>(n, 0));
        return n;
    };
    Writer writer(folder.Path(), write);
    writer.Run(5);
    EXPECT_EQ(folder.Read(kStem + ".csv"), ThrottleCsv(2));
    EXPECT_THAT(folder.Read(kStem + ".msl"), HasSubstr("\r\n0.004\t50.0\t128\r\n"));
    EXPECT_EQ(writer.problems, std::vector<std::string>{"Data log not written: " + folder.File(kStem + ".csv") +
                                                        ": No space left on device"});
    EXPECT_TRUE(wholeRows);
}

// View Log opens the newest run that holds a sample: a run killed before its first
// sample leaves a CSV of names only, which is passed over however new it is.
TEST_F(Logging, TheNewestDataLogIsTheNewestWithASample)
{
    Writer(folder.Path()).Run(2);
    const std::string full = folder.File(kStem + ".csv");
    EXPECT_EQ(NewestDataLog(folder.Path()), full);
    const std::string namesOnly = folder.File(kStem + "_2.csv");
    folder.Write(kStem + "_2.csv", ThrottleCsv(0));
    // Newer by a minute, so the order does not rest on the file system's clock.
    const auto later = std::filesystem::last_write_time(full) + std::chrono::minutes(1);
    std::filesystem::last_write_time(namesOnly, later);
    EXPECT_EQ(NewestDataLog(folder.Path()), full);
    // Once it has a row it is the newest.
    std::ofstream(namesOnly, std::ios::app) << "0.000,50.0,128,\r\n";
    std::filesystem::last_write_time(namesOnly, later);
    EXPECT_EQ(NewestDataLog(folder.Path()), namesOnly);
}

// The end of a run brings both files to the disk: each is synced once, whole, while still
// open; a sync that fails is reported like a write that fails.
TEST_F(Logging, ARunsEndSyncsEveryDataLogToTheDisk)
{
    std::vector<std::pair<int, off_t>> synced;  // descriptor, size when synced
    const auto sync = [&](int fd) {
        struct stat st {};
        if (::fstat(fd, &st) != 0)
            return -1;
        synced.emplace_back(fd, st.st_size);
        errno = EIO;
        return synced.size() == 2 ? -1 : 0;
    };
    Writer writer(folder.Path(), {}, sync);
    writer.Run(3, false);
    EXPECT_TRUE(synced.empty());  // never per row
    // Yet each row has reached the system as soon as it was logged: a writer killed now
    // would leave every row.
    EXPECT_EQ(folder.Read(kStem + ".csv"), ThrottleCsv(3));
    EXPECT_TRUE(folder.Read(kStem + ".msl").ends_with("\r\n0.002\t50.0\t128\r\n"));
    writer.log.RunEnded();
    ASSERT_EQ(synced.size(), 2u);
    EXPECT_EQ(synced[0].second, static_cast<off_t>(ThrottleCsv(3).size()));
    EXPECT_EQ(synced[1].second, static_cast<off_t>(folder.Read(kStem + ".msl").size()));
    EXPECT_EQ(writer.problems, std::vector<std::string>{"Data log not written: " + folder.File(kStem + ".msl") +
                                                        ": Input/output error"});
    writer.log.RunEnded();  // nothing left to sync
    EXPECT_EQ(synced.size(), 2u);
}

// Under a file size limit (ulimit -f) a run's files end as on a full disk: cut to whole
// rows and said, the automatic log refused with the reason, and the process lives on.
TEST_F(Logging, AFileSizeLimitEndsTheFilesInWholeRowsAndTheProcessLives)
{
    const size_t limit = ThrottleCsv(2).size() + 5;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit small{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &small);
        IgnoreFileSizeSignal();
        Writer writer(folder.Path());
        writer.Run(5);
        MemoLines memo;
        for (int i = 0; i < 10; ++i)
            memo.AddLine("  0.000 2000rpm  50.00mph ");
        int code = writer.problems.size() == 2 ? 0 : 2;
        try {
            memo.SaveToNewFile(folder.File("TempLog1.txt"));
            code = 3;
        } catch (const std::runtime_error& e) {
            code = std::string(e.what()).find(std::strerror(EFBIG)) == std::string::npos ? 4 : code;
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: not both files reported, 3: the automatic log written, 4: another error";
    EXPECT_EQ(folder.Read(kStem + ".csv"), ThrottleCsv(2));
    EXPECT_TRUE(folder.Read(kStem + ".msl").ends_with("\r\n"));
    EXPECT_FALSE(folder.Exists("TempLog1.txt"));
}

}  // namespace
}  // namespace tessek
