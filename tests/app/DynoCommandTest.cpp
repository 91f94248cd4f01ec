// `tessek --dyno`, the program run without any display: the curve of a log's first-gear
// pull written beside it, a log without a full-throttle pull and a bad option refused
// with one line each.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>

#include <string>
#include <tuple>

#include "tests/common/CommandRun.h"
#include "tests/common/PullLog.h"
#include "tests/common/TempFolder.h"

namespace tessek {
namespace {

TEST(DynoCommand, WritesTheCurveBesideTheLogOrSaysInOneLineWhyNot)
{
    test::TempFolder folder;
    const QString program = QString::fromStdString(folder.File("tessek"));
    ASSERT_TRUE(QFile::copy(QCoreApplication::applicationDirPath() + "/tessek", program));
    folder.Write("pulls.csv", test::PullLogCsv());
    folder.Write("cruise.csv",
                 "Time (s),Engine Speed (rpm),Throttle (%),Acceleration (g),Power (hp),Torque (lb-ft)\n"
                 "0,3000,40,0.1,30,52\n0.1,3010,40,0.1,30,52\n0.2,3020,40,0.1,30,52\n0.3,3030,40,0.1,30,52\n");
    const auto run = [&](const QStringList& arguments) {
        return test::RunWithoutDisplay(program, folder.Path(), arguments);
    };

    const auto [written, out, err] = run({"--dyno", "pulls.csv"});
    ASSERT_EQ(written, 0) << err;
    EXPECT_EQ(out.substr(0, out.find('\n')), "Pull from 2.9 s, gear 1, 2607-5886 rpm: in the curve");
    EXPECT_NE(out.find("\nPeak power "), std::string::npos) << out;
    EXPECT_TRUE(out.ends_with("\npulls-dyno.csv\n")) << out;
    const std::string csv = folder.Read("pulls-dyno.csv");
    EXPECT_EQ(csv.substr(0, csv.find('\n') + 1), "Engine Speed (rpm),Power (hp),Torque (lb-ft),Samples\r\n");
    EXPECT_NE(csv.find("\r\n3450,"), std::string::npos);  // one row per 100 rpm bin

    const std::tuple<QStringList, int, std::string> refused[] = {
        {{"--dyno", "cruise.csv"},
         1,
         "tessek --dyno: cruise.csv: No full-throttle acceleration in this log: no 100 rpm bin has 3 samples at full "
         "throttle with an acceleration above 0 and at most 1.5 g.\n"},
        {{"--dyno=pulls.csv", "--out"},
         2,
         "tessek --dyno: --out needs a file name (usage: tessek --dyno LOG [--out FILE])\n"},
    };
    for (const auto& [arguments, code, line] : refused) {
        const auto [exitCode, printed, problem] = run(arguments);
        EXPECT_EQ(std::tuple(exitCode, printed, problem), std::tuple(code, std::string(), line));
    }
}

}  // namespace
}  // namespace tessek
