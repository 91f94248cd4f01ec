// The report texts, and the Codes and Adaptives buttons of the main window end to end
// against the simulated LM on a pseudo-terminal. (The window's Log is the session's run:
// tests/logging/LogRunTest.cpp and the front ends' tests.)
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "app/ReportsWindow.h"
#include "reports/FaultCodes.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ScriptedTime.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>

#include <filesystem>
#include <sstream>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

TEST(FaultCodeReport, EachBlockNamesTheFaultOfEachSetBit)
{
    EXPECT_EQ(FaultBlockLines(3, 0xFF),
              (Lines{"FF   11111111", "FaultCode4", "0 $01 = Oxygen Sensor, Code 21?",
                     "1 $02 = Engine Running Too Cool, Code 17?", "2 $04 = Battery Voltage Sense, Code 16",
                     "3 $08 = Vehicle Distance Sensor, Code 15", "4 $10 = MAP Electrical, Code 13",
                     "5 $20 = MAP Pneumatic, Code 14", "6 $40 = Memory Standby Power Lost, Code 12",
                     "7 $80 = Engine Not Cranked Since Battery Disconnected, Code 11"}));
}

// The simulated LM with the example memory, quiet so its idle stream stays out of the way,
// and a private program folder whose settings name the LM's port.
struct SimRig {
    SimRig()
    {
        // Address and value: the fault bytes 05 00 80 00, the idle cell, the grid cells from
        // 50 to 5B; what a logging run reads (baro, coolant, the slots of its test).
        std::istringstream bytes(
            "46 05 48 80 5C 7D 50 80 51 7E 52 83 53 80 54 7B 55 85 56 80 57 80 58 90 59 6F 5A 80 "
            "5B 81 73 55 9A 9A 90 40 8F 1F 6A 80 69 0C 86 5A A0 80 CE FF 81 5A 4A 07");
        sim::LmMemory memory{};
        for (int address, value; bytes >> std::hex >> address >> value;)
            memory[static_cast<size_t>(address)] = static_cast<uint8_t>(value);
        lm.SetQuiet(true);
        lm.SetMemory(memory);
    }
    // The main window with `settings` added; with `time`, on that clock and event pump.
    std::unique_ptr<TfrmMain> Open(std::shared_ptr<test::ScriptedTime> time = {}, const std::string& settings = "")
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + lm.SlavePath() + "\n" + settings);
        return std::make_unique<TfrmMain>(
            folder.Path(), time ? TickSource([t = time.get()] { return t->Now(); }) : TickSource(), time);
    }
    test::TempFolder folder;
    sim::SimulatedLm lm;
};

// Every report read is kept in logs/ and shown in the Reports window; the text area holds
// exactly the report, and the second handshake goes at the high rate at once. A logs folder
// that cannot be made costs the files, not the report.
TEST(ReportsEndToEnd, ReadingsAreSavedAndShownInTheReportsWindow)
{
    SimRig rig;
    const auto w = rig.Open({}, "[AdaptiveGrid]\nR1=2000 rpm\n");
    const auto filesInLogs = [&] {
        return std::distance(std::filesystem::directory_iterator(rig.folder.File("logs")), {});
    };
    // The text file the window names as saved.
    const auto savedText = [&](const ReportsWindow* reports) {
        const std::string saved = reports->Saved->text().toStdString();  // "Saved as <text file> and <CSV>"
        const std::string prefix = "Saved as " + rig.folder.Path();
        return rig.folder.Read(saved.substr(prefix.size(), saved.find(" and ") - prefix.size()));
    };

    w->btnCodes->click();
    ReportsWindow* reports = w->findChild<ReportsWindow*>();
    ASSERT_NE(reports, nullptr);
    EXPECT_TRUE(reports->isVisible());
    // The flags set in 05 00 80 00, in the report's order.
    ASSERT_EQ(reports->FaultList->topLevelItemCount(), 3);
    EXPECT_EQ(reports->FaultList->topLevelItem(1)->text(2).toStdString(), "FaultCode1 $04");
    EXPECT_EQ(filesInLogs(), 2);
    const std::string codesText = savedText(reports);
    EXPECT_EQ(codesText.substr(codesText.find("\r\n") + 2), w->MemoText());

    // The LM is still at the high rate and understands the next handshake at once.
    w->btnGetAdaptives->click();
    EXPECT_EQ(rig.lm.IgnoredCount(), 0u);
    EXPECT_EQ(rig.lm.RequestCount(), 4u + 13u);
    EXPECT_EQ(reports->Tabs->currentIndex(), 1);
    EXPECT_EQ(reports->Grid->item(0, 4)->text().toStdString(), "-13.3 %\n6F hex");      // cell 9, lean
    EXPECT_EQ(reports->Grid->item(1, 4)->background().color(), QColor(255, 188, 178));  // cell 8, rich
    EXPECT_EQ(reports->IdleCell->text().toStdString(), "Idle cell (12): -2.3 % (7D hex)");
    EXPECT_EQ(reports->Grid->verticalHeaderItem(0)->text().toStdString(), "2000 rpm\nand up");
    EXPECT_EQ(filesInLogs(), 4);
    EXPECT_EQ(savedText(reports), w->MemoText());

    // Reopened from its button after being closed; a second reading of the codes goes on top.
    reports->close();
    w->btnReports->click();
    EXPECT_TRUE(reports->isVisible());
    std::filesystem::remove_all(rig.folder.File("logs"));
    rig.folder.Write("logs", "");
    w->btnCodes->click();
    EXPECT_EQ(reports->FaultList->topLevelItemCount(), 6);
    EXPECT_EQ(reports->Saved->text().toStdString().rfind("Report not saved: " + rig.folder.File("logs/"), 0), 0u);
    EXPECT_EQ(w->Memo->Lines().size(), 11u);  // the report alone
    EXPECT_EQ(rig.folder.Read("logs"), "");
}

// The reports (Codes; Adaptives shares its code) and Log alike: after both handshake bytes
// the failure line is the only line, and the rate is set back.
TEST(ReportsEndToEnd, AFailedHandshakeLeavesOnlyItsLineAtTheLowRate)
{
    const std::tuple<const char*, QPushButton * TfrmMain::*, const char*> rows[] = {
        {"Codes", &TfrmMain::btnCodes, "LOWBAUD"},
        {"Log", &TfrmMain::btnLog, "976"},  // the rate really set back is 977
    };
    for (const auto& [name, button, rate] : rows) {
        SCOPED_TRACE(name);
        SimRig rig;
        rig.lm.SetFault(sim::LmFault::Silent);
        const auto time = std::make_shared<test::ScriptedTime>();
        const auto w = rig.Open(time);
        const uint32_t start = time->Now();
        ((*w).*button)->click();
        EXPECT_GE(time->Now() - start, 2200u);  // both echo waits ran out
        EXPECT_EQ(w->Memo->Lines(),
                  Lines{"Failed to establish high baud mode with LM.  Baud set back to " + std::string(rate)});
        EXPECT_EQ(w->ComPort.CustomBaudRate(), 977);
        EXPECT_FALSE(w->Busy());
    }
}

}  // namespace
}  // namespace tessek
