// The commands that work on a saved log, the program run without any display: `tessek
// --advise` (a steady 5 % lean drive in one cell with a knock, written as fuel and spark
// tables beside the log or where --out says, against the default targets or --target) and
// `tessek --dyno` (the curve of a log's first-gear pull written beside it); a log they
// cannot use and bad options refused with one line each.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <string>
#include <tuple>
#include <vector>

#include "tests/common/PullLog.h"
#include "tests/common/TempFolder.h"

namespace tessek {
namespace {

class LogCommand : public ::testing::Test {
protected:
    LogCommand() { EXPECT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/tessek", program)); }

    // The program run in the folder without a display (DISPLAY, WAYLAND_DISPLAY and
    // QT_QPA_PLATFORM taken out): its exit code (-1 when it did not end normally within
    // 30 s), standard output and standard error.
    std::tuple<int, std::string, std::string> Run(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QString::fromStdString(folder.Path()));
        process.start(program, arguments);
        const bool ended = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
        return {ended ? process.exitCode() : -1, process.readAllStandardOutput().toStdString(),
                process.readAllStandardError().toStdString()};
    }
    // Each command line ends with its exit code and the line on standard error alone.
    void ExpectRefused(const std::vector<std::tuple<QStringList, int, std::string>>& refused)
    {
        for (const auto& [arguments, code, line] : refused)
            EXPECT_EQ(Run(arguments), std::tuple(code, std::string(), line));
    }

    test::TempFolder folder;
    const QString program = QString::fromStdString(folder.File("tessek"));
};

TEST_F(LogCommand, AdviseWritesFuelAndSparkTablesOrSaysInOneLineWhyNot)
{
    std::string drive = "Time (s),Engine Speed (rpm),Boost (psi),AFR,Cyl 2 Retard (deg)\n";
    for (int i = 0; i < 40; ++i)
        drive += std::to_string(i * 0.0625) + ",2250,-6.25,15.435," + (i == 7 ? "3" : "0") + "\n";
    folder.Write("drive.csv", drive);
    folder.Write("noafr.csv", "Time (s),Engine Speed (rpm),Boost (psi)\n0,2250,-6\n0.1,2250,-6\n");
    const std::string header =
        "Boost (psi) \\ Engine Speed (rpm),0,500,1000,1500,2000,2500,3000,3500,4000,4500,5000,5500\r\n";

    // 38 readings (the first two have no sample 0.3 s before them) in 2000-2500 rpm, -7.5 to
    // -5 psi, whose default target is 14.7.
    const auto [written, out, err] = Run({"--advise", "drive.csv"});
    ASSERT_EQ(written, 0) << err;
    EXPECT_TRUE(out.ends_with("\ndrive-fuel.csv\n")) << out;
    const std::string fuel = folder.Read("drive-fuel.csv");
    EXPECT_TRUE(fuel.starts_with(header + "12.5,,,,,,,,,,,,\r\n")) << fuel;
    EXPECT_NE(fuel.find("\r\n-7.5,,,,,5.0,,,,,,,\r\n-10,"), std::string::npos) << fuel;
    EXPECT_NE(folder.Read("drive-spark.csv").find("\r\n-7.5,,,,,-3,,,,,,,\r\n"), std::string::npos);

    const auto [targeted, out2, err2] = Run({"--advise=drive.csv", "--target", "15", "--out", "advice.csv"});
    ASSERT_EQ(targeted, 0) << err2;
    EXPECT_TRUE(out2.ends_with("\nadvice.csv\n")) << out2;
    EXPECT_NE(folder.Read("advice.csv").find("\r\n-7.5,,,,,2.9,,"), std::string::npos);
    EXPECT_NE(folder.Read("advice-spark.csv").find("\r\n-7.5,,,,,-3,,"), std::string::npos);

    ExpectRefused({
        {{"--advise", "noafr.csv"}, 1, "tessek --advise: noafr.csv: The log has no AFR (or Lambda) column.\n"},
        {{"--advise", "drive.csv", "--target", "rich"},
         2,
         "tessek --advise: --target takes an AFR from 6 to 25, not \"rich\"\n"},
        {{"--advise", "drive.csv", "--spark"},
         2,
         "tessek --advise: unknown option \"--spark\" (usage: tessek --advise LOG [--target AFR] [--out FILE])\n"},
    });
}

TEST_F(LogCommand, DynoWritesTheCurveBesideTheLogOrSaysInOneLineWhyNot)
{
    folder.Write("pulls.csv", test::PullLogCsv());
    folder.Write("cruise.csv",
                 "Time (s),Engine Speed (rpm),Throttle (%),Acceleration (g),Power (hp),Torque (lb-ft)\n"
                 "0,3000,40,0.1,30,52\n0.1,3010,40,0.1,30,52\n0.2,3020,40,0.1,30,52\n0.3,3030,40,0.1,30,52\n");

    const auto [written, out, err] = Run({"--dyno", "pulls.csv"});
    ASSERT_EQ(written, 0) << err;
    EXPECT_EQ(out.substr(0, out.find('\n')), "Pull from 2.9 s, gear 1, 2607-5886 rpm: in the curve");
    EXPECT_TRUE(out.ends_with("\npulls-dyno.csv\n")) << out;
    const std::string csv = folder.Read("pulls-dyno.csv");
    EXPECT_EQ(csv.substr(0, csv.find('\n') + 1), "Engine Speed (rpm),Power (hp),Torque (lb-ft),Samples\r\n");
    EXPECT_NE(csv.find("\r\n3450,"), std::string::npos);  // one row per 100 rpm bin

    ExpectRefused({
        {{"--dyno", "cruise.csv"},
         1,
         "tessek --dyno: cruise.csv: No full-throttle acceleration in this log: no 100 rpm bin has 3 samples at full "
         "throttle with an acceleration above 0 and at most 1.5 g.\n"},
        {{"--dyno=pulls.csv", "--out"},
         2,
         "tessek --dyno: --out needs a file name (usage: tessek --dyno LOG [--out FILE])\n"},
    });
}

}  // namespace
}  // namespace tessek
