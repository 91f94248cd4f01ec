#include "reports/ReportCommands.h"

#include "tests/reports/ScriptedHost.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tessek {
namespace {

using test::ScriptedHost;
using Calls = std::vector<std::string>;

// The text area's whole text with "\n" for its CR LF line ends.
std::string Unix(std::string text)
{
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
        text.erase(at, 1);
    return text;
}

const std::string kFailureText = "Failed to establish high baud mode with LM.  Baud set back to LOWBAUD";
const std::string kFailureLine = kFailureText + "\n";

void SetFaultBytes(ScriptedHost& host, uint8_t b1, uint8_t b2, uint8_t b3, uint8_t b4)
{
    host.Memory = {{0x46, b1}, {0x47, b2}, {0x48, b3}, {0x49, b4}};
}

TEST(FaultCodeReport, ExampleBytesGiveTheExampleText)
{
    ScriptedHost host;
    SetFaultBytes(host, 0x05, 0x00, 0x80, 0x00);
    host.Memo.AddLine("text of an earlier run");
    RunFaultCodeReport(host);
    EXPECT_EQ(Unix(host.MemoText()),
              "05   00000101\n"
              "FaultCode1\n"
              "0 $01 = Distributor Sync\n"
              "2 $04 = Rich Condition, Code 52\n"
              "00   00000000\n"
              "FaultCode2\n"
              "80   10000000\n"
              "FaultCode3\n"
              "7 $80 = Coolant Temp Sensor, Code 22\n"
              "00   00000000\n"
              "FaultCode4\n");
    EXPECT_FALSE(host.BusyMark);
    EXPECT_EQ(host.Port().CustomBaudRate(), 7680);
}

TEST(FaultCodeReport, StepsRunInOrderAndEachBlockFollowsItsRead)
{
    ScriptedHost host;
    SetFaultBytes(host, 0x00, 0x01, 0x00, 0x00);
    RunFaultCodeReport(host);
    EXPECT_EQ(host.Calls, (Calls{
                              "SetBusy(1)",
                              "MemoClear",
                              "Handshake",
                              "Read 46",
                              "AddLine 00   00000000",
                              "AddLine FaultCode1",
                              "Read 47",
                              "AddLine 01   00000001",
                              "AddLine FaultCode2",
                              "AddLine 0 $01 = Ignition Coil Control",
                              "Read 48",
                              "AddLine 00   00000000",
                              "AddLine FaultCode3",
                              "Read 49",
                              "AddLine 00   00000000",
                              "AddLine FaultCode4",
                              "SetBusy(0)",
                          }));
}

TEST(FaultCodeReport, AllZeroBytesGiveEightLines)
{
    ScriptedHost host;
    SetFaultBytes(host, 0, 0, 0, 0);
    RunFaultCodeReport(host);
    EXPECT_EQ(Unix(host.MemoText()),
              "00   00000000\nFaultCode1\n00   00000000\nFaultCode2\n"
              "00   00000000\nFaultCode3\n00   00000000\nFaultCode4\n");
}

TEST(FaultCodeReport, FullByteListsAllItsFaults)
{
    ScriptedHost host;
    SetFaultBytes(host, 0x00, 0x00, 0x00, 0xFF);
    RunFaultCodeReport(host);
    EXPECT_EQ(Unix(host.MemoText()),
              "00   00000000\nFaultCode1\n00   00000000\nFaultCode2\n00   00000000\nFaultCode3\n"
              "FF   11111111\n"
              "FaultCode4\n"
              "0 $01 = Oxygen Sensor, Code 21?\n"
              "1 $02 = Engine Running Too Cool, Code 17?\n"
              "2 $04 = Battery Voltage Sense, Code 16\n"
              "3 $08 = Vehicle Distance Sensor, Code 15\n"
              "4 $10 = MAP Electrical, Code 13\n"
              "5 $20 = MAP Pneumatic, Code 14\n"
              "6 $40 = Memory Standby Power Lost, Code 12\n"
              "7 $80 = Engine Not Cranked Since Battery Disconnected, Code 11\n");
}

TEST(FaultCodeReport, SilentLmAfterTheHandshakeDecodesTheEchoEveryTime)
{
    ScriptedHost host;
    host.Answers = false;
    RunFaultCodeReport(host);
    const std::string expected =
        "12   00010010\nFaultCode1\n1 $02 = rom Checksum, Code 53\n4 $10 = Battery Volts Low\n"
        "12   00010010\nFaultCode2\n1 $02 = Auto Shutdown Relay\n4 $10 = Wastegate Solenoid, Code 36\n"
        "12   00010010\nFaultCode3\n1 $02 = Purge Solenoid\n4 $10 = AIS Motor\n"
        "12   00010010\nFaultCode4\n1 $02 = Engine Running Too Cool, Code 17?\n4 $10 = MAP Electrical, Code 13\n";
    EXPECT_EQ(Unix(host.MemoText()), expected);
    EXPECT_FALSE(host.BusyMark);
}

TEST(FaultCodeReport, HandshakeFailureLeavesOnlyTheFailureLineAtLowRate)
{
    ScriptedHost host;
    host.HandshakeSucceeds = false;
    host.Memo.AddLine("text of an earlier run");
    RunFaultCodeReport(host);
    EXPECT_EQ(Unix(host.MemoText()), kFailureLine);
    EXPECT_EQ(host.Port().CustomBaudRate(), 977);
    EXPECT_EQ(host.Port().BaudRate(), brCustom);
    EXPECT_EQ(host.Calls, (Calls{"SetBusy(1)", "MemoClear", "Handshake", "AddLine " + kFailureText, "SetBusy(0)"}));
}

TEST(FaultCodeReport, ClosedPortGetsTheLowRateBeforeTheHandshake)
{
    ScriptedHost host;
    host.Port().SetBaudRate(br9600);
    host.Port().SetCustomBaudRate(7680);
    RunFaultCodeReport(host);
    EXPECT_EQ(host.RateAtHandshake, 977);
    EXPECT_EQ(host.Port().BaudRate(), brCustom);
    EXPECT_FALSE(host.Port().Connected());
}

TEST(FaultCodeReport, IsIgnoredWhileAnotherCommandHoldsTheBusyMark)
{
    ScriptedHost host;
    host.BusyMark = true;
    host.Memo.AddLine("12:00:01 2400 rpm");
    host.Port().SetCustomBaudRate(7680);
    RunFaultCodeReport(host);
    EXPECT_TRUE(host.Calls.empty()) << host.Calls.front();
    EXPECT_EQ(host.Memo.Lines(), (std::vector<std::string>{"12:00:01 2400 rpm"}));
    EXPECT_TRUE(host.BusyMark);
    EXPECT_EQ(host.Port().CustomBaudRate(), 7680);
}

TEST(FaultCodeReport, PortErrorEndsTheCommandAndKeepsTheBusyMark)
{
    ScriptedHost host;
    SetFaultBytes(host, 0x05, 0, 0, 0);
    host.AfterRead = [](uint8_t address) {
        if (address == 0x47)
            throw std::runtime_error("write failed");
    };
    EXPECT_THROW(RunFaultCodeReport(host), std::runtime_error);
    EXPECT_EQ(Unix(host.MemoText()),
              "05   00000101\nFaultCode1\n0 $01 = Distributor Sync\n2 $04 = Rich Condition, Code 52\n");
    EXPECT_TRUE(host.BusyMark);
}

void SetExampleCells(ScriptedHost& host)
{
    host.Memory = {{0x5C, 0x7D}, {0x50, 0x80}, {0x51, 0x7E}, {0x52, 0x83}, {0x53, 0x80}, {0x54, 0x7B}, {0x55, 0x85},
                   {0x56, 0x80}, {0x57, 0x80}, {0x58, 0x90}, {0x59, 0x6F}, {0x5A, 0x80}, {0x5B, 0x81}};
}

TEST(AdaptivesReport, ExampleCellsGiveTheExampleText)
{
    ScriptedHost host;
    SetExampleCells(host);
    host.Memo.AddLine("text of an earlier run");
    RunAdaptivesReport(host);
    EXPECT_EQ(Unix(host.MemoText()),
              "Adaptives Report   5/12/2026 13:07:24\n"
              "--------------------------------------------------------------------- \n"
              " Adaptive Idle Cell (12) = lean 7D\n"
              " \n"
              "      +---------+---------+---------+---------+---------+---------+\n"
              "      | lean 7E | rich 80 | rich 85 | rich 80 | lean 6F | rich 81 |\n"
              "  R1  +---------+---------+---------+---------+---------+---------+\n"
              "      | rich 80 | rich 83 | lean 7B | rich 80 | rich 90 | rich 80 |\n"
              "RPM 0 +---------+---------+---------+---------+---------+---------+\n"
              "  MAP 0        MP1       MP2       MP3       MP4       MP5\n");
    EXPECT_EQ(host.Memo.Lines().size(), 10u);
    EXPECT_FALSE(host.Memo.LastLineOpen());
    EXPECT_FALSE(host.BusyMark);
    EXPECT_EQ(host.Port().CustomBaudRate(), 7680);
}

TEST(AdaptivesReport, ReadsThirteenCellsInOrderShowingEachAtOnceAndDatesAfterTheIdleCell)
{
    ScriptedHost host;
    SetExampleCells(host);
    RunAdaptivesReport(host);
    EXPECT_EQ(host.Calls, (Calls{
                              "SetBusy(1)",
                              "MemoClear",
                              "Handshake",
                              "Read 5C",
                              "DateTime",
                              "AddLine Adaptives Report   5/12/2026 13:07:24",
                              "AddLine " + std::string(69, '-') + " ",
                              "AddLine  Adaptive Idle Cell (12) = lean 7D",
                              "AddLine  ",
                              "AddLine       +---------+---------+---------+---------+---------+---------+",
                              "Read 51",
                              "Append       | lean 7E",
                              "Read 53",
                              "Append  | rich 80",
                              "Read 55",
                              "Append  | rich 85",
                              "Read 57",
                              "Append  | rich 80",
                              "Read 59",
                              "Append  | lean 6F",
                              "Read 5B",
                              "Append  | rich 81 |",
                              "AddLine   R1  +---------+---------+---------+---------+---------+---------+",
                              "Read 50",
                              "Append       | rich 80",
                              "Read 52",
                              "Append  | rich 83",
                              "Read 54",
                              "Append  | lean 7B",
                              "Read 56",
                              "Append  | rich 80",
                              "Read 58",
                              "Append  | rich 90",
                              "Read 5A",
                              "Append  | rich 80 |",
                              "AddLine RPM 0 +---------+---------+---------+---------+---------+---------+",
                              "AddLine   MAP 0        MP1       MP2       MP3       MP4       MP5",
                              "SetBusy(0)",
                          }));
}

TEST(AdaptivesReport, SilentLmAfterTheHandshakeShowsTheEchoInEveryCell)
{
    ScriptedHost host;
    host.Answers = false;
    RunAdaptivesReport(host);
    const std::string row = "      | lean 12 | lean 12 | lean 12 | lean 12 | lean 12 | lean 12 |\n";
    EXPECT_EQ(Unix(host.MemoText()),
              "Adaptives Report   5/12/2026 13:07:24\n"
              "--------------------------------------------------------------------- \n"
              " Adaptive Idle Cell (12) = lean 12\n"
              " \n"
              "      +---------+---------+---------+---------+---------+---------+\n" +
                  row + "  R1  +---------+---------+---------+---------+---------+---------+\n" + row +
                  "RPM 0 +---------+---------+---------+---------+---------+---------+\n"
                  "  MAP 0        MP1       MP2       MP3       MP4       MP5\n");
}

TEST(AdaptivesReport, HandshakeFailureLeavesOnlyTheFailureLineAndRequestsNothing)
{
    ScriptedHost host;
    host.HandshakeSucceeds = false;
    RunAdaptivesReport(host);
    EXPECT_EQ(Unix(host.MemoText()), kFailureLine);
    EXPECT_EQ(host.Port().CustomBaudRate(), 977);
    EXPECT_FALSE(host.BusyMark);
    for (const std::string& call : host.Calls)
        EXPECT_NE(call.rfind("Read", 0), 0u) << call;
}

TEST(AdaptivesReport, PortErrorLeavesTheUnfinishedRowAndTheBusyMark)
{
    ScriptedHost host;
    SetExampleCells(host);
    host.AfterRead = [](uint8_t address) {
        if (address == 0x55)
            throw std::runtime_error("write failed");
    };
    EXPECT_THROW(RunAdaptivesReport(host), std::runtime_error);
    ASSERT_FALSE(host.Memo.Lines().empty());
    EXPECT_EQ(host.Memo.Lines().back(), "      | lean 7E | rich 80");
    EXPECT_TRUE(host.Memo.LastLineOpen());
    EXPECT_TRUE(host.BusyMark);
}

TEST(AdaptivesReport, IsIgnoredWhileAnotherCommandHoldsTheBusyMark)
{
    ScriptedHost host;
    host.BusyMark = true;
    host.Memo.AddLine("12:00:01 2400 rpm");
    RunAdaptivesReport(host);
    EXPECT_TRUE(host.Calls.empty());
    EXPECT_EQ(host.Memo.Lines().size(), 1u);
}

}  // namespace
}  // namespace tessek
