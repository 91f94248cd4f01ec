// The Codes and Adaptives buttons of the main window against the simulated LM.
#include "app/MainWindow.h"
#include "app/MemoWidget.h"
#include "sim/SimulatedLm.h"
#include "tests/common/ScriptedTime.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QPushButton>
#include <QTimer>

#include <mutex>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

const Lines kExampleAdaptives = {
    "Adaptives Report   <date>",
    "--------------------------------------------------------------------- ",
    " Adaptive Idle Cell (12) = lean 7D",
    " ",
    "      +---------+---------+---------+---------+---------+---------+",
    "      | lean 7E | rich 80 | rich 85 | rich 80 | lean 6F | rich 81 |",
    "  R1  +---------+---------+---------+---------+---------+---------+",
    "      | rich 80 | rich 83 | lean 7B | rich 80 | rich 90 | rich 80 |",
    "RPM 0 +---------+---------+---------+---------+---------+---------+",
    "  MAP 0        MP1       MP2       MP3       MP4       MP5",
};

// The simulated LM with the example memory, quiet so its idle stream stays out of the way,
// logging the handshake bytes it took (with their rate) and the addresses requested.
struct SimRig {
    SimRig()
    {
        sim::LmMemory memory{};
        memory[0x46] = 0x05;  // the fault bytes 05 00 80 00
        memory[0x48] = 0x80;
        memory[0x5C] = 0x7D;  // the idle cell, then the grid cells from 50 to 5B
        const uint8_t cells[] = {0x80, 0x7E, 0x83, 0x80, 0x7B, 0x85, 0x80, 0x80, 0x90, 0x6F, 0x80, 0x81};
        std::copy(std::begin(cells), std::end(cells), memory.begin() + 0x50);
        lm.SetQuiet(true);
        lm.SetMemory(memory);
        lm.SetLog([this](const std::string& line) {
            const std::lock_guard lock(mutex);
            if (const size_t at = line.find("rx 12 at "); at != std::string::npos)
                log.push_back(line.substr(at));
            else if (const size_t req = line.find(": request"); req != std::string::npos && req >= 2)
                log.push_back(line.substr(req - 2, 2));
        });
    }
    Lines Log()
    {
        const std::lock_guard lock(mutex);
        return log;
    }
    std::mutex mutex;  // declared before the LM, whose thread may still log while it stops
    Lines log;
    sim::SimulatedLm lm;
};

// The main window in a private program folder naming the LM's port; with `time`, on that
// clock and event pump.
struct Window : test::TempFolder, TfrmMain {
    explicit Window(const SimRig& rig, std::shared_ptr<test::ScriptedTime> time = {})
        : TfrmMain(Settings(rig), time ? TickSource([t = time.get()] { return t->Now(); }) : TickSource(), time)
    {
    }
    std::string Settings(const SimRig& rig)
    {
        test::TempFolder::Write("Tessek.ini", "[ComPort]\nPort=" + rig.lm.SlavePath() + "\n");
        return test::TempFolder::Path();
    }
    // The text area with the date of an adaptives title shown as "<date>".
    Lines DatedLines() const
    {
        Lines lines = Memo->Lines();
        for (auto& line : lines) {
            if (line.rfind("Adaptives Report   ", 0) == 0 && line.size() > 19)
                line = "Adaptives Report   <date>";
        }
        return lines;
    }
};

TEST(ReportsEndToEnd, ReportsShowTheLmBytesAndTheNextHandshakeGoesAtTheHighRate)
{
    SimRig rig;
    Window w(rig);
    w.btnCodes->click();
    EXPECT_EQ(w.Memo->Lines(),
              (Lines{"05   00000101", "FaultCode1", "0 $01 = Distributor Sync", "2 $04 = Rich Condition, Code 52",
                     "00   00000000", "FaultCode2", "80   10000000", "FaultCode3",
                     "7 $80 = Coolant Temp Sensor, Code 22", "00   00000000", "FaultCode4"}));
    // The LM is still at the high rate and understands the next handshake at once.
    w.btnGetAdaptives->click();
    EXPECT_EQ(w.DatedLines(), kExampleAdaptives);
    EXPECT_EQ(rig.Log(), (Lines{"rx 12 at 977 baud: handshake", "46", "47", "48", "49", "rx 12 at 7680 baud: handshake",
                                "5C", "51", "53", "55", "57", "59", "5B", "50", "52", "54", "56", "58", "5A"}));
    EXPECT_EQ(w.ComPort.CustomBaudRate(), 7680);
    EXPECT_FALSE(w.Busy());
}

TEST(ReportsEndToEnd, HandshakeFailureLeavesOnlyTheFailureLineAtTheLowRate)
{
    for (const bool codes : {true, false}) {
        SCOPED_TRACE(codes ? "Codes" : "Adaptives");
        SimRig rig;
        rig.lm.SetFault(sim::LmFault::Silent);
        const auto time = std::make_shared<test::ScriptedTime>();
        Window w(rig, time);
        const uint32_t start = time->Now();
        (codes ? w.btnCodes : w.btnGetAdaptives)->click();
        EXPECT_GE(time->Now() - start, 2200u);  // both echo waits ran out
        EXPECT_EQ(w.Memo->Lines(), Lines{"Failed to establish high baud mode with LM.  Baud set back to LOWBAUD"});
        EXPECT_EQ(w.ComPort.CustomBaudRate(), 977);
        EXPECT_TRUE(w.ComPort.Connected());
        EXPECT_FALSE(w.Busy());
        // Both handshake bytes went out, the repeat at the high rate; no request after them.
        EXPECT_EQ(rig.Log(), (Lines{"rx 12 at 977 baud: silent", "rx 12 at 7680 baud: silent"}));
    }
}

// Codes pressed during a logging run: the press is served inside the run's waits and must
// neither replace the log nor send a fault code request between the run's exchanges.
TEST(ReportsEndToEnd, CodesPressedDuringALoggingRunChangesNothing)
{
    SimRig rig;
    Window w(rig);
    bool pressedWhileBusy = false;
    QTimer::singleShot(300, &w, [&] {
        pressedWhileBusy = w.Busy();
        w.btnCodes->click();
    });
    QTimer::singleShot(600, &w, [&] { w.btnLog->click(); });
    w.btnLog->click();
    ASSERT_TRUE(pressedWhileBusy);
    const Lines lines = w.Memo->Lines();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines.front().rfind("Logging  Start at ", 0), 0u);
    EXPECT_EQ(lines.back(), "Done Logging");
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("FaultCode"), std::string::npos) << line;
    for (const std::string& entry : rig.Log())
        EXPECT_TRUE(entry < "46" || entry > "49") << entry;
}

}  // namespace
}  // namespace tessek
