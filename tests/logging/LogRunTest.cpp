// The logging run with the fake command host (the LM and the clock scripted), and the
// data log files: names, header rows, failures, and a writer killed in the middle of a
// run. The run through the main window is tested with the other commands
// (tests/reports/CommandsTest.cpp).
#include "logfiles/DataLog.h"
#include "logging/LogRun.h"
#include "logging/LogSettings.h"
#include "logging/ParamCatalogue.h"
#include "logging/RunColumns.h"
#include "platform/BuildInfo.h"
#include "platform/IniFile.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/FakeCommandHost.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
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

    test::TempFolder folder;
    Host host;
    LoggingSettings settings;
    IniFile ini{folder.File("Tessek.ini")};
    LogRunState state;
    std::vector<RunObserver*> observers;
    DataLogWriter dataLog{folder.Path()};
};

// A raw byte's column takes its name from the catalogue, an address outside it is named
// by itself, and a repeated address numbers its columns, MAP's linear ones too.
TEST(RunColumns, NamedFromTheCatalogueOrTheAddressAndNumberedWhenRepeated)
{
    const Catalogue catalogue;
    const DisplayTextLookup displayText = [&](const std::string& name) { return catalogue.DisplayText(name); };
    std::string names;
    for (const RunColumn& column : RunColumnsFor(std::vector<uint8_t>{0x86, 0x86, 0x73, 0x40}, displayText, false))
        names += column.Name + " (" + column.Unit + (column.HasRaw ? ") raw, " : "), ");
    EXPECT_EQ(names,
              "MAP (psi/-inHg) raw, Boost (psi), MAP abs (kPa), MAP 2 (psi/-inHg) raw, Boost 2 (psi), "
              "MAP abs 2 (kPa), Baro (), $40 (), ");
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
    // Engine and road speed (2000 rpm, 50 mph) with performance figures, into a data log.
    settings.LogAddrs[1] = 0x8F;
    settings.LogAddrs[2] = 0x69;
    settings.Performance = true;
    observers = {&dataLog};
    host.Memory[0x90] = 0x40, host.Memory[0x8F] = 0x1F;
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

// Marks set during a run: numbered 1, 2, ..., each carried by the next sample row of both
// data logs (one per row, a second one waits for the row after); outside a run a mark does
// nothing. The window's text has no trace of them.
TEST_F(Logging, MarkersGoIntoTheNextSampleRowsOfBothDataLogsNumberedInOrder)
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
    const std::tuple<int32_t, const char*, int32_t> rows[] = {
        {-5, "TempLog3.txt", 4}, {kMax - 1, "TempLog2147483646.txt", kMax}, {kMax, "TempLog2147483647.txt", kMax}};
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
    writer.RunStarted({{"Road Speed", "mph", 2, true}, {"Coolant Temp", "F", 1, true}, {"Acceleration", "g", 2, false}},
                      StartTime());
    RunSample sample;
    sample.Values = {50.0, 32.0, 0.57};
    sample.Raw = {3200, 92, std::nullopt};
    writer.SampleLogged(sample);
    writer.RunEnded();
    EXPECT_EQ(folder.Read(kStem + ".csv"),
              "Time (s),Road Speed (km/h),Road Speed raw,Coolant Temp (°C),Coolant Temp raw,Acceleration (g),Marker,"
              "Marker text\r\n0.000,80.47,3200,0.0,92,0.57,,\r\n");
    EXPECT_THAT(folder.Read(kStem + ".msl"), HasSubstr("\r\ns\tkm/h\t\t°C\t\tg\r\n"));
}

// A file that cannot be made or written is reported once, and the run goes on.
TEST_F(Logging, ADataLogThatCannotBeWrittenIsReportedOnceAndTheRunGoesOn)
{
    Writer nowhere(folder.File("missing"));
    nowhere.Run(1);
    EXPECT_EQ(nowhere.problems, std::vector<std::string>{"Data log not written: " +
                                                         folder.File("missing/logs: No such file or directory")});
    EXPECT_EQ(nowhere.log.CsvPath(), "");
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

}  // namespace
}  // namespace tessek
