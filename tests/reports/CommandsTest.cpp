// The report texts, and the Log, Codes and Adaptives buttons of the main window end to
// end against the simulated LM on a pseudo-terminal.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "app/ReportsWindow.h"
#include "logfiles/DataLog.h"
#include "platform/IniFile.h"
#include "reports/FaultCodes.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ErrorRecorder.h"
#include "tests/common/ScriptedTime.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
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
    const auto files = [&] {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(rig.folder.File("logs")))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };

    w->btnCodes->click();
    ReportsWindow* reports = w->findChild<ReportsWindow*>();
    ASSERT_NE(reports, nullptr);
    EXPECT_TRUE(reports->isVisible());
    ASSERT_EQ(reports->FaultList->topLevelItemCount(), 3);
    const QTreeWidgetItem* rich = reports->FaultList->topLevelItem(1);
    EXPECT_EQ(rich->text(0).toStdString(), "52");
    EXPECT_EQ(rich->text(1).toStdString(), "Rich Condition");
    EXPECT_EQ(rich->text(2).toStdString(), "FaultCode1 $04");
    EXPECT_FALSE(rich->text(3).isEmpty());
    EXPECT_EQ(w->Memo->Lines(),
              (Lines{"05   00000101", "FaultCode1", "0 $01 = Distributor Sync", "2 $04 = Rich Condition, Code 52",
                     "00   00000000", "FaultCode2", "80   10000000", "FaultCode3",
                     "7 $80 = Coolant Temp Sensor, Code 22", "00   00000000", "FaultCode4"}));
    ASSERT_EQ(files().size(), 2u);
    const std::string codesText = rig.folder.Read("logs/" + files()[1]);
    EXPECT_EQ(codesText.substr(codesText.find("\r\n") + 2), w->MemoText());
    EXPECT_NE(reports->Saved->text().toStdString().find(files()[1]), std::string::npos);

    // The LM is still at the high rate and understands the next handshake at once.
    w->btnGetAdaptives->click();
    EXPECT_EQ(rig.lm.IgnoredCount(), 0u);
    EXPECT_EQ(rig.lm.RequestCount(), 4u + 13u);
    EXPECT_EQ(w->MemoText().rfind("Adaptives Report   ", 0), 0u);
    EXPECT_EQ(reports->Tabs->currentIndex(), 1);
    EXPECT_EQ(reports->Grid->item(0, 4)->text().toStdString(), "-13.3 %\n6F hex");  // cell 9, lean
    EXPECT_EQ(reports->Grid->item(1, 4)->text().toStdString(), "+12.5 %\n90 hex");  // cell 8, rich
    EXPECT_EQ(reports->Grid->item(1, 4)->background().color(), QColor(255, 188, 178));
    EXPECT_EQ(reports->IdleCell->text().toStdString(), "Idle cell (12): -2.3 % (7D hex)");
    EXPECT_EQ(reports->Grid->verticalHeaderItem(0)->text().toStdString(), "2000 rpm\nand up");
    EXPECT_EQ(reports->Grid->horizontalHeaderItem(5)->text().toStdString(), "MP5\nand up");
    const std::vector<std::string> all = files();
    ASSERT_EQ(all.size(), 4u);
    const auto adaptives = std::find_if(all.begin(), all.end(), [](const std::string& name) {
        return name.size() > 14 && name.substr(name.size() - 14) == "_adaptives.txt";
    });
    ASSERT_NE(adaptives, all.end());
    EXPECT_EQ(rig.folder.Read("logs/" + *adaptives), w->MemoText());

    // Reopened from its button after being closed; a second reading of the codes goes on top.
    reports->close();
    w->btnReports->click();
    EXPECT_TRUE(reports->isVisible());
    std::filesystem::remove_all(rig.folder.File("logs"));
    rig.folder.Write("logs", "");
    w->btnCodes->click();
    EXPECT_EQ(reports->FaultList->topLevelItemCount(), 6);
    EXPECT_EQ(reports->Saved->text().toStdString().rfind("Report not saved: ", 0), 0u);
    EXPECT_EQ(w->Memo->Lines().size(), 11u);  // the report alone
    EXPECT_EQ(rig.folder.Read("logs"), "");
}

// Codes, Adaptives and Log alike: after both handshake bytes the failure line is the only
// line, and the rate is set back.
TEST(ReportsEndToEnd, AFailedHandshakeLeavesOnlyItsLineAtTheLowRate)
{
    const std::tuple<const char*, QPushButton * TfrmMain::*, const char*> rows[] = {
        {"Codes", &TfrmMain::btnCodes, "LOWBAUD"},
        {"Adaptives", &TfrmMain::btnGetAdaptives, "LOWBAUD"},
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

// A logging run: Codes is pressed in its first sample (and does nothing while the run is
// busy), Log in the third while it waits for its MPH bytes: the decoder finishes its
// exchange and the sample goes no further. The window's lines, its automatic log and the
// data log all show the same two samples.
TEST(LogEndToEnd, TextsAutomaticLogAndDataLogOfARunWithPressesInside)
{
    constexpr uint32_t kHeaderRequests = 2, kSampleRequests = 9;  // 73 and 9A; RPM and MPH take two
    test::ErrorRecorder errors;
    SimRig rig;
    // Waits that only run out (the extra handshake byte's second reply, the requests after
    // the stop) end after 100 ms of silence instead of their real 500 ms.
    const auto w = rig.Open(std::make_shared<test::ScriptedTime>(100),
                            "[CurrentSet]\n1=8F\n2=69\n3=86\n4=A0\n5=CE\n6=12\n7=81\n8=4A\n");
    // The presses land inside the run's waits as the bytes of an exchange arrive.
    std::map<uint32_t, std::function<void()>> presses = {
        {kHeaderRequests + 1, [&] { w->btnCodes->click(); }},
        {kHeaderRequests + 2 * kSampleRequests + 3, [&] { w->btnLog->click(); }}};
    const auto received = w->ComPort.OnRxChar;
    w->ComPort.OnRxChar = [&](TCustomComPort* sender, int32_t count) {
        received(sender, count);
        if (!presses.empty() && rig.lm.RequestCount() >= presses.begin()->first)
            presses.extract(presses.begin()).mapped()();
    };
    w->btnLog->click();
    w->ComPort.OnRxChar = received;                                               // the hook refers to this scope
    EXPECT_EQ(rig.lm.RequestCount(), kHeaderRequests + 2 * kSampleRequests + 4);  // none for Codes
    const Lines lines = w->Memo->Lines();
    ASSERT_EQ(lines.size(), 7u) << w->MemoText();
    EXPECT_EQ(lines[0].rfind("Logging  Start at ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "BARO =   0.19hg   Coolant Temp = 131.9F (9A) ");
    EXPECT_EQ(lines[2], " Time    RPM; MPH; MAP; Knock; Cyl 1 Retard; Skip value; Throttle Flg; $4A; ");
    EXPECT_EQ(Lines(lines.begin() + 5, lines.end()), (Lines{"Cancel Logging", "Done Logging"}));
    EXPECT_FALSE(w->Busy());
    EXPECT_EQ(rig.folder.Read("TempLog1.txt"), w->MemoText());
    EXPECT_EQ(IniFile(rig.folder.File("Tessek.ini")).ReadInteger("AutoSave", "SaveNum", 0), 2);
    EXPECT_TRUE(errors.messages.empty());
    // MAP at or above BaroRef is boost in psi, then on the linear scales (90 - 85 counts of
    // boost, 90 counts absolute); the raw bytes are decimal numbers. The knock retard of
    // 31 deg raises the default alarm in the first sample, whose marker the second row
    // carries.
    std::string csv =
        "Time (s),Engine Speed (rpm),Engine Speed raw,Road Speed (mph),Road Speed raw,MAP (psi/-inHg),MAP raw,"
        "Boost (psi),MAP abs (kPa),Knock (v),Knock raw,Cyl 1 Retard (deg),Cyl 1 Retard raw,Throttle "
        "Flg,$4A,Marker,Marker text\r\n";
    for (const std::string& line : {lines[3], lines[4]}) {
        std::smatch time;
        ASSERT_TRUE(
            std::regex_match(line, time, std::regex(" *([0-9.]+) 2000rpm  50.00mph  0.86psi 2.50v 31deg  5A  07 ")))
            << line;
        csv += time[1].str() + ",2000,8000,50.00,3200,0.86,90,0.86,106.9,2.50,128,31,255,90,7," +
               (line == lines[4] ? "1,Cyl 1 Retard 31 deg over 0 deg" : ",") + "\r\n";
    }
    EXPECT_EQ(rig.folder.Read(NewestDataLog(rig.folder.Path()).substr(rig.folder.Path().size())), csv);
}

}  // namespace
}  // namespace tessek
