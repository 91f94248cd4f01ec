// The headless logger, `tessek --log`: its options; the program run without any display
// against the built-in simulator and against a pseudo-terminal LM, ended by --seconds and
// by SIGTERM, SIGHUP and a closed status pipe, with its TempLog saved every time; and its
// progress line. Waiting for the device and resuming are the session's (tests/session).
#include "app/HeadlessLogger.h"
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "platform/IniFile.h"
#include "sim/SimulatedLm.h"
#include "tests/common/EventLoop.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <signal.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <tuple>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;
using ::testing::HasSubstr;

TEST(HeadlessOptions, AreReadOrRefusedWithOneLine)
{
    // The options, then the port, seconds, quiet, wideband port and protocol they give.
    using Wb = std::optional<WidebandProtocol>;
    const std::tuple<Lines, const char*, int, bool, const char*, Wb> taken[] = {
        {{"tessek", "--log"}, "", 0, false, "", std::nullopt},
        {{"tessek", "--log", "--port", "/dev/rfcomm0", "--seconds", "90", "--quiet"},
         "/dev/rfcomm0",
         90,
         true,
         "",
         std::nullopt},
        {{"tessek", "--port=SIM", "--log", "--seconds=5"}, "SIM", 5, false, "", std::nullopt},
        // Beyond what a millisecond count in an int holds, up to a year.
        {{"tessek", "--log", "--seconds", "4294968"}, "", 4294968, false, "", std::nullopt},
        {{"tessek", "--log", "--seconds", "31536000"}, "", 31536000, false, "", std::nullopt},
        {{"tessek", "--log", "--wideband", "/dev/tessek-wb", "--wideband-protocol", "AEM"},
         "",
         0,
         false,
         "/dev/tessek-wb",
         WidebandProtocol::Aem},
        {{"tessek", "--log", "--wideband-protocol=text", "--wideband=SIM-WB"},
         "",
         0,
         false,
         "SIM-WB",
         WidebandProtocol::Text},
    };
    for (const auto& [arguments, port, seconds, quiet, wbPort, wbProtocol] : taken) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        std::string problem;
        const std::optional<HeadlessOptions> options = ParseHeadlessOptions(arguments, problem);
        ASSERT_TRUE(options) << problem;
        EXPECT_EQ(std::tuple(options->Port, options->Seconds, options->Quiet, options->WidebandPort),
                  std::tuple(std::string(port), int64_t{seconds}, quiet, std::string(wbPort)));
        EXPECT_EQ(options->WidebandProto, wbProtocol);
    }
    const std::pair<Lines, const char*> refused[] = {
        {{"--seconds", "0"}, "--seconds"},
        {{"--seconds", "9x"}, "--seconds"},
        {{"--seconds", "31536001"}, "--seconds"},  // past a year
        {{"--seconds", "99999999999999999999"}, "--seconds"},
        {{"--seconds"}, "--seconds"},
        {{"--port="}, "--port"},
        {{"--wideband="}, "--wideband"},
        {{"--wideband-protocol", "lc1"}, "--wideband-protocol"},
        {{"--wideband-protocol"}, "--wideband-protocol"},
        {{"--verbose"}, "--verbose"},
    };
    // Refused with one line that names the option.
    for (const auto& [options, named] : refused) {
        SCOPED_TRACE(::testing::PrintToString(options));
        Lines arguments = {"tessek", "--log"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::string problem;
        EXPECT_FALSE(ParseHeadlessOptions(arguments, problem));
        EXPECT_EQ(problem.find('\n'), std::string::npos);
        EXPECT_NE(problem.find(named), std::string::npos) << problem;
    }
}

// Sample lines ("  1.234 835rpm ...") without their time field; every other line as it is.
Lines WithoutTimes(const std::string& text)
{
    static const std::regex sample(" *[0-9]+\\.[0-9]{3} (.*)");
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::smatch m;
        lines.push_back(std::regex_match(line, m, sample) ? "<t> " + m[1].str() : line);
    }
    return lines;
}

// The lines of a CSV data log without their first field (the sample time).
Lines CsvWithoutTimes(const std::string& path)
{
    std::ifstream in(path);
    Lines rows;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        rows.push_back(line.substr(line.find(',') + 1));
    }
    return rows;
}

// What the logger says, caught in memory.
struct Said {
    Said() : file(::open_memstream(&data, &size)) {}
    ~Said()
    {
        std::fclose(file);
        std::free(data);
    }
    std::string Text()
    {
        std::fflush(file);
        return {data, size};
    }
    char* data = nullptr;
    size_t size = 0;
    std::FILE* file;
};

std::vector<std::string> DataLogs(const test::TempFolder& folder, const std::string& extension)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder.File("logs"), ec)) {
        if (entry.path().extension() == extension)
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The program in a private folder, started without any display.
class HeadlessProgram : public ::testing::Test {
protected:
    HeadlessProgram()
    {
        program = QString::fromStdString(folder.File("tessek"));
        EXPECT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/tessek", program));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
    }
    void WriteSettings(const std::string& port)
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + port + "\n[CurrentSet]\n1=8F\n2=86\n3=9A\n");
    }
    int Finish()
    {
        const bool ended = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
        output += process.readAll().toStdString();
        return ended ? process.exitCode() : -1;
    }

    test::TempFolder folder;
    QString program;
    QProcess process;
    std::string output;
};

TEST_F(HeadlessProgram, SecondsEndsARunOnTheBuiltInSimulatorWithTheWindowsFiles)
{
    WriteSettings("COM99");  // --port overrides it for this run and stores nothing
    process.start(program, {"--log", "--port", "SIM", "--seconds", "2"});
    ASSERT_EQ(Finish(), 0) << output;
    EXPECT_THAT(output, HasSubstr("Run 1 started on SIM"));
    EXPECT_THAT(output, HasSubstr("Run 1 ended: "));
    // The text and rows themselves are compared with the window's run below.
    const Lines text = WithoutTimes(folder.Read("TempLog1.txt"));
    ASSERT_GE(text.size(), 6u);
    EXPECT_EQ(Lines(text.end() - 2, text.end()), (Lines{"Cancel Logging", "Done Logging"}));
    IniFile ini(folder.File("Tessek.ini"));
    EXPECT_EQ(ini.ReadInteger("AutoSave", "SaveNum", 0), 2);
    EXPECT_EQ(ini.ReadString("ComPort", "Port", ""), "COM99");
    EXPECT_EQ(DataLogs(folder, ".csv").size(), 1u);
    EXPECT_EQ(DataLogs(folder, ".msl").size(), 1u);
}

// --wideband and --wideband-protocol choose the built-in simulated controller's AEM text
// (one decimal of AFR a line) over the stored MTS port, for this run only.
TEST_F(HeadlessProgram, WidebandOptionsChooseAnAemControllerForTheRun)
{
    folder.Write("Tessek.ini", "[ComPort]\nPort=SIM\n[CurrentSet]\n1=8F\n2=86\n[Wideband]\nPort=COM98\nProtocol=mts\n");
    process.start(program, {"--log", "--seconds", "3", "--wideband", "SIM-WB", "--wideband-protocol", "aem"});
    ASSERT_EQ(Finish(), 0) << output;
    const auto csv = DataLogs(folder, ".csv");
    ASSERT_EQ(csv.size(), 1u) << output;
    const Lines rows = CsvWithoutTimes(csv[0]);
    ASSERT_GT(rows.size(), 5u);
    EXPECT_THAT(rows[0], HasSubstr(",AFR,Lambda,WB Status,"));
    int afr = 0;
    // ..., AFR, Lambda, WB Status, Marker, Marker text
    static const std::regex cells(".*,([0-9.]*),([0-9.]*),([0-9]),,$");
    for (size_t i = 1; i < rows.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(rows[i], m, cells)) << rows[i];
        if (m[1].length() == 0)
            continue;
        ++afr;
        EXPECT_EQ(m[1].str().back(), '0') << "an AEM line's one decimal: " << rows[i];
        EXPECT_EQ(m[3], "0");
    }
    EXPECT_GT(afr, 5) << output;
    IniFile ini(folder.File("Tessek.ini"));
    EXPECT_EQ(ini.ReadString("Wideband", "Port", ""), "COM98");
    EXPECT_EQ(ini.ReadString("Wideband", "Protocol", ""), "mts");
}

// A closed terminal (SIGHUP), a status pipe whose reader has gone (SIGPIPE) and a file size
// limit (SIGXFSZ) end nothing abruptly: the run ends cleanly with its TempLog saved, or its
// data logs cut to whole rows with "File too large".
TEST_F(HeadlessProgram, HangUpAClosedStatusPipeAndAFileSizeLimitEndItCleanly)
{
    WriteSettings("SIM");
    process.start(program, {"--log"});
    ASSERT_TRUE(test::PumpUntil([&] { return folder.Exists("logs") && !DataLogs(folder, ".csv").empty(); }, 20000));
    test::PumpFor(500);
    ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
    ASSERT_EQ(Finish(), 0) << output;
    EXPECT_THAT(folder.Read("TempLog1.txt"), HasSubstr("Done Logging"));

    // The shell reports the logger's own exit status after the pipe's reader took one byte.
    process.start(
        "bash",
        {"-c", "\"$0\" --log --seconds 2 2>&1 | head -c1 >/dev/null; echo \"status ${PIPESTATUS[0]}\"", program});
    ASSERT_EQ(Finish(), 0) << output;
    EXPECT_THAT(output, HasSubstr("status 0"));
    EXPECT_THAT(folder.Read("TempLog2.txt"), HasSubstr("Done Logging"));

    output.clear();
    process.start("bash", {"-c", "ulimit -f 2; exec \"$0\" --log --seconds 3", program});
    ASSERT_EQ(Finish(), 0) << output;
    EXPECT_THAT(output, HasSubstr("File too large"));
    for (const std::string& csv : DataLogs(folder, ".csv")) {
        const std::string data = folder.Read(csv.substr(folder.Path().size()));
        EXPECT_TRUE(data.empty() || data.ends_with("\r\n")) << csv;
    }
}

// Against an LM with fixed memory, the headless run writes exactly the lines the window's
// run writes, but for the sample times and how many samples there are.
TEST_F(HeadlessProgram, ItsTempLogHasTheWindowsTextAndSigtermEndsItWithWholeFiles)
{
    sim::SimulatedLm lm;
    sim::LmMemory memory{};
    memory[0x8F] = 0x40, memory[0x8E] = 0x0D, memory[0x86] = 0x70, memory[0x9A] = 0x90, memory[0x8D] = 0x4A;
    lm.SetMemory(memory);
    test::TempFolder windowFolder;
    windowFolder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n[CurrentSet]\n1=8F\n2=86\n3=9A\n");
    {
        TfrmMain window(windowFolder.Path());
        test::Watch stop([&] { return window.Memo->Lines().size() >= 3 + 3; }, [&] { window.btnLog->click(); });
        window.btnLog->click();
    }
    const Lines windowText = WithoutTimes(windowFolder.Read("TempLog1.txt"));
    ASSERT_GE(windowText.size(), 7u);
    const auto windowCsv = DataLogs(windowFolder, ".csv");
    ASSERT_EQ(windowCsv.size(), 1u);
    const Lines windowRows = CsvWithoutTimes(windowCsv[0]);
    ASSERT_GE(windowRows.size(), 3u);

    WriteSettings(lm.SlavePath());
    process.start(program, {"--log"});
    ASSERT_TRUE(test::PumpUntil(
        [&] {
            output += process.readAll().toStdString();
            const auto csv = DataLogs(folder, ".csv");
            return !csv.empty() && CsvWithoutTimes(csv[0]).size() >= 4;
        },
        20000))
        << output;
    // A second signal while the first is being served does not cut the end short.
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_EQ(Finish(), 0) << output;

    const std::string saved = folder.Read("TempLog1.txt");
    const Lines text = WithoutTimes(saved);
    ASSERT_GE(text.size(), 7u);
    EXPECT_EQ(Lines(text.begin() + 1, text.begin() + 4), Lines(windowText.begin() + 1, windowText.begin() + 4));
    const std::string sampleLine = windowText[3];
    for (size_t i = 3; i + 2 < text.size(); ++i)
        EXPECT_EQ(text[i], sampleLine) << "line " << i;
    EXPECT_EQ(Lines(text.end() - 2, text.end()), Lines(windowText.end() - 2, windowText.end()));
    EXPECT_EQ(saved.substr(saved.size() - 2), "\r\n");
    const auto csv = DataLogs(folder, ".csv");
    ASSERT_EQ(csv.size(), 1u);
    EXPECT_TRUE(folder.Read(csv[0].substr(folder.Path().size())).ends_with("\r\n")) << "whole rows only";
    // The same header and, the LM's memory being fixed, the same row at every sample; the
    // boost of 19.3 psi raises the overboost alarm at the first sample in both, whose
    // marker the second sample carries.
    const Lines headlessRows = CsvWithoutTimes(csv[0]);
    ASSERT_EQ(headlessRows.size(), text.size() - 5 + 1);
    EXPECT_EQ(headlessRows[0], windowRows[0]);
    EXPECT_TRUE(windowRows[1].ends_with(",,")) << windowRows[1];
    EXPECT_TRUE(windowRows[2].ends_with(",1,MAP 19.29 psi over 14 psi")) << windowRows[2];
    for (size_t i = 1; i < headlessRows.size(); ++i)
        EXPECT_EQ(headlessRows[i], windowRows[i == 2 ? 2 : 1]) << "row " << i;
}

// In this process: nothing behind the port's link at the start, then an LM; it vanishes in
// the first run and comes back: a second run into new files.
// On a terminal the progress is one line redrawn in place every second; elsewhere (the
// memory stream of the test above) there is no such line at all.
TEST(HeadlessLoggerTest, OnATerminalProgressIsOneLineRedrawnEachSecond)
{
    test::TempFolder folder;
    folder.Write("Tessek.ini", "[ComPort]\nPort=COM99\n[CurrentSet]\n1=8F\n");
    test::PtyPeer terminal;
    std::FILE* status = std::fopen(terminal.SlavePath().c_str(), "w");
    ASSERT_NE(status, nullptr);
    {
        HeadlessOptions options;
        options.Port = "SIM";
        options.Seconds = 3;
        HeadlessLogger logger(folder.Path(), options, status);
        EXPECT_EQ(logger.Run(), kExitClean);
    }
    std::fclose(status);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal.MasterFd(), buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<size_t>(n));
    const std::regex progress("\r\x1b\\[K[0-9]+ samples, [0-9.]+ samples/s, [0-9.]+ requests/s, [0-9]+ missed, " +
                              folder.Path() + "logs/[0-9_-]+\\.csv");
    const auto redraws =
        std::distance(std::sregex_iterator(shown.begin(), shown.end(), progress), std::sregex_iterator());
    EXPECT_GE(redraws, 2) << shown;
    EXPECT_LE(redraws, 4) << shown;
    EXPECT_THAT(shown, HasSubstr("Run 1 ended: ")) << "ends the progress line with the run's last line";
}

}  // namespace
}  // namespace tessek
