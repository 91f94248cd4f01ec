// The headless logger, `tessek --log`: its options; the program run without any display
// against the built-in simulator and against a pseudo-terminal LM, ended by --seconds and
// by SIGTERM; and, in this process, an absent port that appears later and a device that
// vanishes and returns, which gives two runs.
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
    const std::tuple<Lines, const char*, int, bool> taken[] = {
        {{"tessek", "--log"}, "", 0, false},
        {{"tessek", "--log", "--port", "/dev/rfcomm0", "--seconds", "90", "--quiet"}, "/dev/rfcomm0", 90, true},
        {{"tessek", "--port=SIM", "--log", "--seconds=5"}, "SIM", 5, false},
    };
    for (const auto& [arguments, port, seconds, quiet] : taken) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        std::string problem;
        const std::optional<HeadlessOptions> options = ParseHeadlessOptions(arguments, problem);
        ASSERT_TRUE(options) << problem;
        EXPECT_EQ(std::tuple(options->Port, options->Seconds, options->Quiet),
                  std::tuple(std::string(port), seconds, quiet));
    }
    const std::pair<Lines, const char*> refused[] = {
        {{"--seconds", "0"}, "--seconds needs a whole number of seconds above 0, not \"0\""},
        {{"--seconds", "9x"}, "--seconds needs a whole number of seconds above 0, not \"9x\""},
        {{"--seconds"}, "--seconds needs a value"},
        {{"--port="}, "--port needs a port name"},
        {{"--verbose"}, "unknown option \"--verbose\" (tessek --log --help lists the options)"},
    };
    for (const auto& [options, expected] : refused) {
        SCOPED_TRACE(expected);
        Lines arguments = {"tessek", "--log"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::string problem;
        EXPECT_FALSE(ParseHeadlessOptions(arguments, problem));
        EXPECT_EQ(problem, expected);
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
    // The same header and, the LM's memory being fixed, the same row at every sample.
    const Lines headlessRows = CsvWithoutTimes(csv[0]);
    ASSERT_EQ(headlessRows.size(), text.size() - 5 + 1);
    EXPECT_EQ(headlessRows[0], windowRows[0]);
    for (size_t i = 1; i < headlessRows.size(); ++i)
        EXPECT_EQ(headlessRows[i], windowRows[1]) << "row " << i;
}

// In this process: nothing behind the port's link at the start, then an LM; it vanishes in
// the first run and comes back: a second run into new files.
TEST(HeadlessLoggerTest, WaitsForAnAbsentPortAndStartsANewRunWhenTheDeviceReturns)
{
    test::TempFolder folder;
    const std::string link = folder.File("lm-by-id");
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + link + "\n[CurrentSet]\n1=8F\n");
    std::unique_ptr<sim::SimulatedLm> lm;
    const auto plug = [&] {
        lm = std::make_unique<sim::SimulatedLm>();
        std::filesystem::create_symlink(lm->SlavePath(), link);
    };
    const auto unplug = [&] {
        lm->Stop();
        std::filesystem::remove(link);
    };
    Said said;
    {
        HeadlessLogger logger(folder.Path(), {}, said.file);
        const auto samples = [&] {
            const std::vector<std::string> lines = logger.Memo().Lines();
            return std::count_if(lines.begin(), lines.end(),
                                 [](const std::string& l) { return l.size() > 8 && l[3] == '.'; });
        };
        int step = 0;
        // The test's script, one step at a time as the logger gets there.
        QTimer steps;
        QObject::connect(&steps, &QTimer::timeout, [&] {
            const bool due = step == 0   ? logger.Connection().Lost()
                             : step == 2 ? logger.Connection().Lost() && !logger.Busy()
                             : step < 4  ? logger.Busy() && samples() >= 3
                                         : false;
            if (!due)
                return;
            switch (step++) {
                case 0:
                case 2:
                    plug();
                    break;
                case 1:
                    unplug();
                    break;
                case 3:
                    logger.RequestStop();
                    break;
            }
        });
        steps.start(5);
        // A logger that never gets there is stopped, and the steps tell where it hung.
        QTimer::singleShot(30000, [&] { logger.RequestStop(); });
        EXPECT_EQ(logger.Run(), kExitClean);
        EXPECT_EQ(step, 4);
        EXPECT_EQ(logger.RunsStarted(), 2);
    }
    const std::string text = said.Text();
    EXPECT_THAT(text, HasSubstr("Waiting for " + link));
    EXPECT_THAT(text, HasSubstr("Connection lost: " + link + " is gone"));
    EXPECT_THAT(text, HasSubstr("Run 2 started"));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("samples/s"))) << "no progress line but on a terminal";
    EXPECT_TRUE(folder.Exists("TempLog1.txt"));
    EXPECT_THAT(folder.Read("TempLog2.txt"), HasSubstr("Done Logging"));
    EXPECT_EQ(DataLogs(folder, ".csv").size(), 2u);
}

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
    const std::regex progress("\r\x1b\\[K[0-9]+ samples, [0-9.]+ samples/s, [0-9.]+ requests/s, " + folder.Path() +
                              "logs/[0-9_-]+\\.csv");
    const auto redraws =
        std::distance(std::sregex_iterator(shown.begin(), shown.end(), progress), std::sregex_iterator());
    EXPECT_GE(redraws, 2) << shown;
    EXPECT_LE(redraws, 4) << shown;
    EXPECT_THAT(shown, HasSubstr("Run 1 ended: ")) << "ends the progress line with the run's last line";
}

// A silent LM: every handshake fails, is said in one line and tried again after the pause,
// not at once.
TEST(HeadlessLoggerTest, AFailedHandshakeIsRetriedAfterAPauseWithOneLineEachTime)
{
    test::TempFolder folder;
    sim::SimulatedLm lm;
    lm.SetFault(sim::LmFault::Silent);
    folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n[CurrentSet]\n1=8F\n");
    Said said;
    const auto failures = [&] {
        const std::string text = said.Text();
        size_t n = 0;
        for (size_t at = 0; (at = text.find("Trying again in 3 s.", at)) != std::string::npos; ++at)
            ++n;
        return n;
    };
    {
        HeadlessLogger logger(folder.Path(), {}, said.file);
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (failures() >= 2)
                logger.RequestStop();
        });
        watch.start(5);
        QTimer::singleShot(30000, [&] { logger.RequestStop(); });
        EXPECT_EQ(logger.Run(), kExitClean);
        EXPECT_EQ(logger.RunsStarted(), 0);
    }
    EXPECT_EQ(failures(), 2u);
    EXPECT_THAT(said.Text(),
                HasSubstr("Failed to establish high baud mode with LM.  Baud set back to 976\nTrying again"));
    // Two tries of two handshake bytes each, and maybe the start of a third: no busy loop.
    EXPECT_LE(lm.HandshakeCount(), 6u);
    EXPECT_FALSE(folder.Exists("TempLog1.txt"));
}

}  // namespace
}  // namespace tessek
