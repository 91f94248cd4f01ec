// The report texts, and the report commands against the fake command host, whose port
// stays closed at 9600 baud: each report must set the low rate before its handshake.
#include "reports/Adaptives.h"
#include "reports/ReportCommands.h"
#include "tests/common/FakeCommandHost.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace tessek {
namespace {

using Lines = std::vector<std::string>;

TEST(FaultCodeReport, PrintsEachByteInBinaryAndTheFaultOfEachSetBit)
{
    const Lines zeros = {"00   00000000", "FaultCode1", "00   00000000", "FaultCode2",
                         "00   00000000", "FaultCode3", "00   00000000", "FaultCode4"};
    Lines fourthFull(zeros.begin(), zeros.end() - 2);
    fourthFull.insert(fourthFull.end(),
                      {"FF   11111111", "FaultCode4", "0 $01 = Oxygen Sensor, Code 21?",
                       "1 $02 = Engine Running Too Cool, Code 17?", "2 $04 = Battery Voltage Sense, Code 16",
                       "3 $08 = Vehicle Distance Sensor, Code 15", "4 $10 = MAP Electrical, Code 13",
                       "5 $20 = MAP Pneumatic, Code 14", "6 $40 = Memory Standby Power Lost, Code 12",
                       "7 $80 = Engine Not Cranked Since Battery Disconnected, Code 11"});
    // A silent LM after the handshake: each block decodes its echo 12, the byte received last.
    const char* bit1[] = {"1 $02 = rom Checksum, Code 53", "1 $02 = Auto Shutdown Relay", "1 $02 = Purge Solenoid",
                          "1 $02 = Engine Running Too Cool, Code 17?"};
    const char* bit4[] = {"4 $10 = Battery Volts Low", "4 $10 = Wastegate Solenoid, Code 36", "4 $10 = AIS Motor",
                          "4 $10 = MAP Electrical, Code 13"};
    Lines echo;
    for (int n = 0; n < 4; ++n)
        echo.insert(echo.end(), {"12   00010010", "FaultCode" + std::to_string(n + 1), bit1[n], bit4[n]});
    const auto report = [](std::map<uint8_t, uint8_t> memory, bool answers) {
        test::FakeCommandHost host;
        for (auto [address, value] : memory)
            host.Memory[address] = value;
        host.Answers = answers;
        RunFaultCodeReport(host);
        EXPECT_EQ(host.Asked, (std::vector<uint8_t>{0x46, 0x47, 0x48, 0x49}));
        EXPECT_FALSE(host.Busy());
        return host.Memo.Lines();
    };
    EXPECT_EQ(report({}, true), zeros);
    EXPECT_EQ(report({{0x49, 0xFF}}, true), fourthFull);
    EXPECT_EQ(report({}, false), echo);
}

// A port error ends the command at once: what was shown so far (each cell as soon as it
// was read) stays, and so does the busy mark.
TEST(AdaptivesReport, PortErrorLeavesTheUnfinishedRowAndTheBusyMark)
{
    test::FakeCommandHost host;
    host.Memory[0x51] = 0x7E;
    host.Memory[0x53] = 0x80;
    host.OnExchange = [&host](int) {
        if (host.Asked.back() == 0x55)
            throw std::runtime_error("write failed");
    };
    EXPECT_THROW(RunAdaptivesReport(host), std::runtime_error);
    ASSERT_FALSE(host.Memo.Lines().empty());
    EXPECT_EQ(host.Memo.Lines().back(), "      | lean 7E | rich 80");
    EXPECT_TRUE(host.Memo.LastLineOpen());
    EXPECT_TRUE(host.Busy());
}

// The grid only lines up when every line is 67 wide with its bars in the same columns.
TEST(AdaptivesGrid, LinesAndRowsAre67WideWithBarsEveryTenColumnsFrom6)
{
    std::string row;
    int cell = 0;
    for (const uint8_t value : {0x00, 0x7F, 0x80, 0xFF, 0x0A, 0xA5})
        row += GridRowPiece(cell++, value);
    EXPECT_EQ(row, "      | lean 00 | lean 7F | rich 80 | rich FF | lean 0A | rich A5 |");
    for (std::string_view line : {kGridTopLine, kGridMiddleLine, kGridBottomLine, std::string_view(row)}) {
        SCOPED_TRACE(std::string(line));
        ASSERT_EQ(line.size(), 67u);
        for (size_t column = 0; column < line.size(); ++column) {
            const bool bar = line[column] == '+' || line[column] == '|';
            EXPECT_EQ(bar, column >= 6 && (column - 6) % 10 == 0) << "column " << column;
        }
    }
}

}  // namespace
}  // namespace tessek
