// The data log files of a logging run: names, header rows, numbers as the window prints
// them, locale, failures, and a writer killed in the middle of a run.
#include "logging/DataLog.h"
#include "logging/Decoders.h"
#include "logging/ParamCatalogue.h"
#include "logging/Performance.h"
#include "logging/RunColumns.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <ctime>
#include <locale>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace tessek {
namespace {

using test::TempFolder;

// 2026-12-06 14:03:27 local time.
std::chrono::system_clock::time_point StartTime()
{
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 6;
    local.tm_hour = 14;
    local.tm_min = 3;
    local.tm_sec = 27;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

const std::string kStem = "logs/2026-12-06_14-03-27";

// The lines of a file without their CR LF; a last line without one is kept as it is.
std::vector<std::string> Lines(const std::string& content)
{
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t end; (end = content.find("\r\n", pos)) != std::string::npos; pos = end + 2)
        lines.push_back(content.substr(pos, end - pos));
    if (pos < content.size())
        lines.push_back(content.substr(pos));
    return lines;
}

std::vector<std::string> Split(const std::string& line, char separator)
{
    std::vector<std::string> fields;
    size_t pos = 0;
    for (size_t end; (end = line.find(separator, pos)) != std::string::npos; pos = end + 1)
        fields.push_back(line.substr(pos, end - pos));
    fields.push_back(line.substr(pos));
    return fields;
}

std::string Trimmed(const std::string& text)
{
    const size_t begin = text.find_first_not_of(' ');
    const size_t end = text.find_last_not_of(' ');
    return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

// A writer whose problem reports are collected.
struct Writer {
    explicit Writer(const std::string& folder, DataLogWriter::WriteFunction write = {}) : log(folder, std::move(write))
    {
        log.OnProblem = [this](const std::string& message) { problems.push_back(message); };
    }
    DataLogWriter log;
    std::vector<std::string> problems;
};

// What the window's line shows for a slot: the decoder's text.
std::string WindowText(DecoderKind kind, uint8_t lo, uint8_t hi, float baroRef, double mapFunction)
{
    switch (kind) {
        case DecoderKind::Rpm:
            return RpmText(RpmValue(lo, hi));
        case DecoderKind::Mph:
            return MphText(MphValue(lo, hi));
        case DecoderKind::Map:
            return MapText(lo, baroRef, mapFunction);
        case DecoderKind::Coolant:
            return CoolantText(lo);
        case DecoderKind::ChargeTemp0:
        case DecoderKind::ChargeTemp1:
            return ChargeTempText(lo);
        case DecoderKind::Tps:
            return TpsText(lo);
        case DecoderKind::O2:
            return O2Text(lo);
        case DecoderKind::Knock:
            return KnockText(lo);
        case DecoderKind::Spark:
            return SparkText(lo);
        case DecoderKind::Retard:
            return RetardText(lo);
        case DecoderKind::Raw:
            return RawText(lo);
        case DecoderKind::Skip:
            break;
    }
    return "";
}

// The number of a window text as a data log holds it: the window's digits; vacuum ("hg")
// with a minus sign unless the digits are all 0; a raw byte (hexadecimal) in decimal.
std::string FileNumber(DecoderKind kind, const std::string& windowText)
{
    const std::string text = Trimmed(windowText);
    if (kind == DecoderKind::Raw)
        return std::to_string(std::stoi(text, nullptr, 16));
    const std::string digits = text.substr(0, text.find_first_not_of("-0123456789."));
    const bool vacuum = text.find("hg") != std::string::npos;
    return vacuum && digits.find_first_not_of("0.") != std::string::npos ? "-" + digits : digits;
}

TEST(DataLog, EveryByteOfEveryDecoderIsTheNumberTheWindowShows)
{
    // Every pair of reply bytes (lo, hi) once: the one-byte decoders see every byte 256
    // times, MAP every byte against every BaroRef (hi), once with a sensor factor so small
    // that vacuum rounds to 0.00.
    struct Slot {
        uint8_t address;
        double mapFunction;
    };
    const Slot slots[] = {{0x8F, 0}, {0x69, 0}, {0x86, 0.172266}, {0x86, 0.001}, {0x9A, 0}, {0x5D, 0}, {0x9D, 0},
                          {0x98, 0}, {0x9C, 0}, {0xA0, 0},        {0x72, 0},     {0xCE, 0}, {0x73, 0}};
    std::vector<uint8_t> addresses;
    for (const Slot& slot : slots)
        addresses.push_back(slot.address);
    const std::vector<RunColumn> columns = RunColumnsFor(addresses, {}, false);
    ASSERT_EQ(columns.size(), std::size(slots));

    TempFolder folder;
    Writer writer(folder.Path());
    writer.log.RunStarted(columns, StartTime());
    for (int i = 0; i < 65536; ++i) {
        const auto lo = static_cast<uint8_t>(i & 0xFF), hi = static_cast<uint8_t>(i >> 8);
        std::vector<DecodedValue> values;
        for (const Slot& slot : slots)
            values.push_back(*DecodeValue(DecoderFor(slot.address), lo, hi, hi, slot.mapFunction));
        writer.log.SampleLogged(MakeRunSample(i, values, false, std::nullopt, 0));
    }
    writer.log.RunEnded();
    EXPECT_TRUE(writer.problems.empty());

    const std::vector<std::string> csv = Lines(folder.Read(kStem + ".csv"));
    const std::vector<std::string> msl = Lines(folder.Read(kStem + ".msl"));
    ASSERT_EQ(csv.size(), 1u + 65536u);
    ASSERT_EQ(msl.size(), 2u + 65536u);
    for (int i = 0; i < 65536 && !HasFailure(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        const auto lo = static_cast<uint8_t>(i & 0xFF), hi = static_cast<uint8_t>(i >> 8);
        const std::vector<std::string> fields = Split(csv[1 + i], ',');
        EXPECT_EQ(Split(msl[2 + i], '\t'), fields);
        ASSERT_EQ(fields.size(), 1u + 2u * std::size(slots) - 1u);  // the raw byte slot has no raw column
        EXPECT_EQ(fields[0], Trimmed(SampleTimeText(i)));
        size_t f = 1;
        for (const Slot& slot : slots) {
            const DecoderKind kind = DecoderFor(slot.address);
            const std::string window = WindowText(kind, lo, hi, hi, slot.mapFunction);
            EXPECT_EQ(fields[f++], FileNumber(kind, window)) << "window: \"" << window << "\"";
            if (kind == DecoderKind::Raw)
                continue;
            const int raw = kind == DecoderKind::Rpm || kind == DecoderKind::Mph ? hi * 256 + lo : lo;
            EXPECT_EQ(fields[f++], std::to_string(raw));
        }
    }
}

TEST(DataLog, HeaderRowsAndEveryRowOnDiskAsItIsLogged)
{
    const Catalogue catalogue;
    const std::vector<uint8_t> slots = {0x8F, 0x12, 0x86, 0x73, 0x12, 0x12, 0x12, 0x12};
    const std::vector<RunColumn> columns = RunColumnsFor(
        slots, [&](const std::string& name) { return catalogue.DisplayText(name); }, true);
    const std::vector<DecodedValue> values = {*DecodeValue(DecoderKind::Rpm, 0x40, 0x1F, 0, 0),
                                              *DecodeValue(DecoderKind::Map, 0x5A, 0, 100.0f, 0.172266),
                                              *DecodeValue(DecoderKind::Raw, 0x55, 0, 0, 0)};

    TempFolder folder;
    Writer writer(folder.Path());
    writer.log.RunStarted(columns, StartTime());
    EXPECT_EQ(writer.log.CsvPath(), folder.File(kStem + ".csv"));
    EXPECT_EQ(writer.log.MslPath(), folder.File(kStem + ".msl"));
    std::string csv =
        "Time (s),Engine Speed (rpm),Engine Speed raw,MAP (psi/-inHg),MAP raw,Baro,Acceleration (g),Power (hp),"
        "Torque (lb-ft)\r\n";
    std::string msl =
        "Time\tEngine Speed\tEngine Speed raw\tMAP\tMAP raw\tBaro\tAcceleration\tPower\tTorque\r\n"
        "s\trpm\t\tpsi/-inHg\t\t\tg\thp\tlb-ft\r\n";
    EXPECT_EQ(folder.Read(kStem + ".csv"), csv);
    EXPECT_EQ(folder.Read(kStem + ".msl"), msl);

    // Each row is in the file before the next sample and before the run ends: the first
    // without figures (no time has passed), the second without a torque.
    writer.log.SampleLogged(MakeRunSample(0, values, true, ComputePerformance(0, 0, 10, 0, 0, 0, 2500), 4));
    csv += "0.000,2000,8000,-3.51,90,85,,,\r\n";
    msl += "0.000\t2000\t8000\t-3.51\t90\t85\t0\t0\t0\r\n";
    EXPECT_EQ(folder.Read(kStem + ".csv"), csv);
    EXPECT_EQ(folder.Read(kStem + ".msl"), msl);
    writer.log.SampleLogged(MakeRunSample(50, values, true, ComputePerformance(50, 0, 10, 0, 0, 0, 2500), 4));
    csv += "0.050,2000,8000,-3.51,90,85,9.17,611.11,\r\n";
    msl += "0.050\t2000\t8000\t-3.51\t90\t85\t9.17\t611.11\t0\r\n";
    EXPECT_EQ(folder.Read(kStem + ".csv"), csv);
    EXPECT_EQ(folder.Read(kStem + ".msl"), msl);

    writer.log.RunEnded();
    EXPECT_EQ(folder.Read(kStem + ".csv"), csv);
    EXPECT_EQ(folder.Read(kStem + ".msl"), msl);
    EXPECT_TRUE(writer.problems.empty());
}

TEST(DataLog, NamesQuotedInCsvOnlyWhereNeededAndKeptOnOneMslCell)
{
    const std::vector<RunColumn> columns = {
        {"Plain", "x", 1, false},        {"Comma, inside", "u", 0, false}, {"Say \"hi\"", "", 0, false},
        {"Two\nlines", "a\tb", 0, true}, {"Unit", "a,b", 0, false},
    };
    TempFolder folder;
    Writer writer(folder.Path());
    writer.log.RunStarted(columns, StartTime());
    writer.log.RunEnded();
    EXPECT_EQ(folder.Read(kStem + ".csv"),
              "Time (s),Plain (x),\"Comma, inside (u)\",\"Say \"\"hi\"\"\",\"Two\nlines (a\tb)\",\"Two\nlines raw\","
              "\"Unit (a,b)\"\r\n");
    EXPECT_EQ(folder.Read(kStem + ".msl"),
              "Time\tPlain\tComma, inside\tSay \"hi\"\tTwo lines\tTwo lines raw\tUnit\r\n"
              "s\tx\tu\t\ta b\t\ta,b\r\n");
}

// Restores the process's C and C++ locales when it goes.
class LocaleGuard {
public:
    LocaleGuard() : cpp_(std::locale()), c_(std::setlocale(LC_ALL, nullptr)) {}
    ~LocaleGuard()
    {
        std::locale::global(cpp_);
        std::setlocale(LC_ALL, c_.c_str());
    }

private:
    std::locale cpp_;
    std::string c_;
};

struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

std::string CsvRowInLocale(const std::locale& locale)
{
    const LocaleGuard guard;
    std::locale::global(locale);  // for a named locale this sets C's locale as well
    TempFolder folder;
    DataLogWriter writer(folder.Path());
    writer.RunStarted({{"Knock", "v", 2, true}}, StartTime());
    writer.SampleLogged(MakeRunSample(1234567, {*DecodeValue(DecoderKind::Knock, 0x80, 0, 0, 0)}, false, {}, 1));
    writer.RunEnded();
    return Lines(folder.Read(kStem + ".csv")).back();
}

TEST(DataLog, NumbersKeepTheirPointInACommaDecimalLocale)
{
    // The locale owns its facets.
    EXPECT_EQ(CsvRowInLocale(std::locale(std::locale::classic(), new CommaDecimal)), "1234.567,2.50,128");
}

TEST(DataLog, NumbersKeepTheirPointInAnInstalledCommaDecimalLocale)
{
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"}) {
        try {
            const std::locale locale(name);
            SCOPED_TRACE(name);
            EXPECT_EQ(CsvRowInLocale(locale), "1234.567,2.50,128");
            return;
        } catch (const std::runtime_error&) {
        }
    }
    GTEST_SKIP() << "no comma-decimal locale (de_DE.UTF-8, fr_FR.UTF-8, ru_RU.UTF-8) is installed";
}

TEST(DataLog, ATakenNameGetsTheNextSuffixAndNoFileIsReplaced)
{
    TempFolder folder;
    const std::vector<RunColumn> columns = {{"Throttle", "%", 1, true}};
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
    EXPECT_EQ(folder.Read(kStem + ".csv"), "Time (s),Throttle (%),Throttle raw\r\n");
    EXPECT_TRUE(writer.problems.empty());
}

TEST(DataLog, AFolderThatCannotBeMadeIsReportedOnceAndTheRunGoesOn)
{
    TempFolder folder;
    folder.Write("file", "");
    const std::pair<std::string, std::string> rows[] = {
        {folder.File("missing"),
         "Data log not written: " + folder.File("missing/logs") + ": No such file or directory"},
        {folder.File("file"), "Data log not written: " + folder.File("file/logs") + ": Not a directory"},
    };
    for (const auto& [programFolder, message] : rows) {
        SCOPED_TRACE(programFolder);
        Writer writer(programFolder);
        EXPECT_NO_THROW({
            writer.log.RunStarted({{"Throttle", "%", 1, true}}, StartTime());
            writer.log.SampleLogged(MakeRunSample(0, {*DecodeValue(DecoderKind::Tps, 0x80, 0, 0, 0)}, false, {}, 1));
            writer.log.RunEnded();
        });
        EXPECT_EQ(writer.problems, std::vector<std::string>{message});
        EXPECT_EQ(writer.log.CsvPath(), "");
    }
}

TEST(DataLog, AFullDiskStopsThatFileAtItsLastCompleteRow)
{
    TempFolder folder;
    // The CSV's device takes its header and two rows and then five bytes of the third; a
    // signal interrupts the first write once.
    const size_t csvBytes =
        std::string("Time (s),Throttle (%),Throttle raw\r\n").size() + 2 * std::string("0.000,50.0,128\r\n").size() + 5;
    size_t csvWritten = 0;
    bool interrupted = false;
    const auto write = [&](int fd, const char* data, size_t size) -> ssize_t {
        char path[256] = {};
        const ssize_t length = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path - 1);
        if (length < 4 || std::string(path + length - 4) != ".csv")
            return ::write(fd, data, size);
        if (!std::exchange(interrupted, true)) {
            errno = EINTR;
            return -1;
        }
        if (csvWritten == csvBytes) {
            errno = ENOSPC;
            return -1;
        }
        const ssize_t n = ::write(fd, data, std::min(size, csvBytes - csvWritten));
        csvWritten += static_cast<size_t>(std::max<ssize_t>(n, 0));
        return n;
    };
    Writer writer(folder.Path(), write);
    writer.log.RunStarted({{"Throttle", "%", 1, true}}, StartTime());
    for (int i = 0; i < 5; ++i)
        writer.log.SampleLogged(MakeRunSample(i, {*DecodeValue(DecoderKind::Tps, 0x80, 0, 0, 0)}, false, {}, 1));
    writer.log.RunEnded();

    EXPECT_EQ(folder.Read(kStem + ".csv"),
              "Time (s),Throttle (%),Throttle raw\r\n0.000,50.0,128\r\n0.001,50.0,128\r\n");
    EXPECT_EQ(Lines(folder.Read(kStem + ".msl")).size(), 2u + 5u);
    EXPECT_EQ(writer.problems, std::vector<std::string>{"Data log not written: " + folder.File(kStem + ".csv") +
                                                        ": No space left on device"});
}

TEST(DataLog, AWriterKilledMidRunLeavesEveryReportedRowAndNoHalfRow)
{
    const std::vector<RunColumn> columns = RunColumnsFor(std::vector<uint8_t>{0x8F, 0x69, 0x86, 0x9A}, {}, true);
    const auto sample = [](int i) {
        const auto b = static_cast<uint8_t>(i);
        std::vector<DecodedValue> values;
        for (const uint8_t address : {0x8F, 0x69, 0x86, 0x9A})
            values.push_back(*DecodeValue(DecoderFor(address), b, b, 100.0f, 0.172266));
        return MakeRunSample(i, values, true, ComputePerformance(i, i - 1, b, 0, b, 0, 2500), 7);
    };
    constexpr int kRowsBeforeKill = 2000;

    TempFolder folder;
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child logs rows until it is killed and tells the parent of every row logged.
        // It runs only the writer's code (the test program has no other thread running at
        // this point) and leaves by _exit, never through the test framework.
        ::close(progress[0]);
        DataLogWriter writer(folder.Path());
        writer.RunStarted(columns, StartTime());
        for (int i = 0; i < 100 * kRowsBeforeKill; ++i) {
            writer.SampleLogged(sample(i));
            if (::write(progress[1], &i, sizeof i) != sizeof i)
                ::_exit(2);
        }
        ::_exit(1);
    }
    ::close(progress[1]);
    int logged = -1;
    for (int i; ::read(progress[0], &i, sizeof i) == sizeof i;) {
        logged = i;
        if (i == kRowsBeforeKill)
            ::kill(child, SIGKILL);
    }
    ::close(progress[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    ASSERT_GE(logged, kRowsBeforeKill);

    const size_t fieldCount = 1 + 2 * 4 + 3;
    for (const auto& [extension, separator, headerRows] :
         {std::make_tuple(".csv", ',', 1), std::make_tuple(".msl", '\t', 2)}) {
        SCOPED_TRACE(extension);
        const std::string content = folder.Read(kStem + extension);
        ASSERT_GE(content.size(), 2u);
        EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
        const std::vector<std::string> lines = Lines(content);
        ASSERT_GE(lines.size(), static_cast<size_t>(headerRows + logged + 1));
        for (size_t row = headerRows; row < lines.size() && !HasFailure(); ++row) {
            const std::vector<std::string> fields = Split(lines[row], separator);
            ASSERT_EQ(fields.size(), fieldCount) << lines[row];
            EXPECT_EQ(fields[0], Trimmed(SampleTimeText(static_cast<int32_t>(row) - headerRows)));
        }
    }
}

}  // namespace
}  // namespace tessek
