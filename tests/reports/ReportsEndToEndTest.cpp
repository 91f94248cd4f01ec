// The Codes and Adaptives buttons of the main window against an LM on a pseudo-terminal:
// the simulated LM with a fixed memory, its fault modes, and a peer that only echoes the
// handshake. Every window gets a private program folder whose settings name the port.
#include "app/MainWindow.h"
#include "app/Memo.h"
#include "platform/ErrorDisplay.h"
#include "sim/SimulatedLm.h"
#include "tests/common/PtyPeer.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>
#include <QPushButton>
#include <QTimer>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;
using sim::LmFault;
using sim::LmMemory;
using sim::SimulatedLm;

const std::string kFailureLine = "Failed to establish high baud mode with LM.  Baud set back to LOWBAUD";

const Lines kExampleFaultReport = {
    "05   00000101",
    "FaultCode1",
    "0 $01 = Distributor Sync",
    "2 $04 = Rich Condition, Code 52",
    "00   00000000",
    "FaultCode2",
    "80   10000000",
    "FaultCode3",
    "7 $80 = Coolant Temp Sensor, Code 22",
    "00   00000000",
    "FaultCode4",
};

// The report below the title line for the example cells.
const Lines kExampleAdaptivesBody = {
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

LmMemory ExampleMemory()
{
    LmMemory m{};
    m[0x46] = 0x05;
    m[0x47] = 0x00;
    m[0x48] = 0x80;
    m[0x49] = 0x00;
    const uint8_t cells[12] = {0x80, 0x7E, 0x83, 0x80, 0x7B, 0x85, 0x80, 0x80, 0x90, 0x6F, 0x80, 0x81};
    for (int n = 0; n < 12; ++n)
        m[0x50 + n] = cells[n];
    m[0x5C] = 0x7D;
    return m;
}

// Collects what reaches the application's error display while it lives.
class ErrorRecorder {
public:
    ErrorRecorder()
    {
        previous_ = SetErrorDisplay([this](const std::string& message) { messages.push_back(message); });
    }
    ~ErrorRecorder() { SetErrorDisplay(std::move(previous_)); }
    ErrorRecorder(const ErrorRecorder&) = delete;
    ErrorRecorder& operator=(const ErrorRecorder&) = delete;

    std::vector<std::string> messages;

private:
    ErrorDisplay previous_;
};

// The main window in a private program folder whose settings name `port`.
struct Window {
    explicit Window(const std::string& port)
    {
        folder.Write("Tessek.ini", "[ComPort]\nPort=" + port + "\n");
        frm = std::make_unique<TfrmMain>(folder.Path());
    }

    Lines MemoLines() const { return frm->Memo->Lines(); }

    test::TempFolder folder;
    ErrorRecorder errors;
    std::unique_ptr<TfrmMain> frm;
};

// The simulated LM with the example memory, quiet so its idle stream stays out of the
// way, and a record of the handshake bytes (with the rate each came at) and the
// requests it took.
struct SimRig {
    SimRig()
    {
        lm.SetQuiet(true);
        lm.SetMemory(ExampleMemory());
        lm.SetLog([this](const std::string& line) {
            // Each log line starts with a time stamp.
            const std::lock_guard lock(mutex);
            if (const size_t at = line.find("rx 12 at "); at != std::string::npos)
                handshakes.push_back(line.substr(at));
            else if (const size_t req = line.find(": request"); req != std::string::npos && req >= 2)
                requests.push_back(line.substr(req - 2, 2));
        });
    }
    Lines Handshakes()
    {
        const std::lock_guard lock(mutex);
        return handshakes;
    }
    // Addresses requested, in order, as two hexadecimal digits.
    Lines Requests()
    {
        const std::lock_guard lock(mutex);
        return requests;
    }

    // Declared before the LM, whose thread may still log while it stops.
    std::mutex mutex;
    Lines handshakes;
    Lines requests;
    SimulatedLm lm;
};

TEST(ReportsEndToEnd, CodesPrintsTheFaultBytesOfTheLm)
{
    SimRig rig;
    Window w(rig.lm.SlavePath());
    ASSERT_TRUE(w.frm->ComPort.Connected());
    w.frm->btnCodes->click();
    EXPECT_EQ(w.MemoLines(), kExampleFaultReport);
    EXPECT_FALSE(w.frm->Busy());
    EXPECT_TRUE(w.frm->btnGetAdaptives->isEnabled());
    EXPECT_EQ(w.frm->ComPort.CustomBaudRate(), 7680);
    EXPECT_EQ(rig.Requests(), (Lines{"46", "47", "48", "49"}));
    EXPECT_TRUE(w.errors.messages.empty()) << w.errors.messages.front();
}

TEST(ReportsEndToEnd, AdaptivesDrawsTheCellsOfTheLmDatedWhenRead)
{
    SimRig rig;
    Window w(rig.lm.SlavePath());
    const std::string before = w.frm->LocalDateTimeText();
    w.frm->btnGetAdaptives->click();
    const std::string after = w.frm->LocalDateTimeText();
    const Lines lines = w.MemoLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_TRUE(lines[0] == "Adaptives Report   " + before || lines[0] == "Adaptives Report   " + after) << lines[0];
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), kExampleAdaptivesBody);
    EXPECT_FALSE(w.frm->Busy());
    EXPECT_EQ(w.frm->ComPort.CustomBaudRate(), 7680);
    EXPECT_EQ(rig.Requests(), (Lines{"5C", "51", "53", "55", "57", "59", "5B", "50", "52", "54", "56", "58", "5A"}));
    EXPECT_TRUE(w.errors.messages.empty()) << w.errors.messages.front();
}

TEST(ReportsEndToEnd, SecondReportSendsItsHandshakeAtTheHighRate)
{
    SimRig rig;
    Window w(rig.lm.SlavePath());
    w.frm->btnCodes->click();
    ASSERT_EQ(w.MemoLines(), kExampleFaultReport);
    ASSERT_EQ(w.frm->ComPort.CustomBaudRate(), 7680);
    w.frm->btnGetAdaptives->click();
    const Lines lines = w.MemoLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), kExampleAdaptivesBody);
    w.frm->btnCodes->click();
    EXPECT_EQ(w.MemoLines(), kExampleFaultReport);
    // One handshake byte per report, the first at the low rate, then the LM already
    // at the high rate understands the next ones at once: no retry, nothing ignored.
    EXPECT_EQ(rig.Handshakes(), (Lines{"rx 12 at 977 baud: handshake", "rx 12 at 7680 baud: handshake",
                                       "rx 12 at 7680 baud: handshake"}));
    EXPECT_EQ(rig.lm.IgnoredCount(), 0u);
    EXPECT_EQ(rig.lm.RequestCount(), 4u + 13u + 4u);
}

class ReportHandshakeFails : public ::testing::TestWithParam<bool> {};

TEST_P(ReportHandshakeFails, LeavesOnlyTheFailureLineAtTheLowRate)
{
    SimRig rig;
    rig.lm.SetFault(LmFault::Silent);
    Window w(rig.lm.SlavePath());
    (GetParam() ? w.frm->btnCodes : w.frm->btnGetAdaptives)->click();
    EXPECT_EQ(w.MemoLines(), Lines{kFailureLine});
    EXPECT_EQ(w.frm->ComPort.CustomBaudRate(), 977);
    EXPECT_TRUE(w.frm->ComPort.Connected());
    EXPECT_FALSE(w.frm->Busy());
    EXPECT_TRUE(w.frm->btnSetup->isEnabled());
    EXPECT_EQ(rig.lm.RequestCount(), 0u);
    // Both handshake bytes went out, the repeat at the high rate; nothing after them.
    EXPECT_EQ(rig.Handshakes(), (Lines{"rx 12 at 977 baud: silent", "rx 12 at 7680 baud: silent"}));
    EXPECT_TRUE(w.errors.messages.empty()) << w.errors.messages.front();
}

INSTANTIATE_TEST_SUITE_P(Reports, ReportHandshakeFails, ::testing::Bool(),
                         [](const auto& row) { return row.param ? "Codes" : "Adaptives"; });

TEST(ReportsEndToEnd, HandshakeEchoedOnlyOnItsRepeatStillGivesTheReport)
{
    SimRig rig;
    rig.lm.SetFault(LmFault::RetryOnly);
    Window w(rig.lm.SlavePath());
    w.frm->btnCodes->click();
    EXPECT_EQ(w.MemoLines(), kExampleFaultReport);
    EXPECT_EQ(w.frm->ComPort.CustomBaudRate(), 7680);
}

// An LM that echoes every request but never answers: each block decodes the echo of
// its own request, the byte received last.
TEST(ReportsEndToEnd, CodesFromAnLmThatOnlyEchoesDecodesEachRequestEcho)
{
    SimRig rig;
    rig.lm.SetFault(LmFault::EchoOnly);
    Window w(rig.lm.SlavePath());
    w.frm->btnCodes->click();
    EXPECT_EQ(w.MemoLines(), (Lines{
                                 "46   01000110",
                                 "FaultCode1",
                                 "1 $02 = rom Checksum, Code 53",
                                 "2 $04 = Rich Condition, Code 52",
                                 "6 $40 = Overboost, Code 45",
                                 "47   01000111",
                                 "FaultCode2",
                                 "0 $01 = Ignition Coil Control",
                                 "1 $02 = Auto Shutdown Relay",
                                 "2 $04 = Charging System ASD volts too low, Code 41",
                                 "6 $40 = Speed Ctl Solenoid, Code 34",
                                 "48   01001000",
                                 "FaultCode3",
                                 "3 $08 = Injector Current Limit Not Achieved",
                                 "6 $40 = Charge Temp Sensor, Code 23",
                                 "49   01001001",
                                 "FaultCode4",
                                 "0 $01 = Oxygen Sensor, Code 21?",
                                 "3 $08 = Vehicle Distance Sensor, Code 15",
                                 "6 $40 = Memory Standby Power Lost, Code 12",
                             }));
    EXPECT_FALSE(w.frm->Busy());
    EXPECT_EQ(rig.lm.RequestCount(), 4u);
}

// A peer that echoes the handshake byte and lets every other byte go unanswered, not
// even echoed: the last byte the program receives stays the handshake echo 12.
class HandshakeOnlyPeer {
public:
    HandshakeOnlyPeer() : thread_([this] { Run(); }) {}
    ~HandshakeOnlyPeer()
    {
        stop_ = true;
        thread_.join();
    }
    HandshakeOnlyPeer(const HandshakeOnlyPeer&) = delete;
    HandshakeOnlyPeer& operator=(const HandshakeOnlyPeer&) = delete;

    const std::string& SlavePath() const { return peer_.SlavePath(); }
    int BytesSeen() const { return seen_; }

private:
    void Run()
    {
        while (!stop_) {
            pollfd p{peer_.MasterFd(), POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            uint8_t buffer[64];
            const ssize_t n = read(peer_.MasterFd(), buffer, sizeof buffer);
            if (n <= 0) {
                // Nobody has the slave open: wait for the next try without spinning.
                poll(nullptr, 0, 20);
                continue;
            }
            seen_ += static_cast<int>(n);
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != 0x12)
                    continue;
                // A failed echo is a lost echo, which the program sees as no echo.
                [[maybe_unused]] const ssize_t written = ::write(peer_.MasterFd(), &buffer[i], 1);
            }
        }
    }

    test::PtyPeer peer_;
    std::atomic<bool> stop_{false};
    std::atomic<int> seen_{0};
    std::thread thread_;
};

TEST(ReportsEndToEnd, CodesFromAnLmThatAnswersNothingDecodesTheHandshakeEcho)
{
    HandshakeOnlyPeer peer;
    Window w(peer.SlavePath());
    w.frm->btnCodes->click();
    Lines expected;
    const char* bit1[] = {"1 $02 = rom Checksum, Code 53", "1 $02 = Auto Shutdown Relay", "1 $02 = Purge Solenoid",
                          "1 $02 = Engine Running Too Cool, Code 17?"};
    const char* bit4[] = {"4 $10 = Battery Volts Low", "4 $10 = Wastegate Solenoid, Code 36", "4 $10 = AIS Motor",
                          "4 $10 = MAP Electrical, Code 13"};
    for (int n = 0; n < 4; ++n)
        expected.insert(expected.end(), {"12   00010010", "FaultCode" + std::to_string(n + 1), bit1[n], bit4[n]});
    EXPECT_EQ(w.MemoLines(), expected);
    EXPECT_EQ(peer.BytesSeen(), 1 + 4);  // the handshake and the four requests
}

TEST(ReportsEndToEnd, AdaptivesFromAnLmThatAnswersNothingShowsTheHandshakeEchoInEveryCell)
{
    HandshakeOnlyPeer peer;
    Window w(peer.SlavePath());
    w.frm->btnGetAdaptives->click();
    const Lines lines = w.MemoLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[2], " Adaptive Idle Cell (12) = lean 12");
    EXPECT_EQ(lines[5], "      | lean 12 | lean 12 | lean 12 | lean 12 | lean 12 | lean 12 |");
    EXPECT_EQ(lines[7], lines[5]);
    EXPECT_EQ(peer.BytesSeen(), 1 + 13);
}

// Codes pressed while a running report holds the busy mark: the press is served inside
// the report's waits and must neither clear its text nor send anything to the LM.
TEST(ReportsEndToEnd, CodesPressedDuringARunningCommandChangesNothing)
{
    SimRig rig;
    Window w(rig.lm.SlavePath());
    int codesPressed = 0;
    bool busyAtPress = false;
    QObject::connect(w.frm->btnCodes, &QPushButton::clicked, [&] {
        ++codesPressed;
        busyAtPress = w.frm->Busy();
    });
    QTimer::singleShot(30, w.frm->btnCodes, [&] { w.frm->btnCodes->click(); });
    w.frm->btnGetAdaptives->click();
    ASSERT_EQ(codesPressed, 1);
    ASSERT_TRUE(busyAtPress);
    const Lines lines = w.MemoLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), kExampleAdaptivesBody);
    EXPECT_EQ(rig.lm.RequestCount(), 13u);
    EXPECT_EQ(rig.Handshakes().size(), 1u);
    EXPECT_FALSE(w.frm->Busy());
}

TEST(ReportsEndToEnd, CodesPressedWhileTheBusyMarkIsSetChangesNothing)
{
    SimRig rig;
    Window w(rig.lm.SlavePath());
    const Lines startUp = w.MemoLines();
    w.frm->SetBusy(true);
    w.frm->btnCodes->click();
    EXPECT_EQ(w.MemoLines(), startUp);
    EXPECT_TRUE(w.frm->Busy());
    EXPECT_FALSE(w.frm->btnGetAdaptives->isEnabled());
    EXPECT_EQ(w.frm->ComPort.CustomBaudRate(), 977);
    EXPECT_TRUE(rig.Handshakes().empty());
}

// A port that could not be opened at start-up: the report stores the low rate, clears
// the text area and fails at its first write. The port's error reaches the error
// display and the busy mark stays set until Log clears it.
TEST(ReportsEndToEnd, ReportOnAPortThatIsNotOpenEndsWithThePortsWriteError)
{
    test::TempFolder nowhere;
    Window w(nowhere.File("no-such-device"));
    ASSERT_FALSE(w.frm->ComPort.Connected());
    ASSERT_EQ(w.errors.messages.size(), 1u);  // the failed open at start-up
    w.frm->ComPort.SetCustomBaudRate(7680);
    w.frm->MemoAddLine("text of an earlier command");
    w.frm->btnCodes->click();
    ASSERT_EQ(w.errors.messages.size(), 2u);
    EXPECT_EQ(w.errors.messages[1].rfind(ComErrorMessage(2), 0), 0u) << w.errors.messages[1];
    EXPECT_TRUE(w.MemoLines().empty());
    EXPECT_TRUE(w.frm->Busy());
    EXPECT_FALSE(w.frm->btnGetAdaptives->isEnabled());
    EXPECT_EQ(w.frm->ComPort.BaudRate(), brCustom);
    EXPECT_EQ(w.frm->ComPort.CustomBaudRate(), 977);
    EXPECT_FALSE(w.frm->ComPort.Connected());
}

}  // namespace
}  // namespace tessek
