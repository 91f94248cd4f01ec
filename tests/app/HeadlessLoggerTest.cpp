// The headless logger, `tessek --log`: its options; the program run without any display
// against the built-in simulator, ended by --seconds and by SIGHUP, SIGTERM and a closed
// status pipe, with its TempLog saved every time. Waiting for the device and resuming are
// the session's (tests/session).
#include "app/HeadlessLogger.h"
#include "platform/IniFile.h"
#include "tests/common/EventLoop.h"
#include "tests/common/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <signal.h>
#include <filesystem>
#include <tuple>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;
using ::testing::HasSubstr;

TEST(HeadlessOptions, AreReadOrRefusedWithOneLineNamingTheOption)
{
    std::string problem;
    const std::optional<HeadlessOptions> taken =
        ParseHeadlessOptions({"tessek", "--port=/dev/rfcomm0", "--log", "--seconds", "31536000", "--quiet",
                              "--wideband", "SIM-WB", "--wideband-protocol=AEM"},
                             problem);
    ASSERT_TRUE(taken) << problem;
    EXPECT_EQ(std::tuple(taken->Port, taken->Seconds, taken->Quiet, taken->WidebandPort, taken->WidebandProto),
              std::tuple(std::string("/dev/rfcomm0"), int64_t{31536000}, true, std::string("SIM-WB"),
                         std::optional(WidebandProtocol::Aem)));
    // A year at most; every value present and meaningful.
    const std::pair<Lines, const char*> refused[] = {
        {{"--seconds", "0"}, "--seconds"},
        {{"--seconds", "9x"}, "--seconds"},
        {{"--seconds", "31536001"}, "--seconds"},
        {{"--seconds"}, "--seconds"},
        {{"--port="}, "--port"},
        {{"--wideband="}, "--wideband"},
        {{"--wideband-protocol", "lc1"}, "--wideband-protocol"},
        {{"--verbose"}, "--verbose"},
    };
    for (const auto& [options, named] : refused) {
        SCOPED_TRACE(::testing::PrintToString(options));
        Lines arguments = {"tessek", "--log"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        problem.clear();
        EXPECT_FALSE(ParseHeadlessOptions(arguments, problem));
        EXPECT_EQ(problem.find('\n'), std::string::npos);
        EXPECT_THAT(problem, HasSubstr(named));
    }
}

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

// Three runs on the built-in simulator, --port overriding the settings' port for the run and
// storing nothing: one ended by a closed terminal (SIGHUP, then SIGTERM while the first is
// being served), one by --seconds after the reader of its status pipe has gone (SIGPIPE).
// Neither ends abruptly: each saves its TempLog under the next number and its data logs.
// A third, under a file size limit, ends its files as on a full disk.
TEST_F(HeadlessProgram, HangUpSecondsAndAClosedStatusPipeEndItsRunsCleanly)
{
    folder.Write("Tessek.ini", "[ComPort]\nPort=COM99\n[CurrentSet]\n1=8F\n2=86\n3=9A\n");
    process.start(program, {"--log", "--port", "SIM"});
    ASSERT_TRUE(test::PumpUntil([&] { return !DataLogs(folder, ".csv").empty(); }, 20000));
    test::PumpFor(500);
    ::kill(static_cast<pid_t>(process.processId()), SIGHUP);
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_EQ(Finish(), 0) << output;
    EXPECT_THAT(output, HasSubstr("Run 1 started on SIM"));
    EXPECT_THAT(folder.Read("TempLog1.txt"), HasSubstr("Done Logging"));

    // The shell reports the logger's own exit status after the pipe's reader took one byte.
    process.start("bash", {"-c",
                           "\"$0\" --log --port SIM --seconds 2 2>&1 | head -c1 >/dev/null; echo \"status "
                           "${PIPESTATUS[0]}\"",
                           program});
    ASSERT_EQ(Finish(), 0) << output;
    EXPECT_THAT(output, HasSubstr("status 0"));
    const std::string log = folder.Read("TempLog2.txt");
    EXPECT_THAT(log, ::testing::ContainsRegex("\n *[0-9]+\\.[0-9]{3} +[0-9]+rpm"));  // a sample line
    EXPECT_THAT(log, ::testing::EndsWith("\r\nCancel Logging\r\nDone Logging\r\n"));
    IniFile ini(folder.File("Tessek.ini"));
    EXPECT_EQ(ini.ReadInteger("AutoSave", "SaveNum", 0), 3);
    EXPECT_EQ(ini.ReadString("ComPort", "Port", ""), "COM99");
    EXPECT_EQ(DataLogs(folder, ".csv").size(), 2u);
    EXPECT_EQ(DataLogs(folder, ".msl").size(), 2u);

    // Under a file size limit of 2 KiB (ulimit -f) the files end as on a full disk, said,
    // and the logger is not killed by SIGXFSZ.
    process.start("bash", {"-c", "ulimit -f 2; \"$0\" --log --port SIM --seconds 3; echo \"status $?\"", program});
    ASSERT_EQ(Finish(), 0) << output;
    EXPECT_THAT(output, HasSubstr("File too large"));
    EXPECT_THAT(output, HasSubstr("status 0"));
}

}  // namespace
}  // namespace tessek
