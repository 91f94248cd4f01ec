// The logging run with the fake command host (the LM and the clock scripted), and the
// data log files: names, header rows, numbers in any locale, failures, and a writer
// killed in the middle of a run. The run through the main window is tested with the
// other commands (tests/reports/CommandsTest.cpp).
#include "logging/DataLog.h"
#include "logging/LogRun.h"
#include "logging/LogSettings.h"
#include "logging/RunColumns.h"
#include "platform/FileIo.h"
#include "platform/IniFile.h"
#include "platform/MemoLines.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/FakeCommandHost.h"
#include "tests/common/TempFolder.h"

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

namespace tessek {
namespace {

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
            log.SampleLogged(MakeRunSample(t, {*DecodeValue(DecoderKind::Tps, 0x80, 0, 0, 0)}, false, {}, 1));
        if (end)
            log.RunEnded();
    }
    DataLogWriter log;
    std::vector<std::string> problems;
};

// The CSV file of a throttle run of `samples` rows.
std::string ThrottleCsv(int samples)
{
    std::string csv = "Time (s),Throttle (%),Throttle raw\r\n";
    for (int t = 0; t < samples; ++t)
        csv += "0.00" + std::to_string(t) + ",50.0,128\r\n";
    return csv;
}

// The number a window text shows, as a data log holds it: its digits; vacuum ("hg") with
// a minus sign unless the digits are all 0; a raw byte (hexadecimal) in decimal.
std::string FileNumber(const std::string& text, bool rawByte)
{
    if (rawByte)
        return std::to_string(std::stoi(text, nullptr, 16));
    const size_t begin = text.find_first_not_of(' ');
    const std::string digits = text.substr(begin, text.find_first_not_of("-0123456789.", begin) - begin);
    const bool vacuum = text.find("hg") != std::string::npos && digits.find_first_not_of("0.") != std::string::npos;
    return vacuum ? "-" + digits : digits;
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

    test::TempFolder folder;
    Host host;
    LoggingSettings settings;
    IniFile ini{folder.File("Tessek.ini")};
    float prevMph = 0, prevRpm = 0, sampleMph = 0, sampleRpm = 0, baroRef = 0;
    bool unsaved = false;
    LogRunState state{prevMph, prevRpm, sampleMph, sampleRpm, baroRef, unsaved};
    std::vector<RunObserver*> observers;
};

TEST_F(Logging, EveryByteOfEveryDecoderReachesTheDataLogAsTheWindowShowsIt)
{
    // Every pair of reply bytes (lo, hi) once: the one-byte decoders see every byte 256
    // times, MAP every byte against every BaroRef (hi), in its second slot with a sensor
    // factor so small that vacuum rounds to 0.00.
    const std::vector<uint8_t> slots = {0x8F, 0x69, 0x86, 0x86, 0x9A, 0x5D, 0x9D,
                                        0x98, 0x9C, 0xA0, 0x72, 0xCE, 0xD1, 0x73};
    LogRun run(host, settings, ini, {}, state);
    DataLogWriter dataLog(folder.Path());
    dataLog.RunStarted(RunColumnsFor(slots, {}, false), std::chrono::system_clock::now());
    std::string csv =
        "Time (s),Engine Speed (rpm),Engine Speed raw,Road Speed (mph),Road Speed raw,MAP (psi/-inHg),MAP raw,"
        "MAP 2 (psi/-inHg),MAP 2 raw,Coolant Temp (F),Coolant Temp raw,Charge Air Temp (F),Charge Air Temp raw,"
        "Raw Charge Temp (F),Raw Charge Temp raw,Throttle (%),Throttle raw,O2 (v),O2 raw,Knock (v),Knock raw,"
        "Spark Advance (deg),Spark Advance raw,Cyl 1 Retard (deg),Cyl 1 Retard raw,Cyl 4 Retard (deg),"
        "Cyl 4 Retard raw,$73\r\n";
    for (int i = 0; i < 65536; ++i) {
        const auto lo = static_cast<uint8_t>(i & 0xFF), hi = static_cast<uint8_t>(i >> 8);
        host.Memory.fill(lo);
        host.Memory[kRpmHiAddress] = host.Memory[kMphHiAddress] = hi;
        baroRef = hi;
        host.Asked.clear();
        std::string line = SampleTimeText(i);
        csv += FileNumber(line, false);
        std::vector<DecodedValue> values;
        for (size_t slot = 0; slot < slots.size(); ++slot) {
            settings.MapFunction = slot == 3 ? 0.001 : 0.172266;
            const size_t at = line.size();
            values.push_back(run.DecodeSlot(slots[slot], line).value());
            const DecoderKind kind = DecoderFor(slots[slot]);
            csv.append(",").append(FileNumber(line.substr(at), kind == DecoderKind::Raw));
            if (kind != DecoderKind::Raw)
                csv.append(",").append(
                    std::to_string(kind == DecoderKind::Rpm || kind == DecoderKind::Mph ? hi * 256 + lo : lo));
        }
        csv += "\r\n";
        dataLog.SampleLogged(MakeRunSample(i, values, false, std::nullopt, 0));
    }
    EXPECT_EQ(host.Asked, (std::vector<uint8_t>{0x90, 0x8F, 0x6A, 0x69, 0x86, 0x86, 0x9A, 0x5D, 0x9D, 0x98, 0x9C, 0xA0,
                                                0x72, 0xCE, 0xD1, 0x73}));
    dataLog.RunEnded();
    // Row by row: the first row that differs, rather than two texts of 6 MB.
    std::istringstream expected(csv), written(folder.Read(dataLog.CsvPath().substr(folder.Path().size())));
    for (std::string row, got; std::getline(expected, row) && !HasFailure();) {
        std::getline(written, got);
        EXPECT_EQ(got, row);
    }
    EXPECT_EQ(written.peek(), EOF);
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
    settings.LogAddrs[1] = 0x8F;
    settings.LogAddrs[2] = 0x69;
    settings.Performance = true;
    DataLogWriter dataLog(folder.Path());
    observers = {&dataLog};
    host.Memory[0x90] = 0x40, host.Memory[0x8F] = 0x1F, host.Memory[0x6A] = 0x80, host.Memory[0x69] = 0x0C;
    host.Now = 0xFFFFFFF0;  // the tick counter wraps during the run
    host.SampleRate = 0;
    host.OnExchange = [this](int n) {
        if (n == 5)
            host.SampleRate = 3;
        if (n == 7)  // the second sample reads 2256 rpm and 54 mph
            host.Memory[0x8F] = 0x23, host.Memory[0x69] = 0x0D;
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
    EXPECT_EQ(lines[4], "  0.020 2256rpm  54.00mph  9.17G 3300.02HP 8141.48lb/ft ");
    EXPECT_EQ(folder.Read(dataLog.CsvPath().substr(folder.Path().size())),
              "Time (s),Engine Speed (rpm),Engine Speed raw,Road Speed (mph),Road Speed raw,Acceleration (g),"
              "Power (hp),Torque (lb-ft)\r\n0.000,2000,8000,50.00,3200,,,\r\n"
              "0.020,2256,9024,54.00,3456,9.17,3300.02,8141.48\r\n");
    // The MSL file has a number in every cell: 0 where the line has no figure.
    EXPECT_EQ(folder.Read(dataLog.MslPath().substr(folder.Path().size())),
              "Time\tEngine Speed\tEngine Speed raw\tRoad Speed\tRoad Speed raw\tAcceleration\tPower\tTorque\r\n"
              "s\trpm\t\tmph\t\tg\thp\tlb-ft\r\n0.000\t2000\t8000\t50.00\t3200\t0\t0\t0\r\n"
              "0.020\t2256\t9024\t54.00\t3456\t9.17\t3300.02\t8141.48\r\n");
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
    try {
        log();
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("TempLog2147483647.txt"), std::string::npos) << e.what();
    }
    EXPECT_EQ(folder.Read("TempLog2147483647.txt"), "kept");
    EXPECT_EQ(SaveNum(), kMax);
    EXPECT_TRUE(unsaved);  // the text is kept until saved or discarded

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
    ASSERT_EQ(errors.messages.size(), 1u);
    EXPECT_NE(errors.messages[0].find(folder.File("missing/TempLog7.txt")), std::string::npos) << errors.messages[0];
    EXPECT_EQ(settings.SaveNum, 7);
    EXPECT_TRUE(unsaved);
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
              "\"Unit (a,b)\"\r\n");
    EXPECT_EQ(folder.Read(kStem + ".msl"),
              "Time\tPlain\tComma, inside\tSay \"hi\"\tTwo lines\tTwo lines raw\tUnit\r\ns\tx\tu\t\ta b\t\ta,b\r\n");
    EXPECT_TRUE(writer.problems.empty());
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
    EXPECT_TRUE(folder.Read(kStem + ".msl").ends_with("\r\n0.004\t50.0\t128\r\n"));
    EXPECT_EQ(writer.problems, std::vector<std::string>{"Data log not written: " + folder.File(kStem + ".csv") +
                                                        ": No space left on device"});
    EXPECT_TRUE(wholeRows);
}

// Each row reaches the system as soon as it is logged: a writer killed before its run
// ends leaves every row.
TEST_F(Logging, ADataLogWriterKilledMidRunLeavesEveryRowLoggedBeforeTheKill)
{
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only the writer's code runs here (the test program has no other thread running
        // at this point), and the child never returns into the test framework.
        Writer writer(folder.Path());
        writer.Run(5, false);
        ::raise(SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << WEXITSTATUS(status);
    EXPECT_EQ(folder.Read(kStem + ".csv"), ThrottleCsv(5));
    EXPECT_TRUE(folder.Read(kStem + ".msl").ends_with("\r\n0.004\t50.0\t128\r\n"));
}

// View Log opens the newest run that holds a sample: a run killed before its first
// sample leaves a CSV of names only, which is passed over however new it is.
TEST_F(Logging, TheNewestDataLogIsTheNewestWithASample)
{
    Writer(folder.Path()).Run(2);
    const std::string full = folder.File(kStem + ".csv");
    EXPECT_EQ(NewestDataLog(folder.Path()), full);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Writer writer(folder.Path());
        writer.Run(0, false);
        ::raise(SIGKILL);
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string namesOnly = folder.File(kStem + "_2.csv");
    ASSERT_EQ(folder.Read(kStem + "_2.csv"), "Time (s),Throttle (%),Throttle raw\r\n");
    // Newer by a minute, so the order does not rest on the file system's clock.
    const auto later = std::filesystem::last_write_time(full) + std::chrono::minutes(1);
    std::filesystem::last_write_time(namesOnly, later);
    EXPECT_EQ(NewestDataLog(folder.Path()), full);
    // Once it has a row it is the newest.
    std::ofstream(namesOnly, std::ios::app) << "0.000,50.0,128\r\n";
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
