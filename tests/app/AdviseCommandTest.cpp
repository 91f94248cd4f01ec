// `tessek --advise`, the program run without any display: a steady 5 % lean drive in one
// cell with a knock, written as fuel and spark tables beside the log or where --out says,
// against the default targets or --target; a log without AFR and bad options refused with
// one line each.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>

#include <string>
#include <tuple>

#include "tests/common/CommandRun.h"
#include "tests/common/TempFolder.h"

namespace tessek {
namespace {

TEST(AdviseCommand, WritesFuelAndSparkTablesOrSaysInOneLineWhyNot)
{
    test::TempFolder folder;
    const QString program = QString::fromStdString(folder.File("tessek"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/tessek", program));
    std::string drive = "Time (s),Engine Speed (rpm),Boost (psi),AFR,Cyl 2 Retard (deg)\n";
    for (int i = 0; i < 40; ++i)
        drive += std::to_string(i * 0.0625) + ",2250,-6.25,15.435," + (i == 7 ? "3" : "0") + "\n";
    folder.Write("drive.csv", drive);
    folder.Write("noafr.csv", "Time (s),Engine Speed (rpm),Boost (psi)\n0,2250,-6\n0.1,2250,-6\n");
    folder.Write("nomap.csv", "Time (s),RPM,Lambda\n0,2250,1\n0.1,2250,1\n");
    const auto run = [&](const QStringList& arguments) {
        return test::RunWithoutDisplay(program, folder.Path(), arguments);
    };
    const std::string header =
        "Boost (psi) \\ Engine Speed (rpm),0,500,1000,1500,2000,2500,3000,3500,4000,4500,5000,5500\r\n";

    // 38 readings (the first two have no sample 0.3 s before them) in 2000-2500 rpm, -7.5 to
    // -5 psi, whose default target is 14.7.
    const auto [written, out, err] = run({"--advise", "drive.csv"});
    ASSERT_EQ(written, 0) << err;
    EXPECT_TRUE(out.ends_with("\ndrive-fuel.csv\n")) << out;
    const std::string fuel = folder.Read("drive-fuel.csv");
    EXPECT_TRUE(fuel.starts_with(header + "12.5,,,,,,,,,,,,\r\n")) << fuel;
    EXPECT_NE(fuel.find("\r\n-7.5,,,,,5.0,,,,,,,\r\n-10,"), std::string::npos) << fuel;
    EXPECT_NE(folder.Read("drive-spark.csv").find("\r\n-7.5,,,,,-3,,,,,,,\r\n"), std::string::npos);

    const auto [targeted, out2, err2] = run({"--advise=drive.csv", "--target", "15", "--out", "advice.csv"});
    ASSERT_EQ(targeted, 0) << err2;
    EXPECT_TRUE(out2.ends_with("\nadvice.csv\n")) << out2;
    EXPECT_NE(folder.Read("advice.csv").find("\r\n-7.5,,,,,2.9,,"), std::string::npos);
    EXPECT_NE(folder.Read("advice-spark.csv").find("\r\n-7.5,,,,,-3,,"), std::string::npos);

    const std::tuple<QStringList, int, std::string> refused[] = {
        {{"--advise", "noafr.csv"}, 1, "tessek --advise: noafr.csv: The log has no AFR (or Lambda) column.\n"},
        {{"--advise", "nomap.csv"},
         1,
         "tessek --advise: nomap.csv: The log has no MAP (Boost, MAP abs or MAP) column.\n"},
        {{"--advise", "drive.csv", "--target", "rich"},
         2,
         "tessek --advise: --target takes an AFR from 6 to 25, not \"rich\"\n"},
        {{"--advise", "drive.csv", "--spark"},
         2,
         "tessek --advise: unknown option \"--spark\" (usage: tessek --advise LOG [--target AFR] [--out FILE])\n"},
    };
    for (const auto& [arguments, code, line] : refused) {
        const auto [exitCode, printed, problem] = run(arguments);
        EXPECT_EQ(std::tuple(exitCode, printed, problem), std::tuple(code, std::string(), line));
    }
}

}  // namespace
}  // namespace tessek
