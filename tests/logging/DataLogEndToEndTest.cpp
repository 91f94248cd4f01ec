// A logging run through the main window against the simulated LM writes both data logs,
// and every number in them is the number the window's sample line shows.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "platform/ErrorDisplay.h"
#include "sim/SimulatedLm.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <regex>
#include <sstream>

namespace tessek {
namespace {

std::vector<std::string> Split(const std::string& text, const std::string& separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos)
            return parts;
        start = at + separator.size();
    }
}

class DataLogEndToEnd : public ::testing::Test {
protected:
    DataLogEndToEnd()
    {
        sim::LmMemory memory{};
        for (auto [address, value] : std::initializer_list<std::pair<uint8_t, uint8_t>>{{0x73, 0x55},
                                                                                        {0x9A, 0x9A},
                                                                                        {0x90, 0x40},
                                                                                        {0x8F, 0x1F},
                                                                                        {0x6A, 0x80},
                                                                                        {0x69, 0x0C},
                                                                                        {0x86, 0x50},
                                                                                        {0xA0, 0x80},
                                                                                        {0xCE, 0xFF},
                                                                                        {0x81, 0x5A},
                                                                                        {0x4A, 0x07}})
            memory[address] = value;
        lm.SetMemory(memory);
        lm.SetQuiet(true);
        previous = SetErrorDisplay([this](const std::string& message) { errors.push_back(message); });
    }
    ~DataLogEndToEnd() override { SetErrorDisplay(previous); }

    // Logs `samples` sample lines with the slots of `currentSet`, then presses Log again.
    std::unique_ptr<TfrmMain> Log(const std::string& currentSet, size_t samples)
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n[CurrentSet]\n" + currentSet);
        auto window = std::make_unique<TfrmMain>(folder.Path());
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (window->Memo->Lines().size() >= 3 + samples) {
                watch.stop();
                window->btnLog->click();
            }
        });
        watch.start(2);
        window->btnLog->click();
        return window;
    }
    // The one file of the run with `extension` in logs/, split into lines.
    std::vector<std::string> Lines(const std::string& extension)
    {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder.File("logs")))
            if (entry.path().extension() == extension)
                found.push_back(entry.path().filename().string());
        EXPECT_EQ(found.size(), 1u);
        if (found.empty())
            return {};
        EXPECT_TRUE(
            std::regex_match(found[0], std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}_[0-9]{2}-[0-9]{2}-[0-9]{2}\\..*")));
        std::vector<std::string> lines = Split(folder.Read("logs/" + found[0]), "\r\n");
        EXPECT_EQ(lines.back(), "") << "the file ends with a complete line";
        lines.pop_back();
        return lines;
    }
    // The sample lines of the text area.
    std::vector<std::string> SampleLines(TfrmMain& window)
    {
        std::vector<std::string> lines;
        for (const std::string& line : window.Memo->Lines())
            if (std::regex_search(line, std::regex("^ *[0-9]+\\.[0-9]{3} ")))
                lines.push_back(line);
        return lines;
    }

    test::TempFolder folder;
    sim::SimulatedLm lm;
    std::vector<std::string> errors;
    ErrorDisplay previous;
};

TEST_F(DataLogEndToEnd, BothFilesHoldEveryLineTheWindowShows)
{
    auto window = Log("1=8F\n2=69\n3=86\n4=A0\n5=CE\n6=12\n7=81\n8=4A\n", 4);
    const std::vector<std::string> shown = SampleLines(*window);
    ASSERT_GE(shown.size(), 4u) << window->MemoText();

    const std::vector<std::string> csv = Lines(".csv");
    ASSERT_EQ(csv.size(), shown.size() + 1);
    EXPECT_EQ(csv[0],
              "Time (s),Engine Speed (rpm),Engine Speed raw,Road Speed (mph),Road Speed raw,MAP (psi/-inHg),MAP raw,"
              "Knock (v),Knock raw,Cyl 1 Retard (deg),Cyl 1 Retard raw,Throttle Flg,$4A");
    const std::vector<std::string> msl = Lines(".msl");
    ASSERT_EQ(msl.size(), shown.size() + 2);
    EXPECT_EQ(msl[0],
              "Time\tEngine Speed\tEngine Speed raw\tRoad Speed\tRoad Speed raw\tMAP\tMAP raw\tKnock\tKnock raw\tCyl 1 "
              "Retard\tCyl 1 Retard raw\tThrottle Flg\t$4A");
    EXPECT_EQ(msl[1], "s\trpm\t\tmph\t\tpsi/-inHg\t\tv\t\tdeg\t\t\t");
    for (size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE(shown[i]);
        // "  0.123 2000rpm  50.00mph  1.75hg  2.50v 31deg  5A  07 ": MAP below BaroRef is
        // vacuum, written as minus inches of mercury; the raw bytes are decimal numbers.
        std::smatch m;
        ASSERT_TRUE(
            std::regex_match(shown[i], m, std::regex(" *([0-9.]+) 2000rpm  50.00mph  1.75hg  2.50v 31deg  5A  07 ")));
        const std::string row = m[1].str() + ",2000,8000,50.00,3200,-1.75,80,2.50,128,31,255,90,7";
        EXPECT_EQ(csv[i + 1], row);
        EXPECT_EQ(Split(msl[i + 2], "\t"), Split(row, ","));
    }
    EXPECT_TRUE(errors.empty());
}

TEST_F(DataLogEndToEnd, PerformanceFiguresAreEmptyInCsvAndZeroInMslWhereTheLineHasNone)
{
    auto window = Log("1=69\n2=8F\nPerformance=1\n", 6);
    const std::vector<std::string> shown = SampleLines(*window);
    const std::vector<std::string> csv = Lines(".csv");
    const std::vector<std::string> msl = Lines(".msl");
    ASSERT_EQ(csv.size(), shown.size() + 1);
    ASSERT_EQ(msl.size(), shown.size() + 2);
    EXPECT_EQ(csv[0],
              "Time (s),Road Speed (mph),Road Speed raw,Engine Speed (rpm),Engine Speed raw,Acceleration (g),"
              "Power (hp),Torque (lb-ft)");
    EXPECT_EQ(Split(msl[1], "\t").back(), "lb-ft");
    for (size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE(shown[i]);
        const auto cells = Split(csv[i + 1], ",");
        const auto mslCells = Split(msl[i + 2], "\t");
        ASSERT_EQ(cells.size(), 8u);
        ASSERT_EQ(mslCells.size(), 8u);
        std::smatch m;
        if (std::regex_search(shown[i], m, std::regex(" *([-0-9.]+)G +([-0-9.]+)HP +([-0-9.]+)lb/ft $"))) {
            EXPECT_EQ(std::vector(cells.begin() + 5, cells.end()),
                      (std::vector<std::string>{m[1].str(), m[2].str(), m[3].str()}));
        } else {
            // A sample without elapsed time has no figures on its line.
            EXPECT_EQ(std::vector(cells.begin() + 5, cells.end()), (std::vector<std::string>{"", "", ""}));
            EXPECT_EQ(std::vector(mslCells.begin() + 5, mslCells.end()), (std::vector<std::string>{"0", "0", "0"}));
        }
    }
}

}  // namespace
}  // namespace tessek
