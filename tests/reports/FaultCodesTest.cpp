#include "reports/FaultCodes.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tessek {
namespace {

TEST(ByteToBinary, IsEightDigitsMostSignificantBitFirst)
{
    const struct {
        uint8_t value;
        const char* bits;
    } cases[] = {
        {0x00, "00000000"}, {0xFF, "11111111"}, {0x80, "10000000"}, {0x01, "00000001"},
        {0x05, "00000101"}, {0x12, "00010010"}, {0xA6, "10100110"}, {0x7F, "01111111"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.value));
        EXPECT_EQ(ByteToBinary(c.value), c.bits);
    }
}

TEST(ByteToBinary, AgreesWithEachBitOfEveryByte)
{
    for (int v = 0; v < 256; ++v) {
        const std::string bits = ByteToBinary(static_cast<uint8_t>(v));
        ASSERT_EQ(bits.size(), 8u) << v;
        for (int bit = 0; bit < 8; ++bit)
            EXPECT_EQ(bits[7 - bit], (v >> bit) & 1 ? '1' : '0') << "value " << v << " bit " << bit;
    }
}

// Every text starts with its bit number, "$" and the bit's mask, whatever it describes.
TEST(FaultBitTable, EveryTextStartsWithBitAndMask)
{
    for (int index = 0; index < 4; ++index) {
        for (int bit = 0; bit < 8; ++bit) {
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "%d $%02X = ", bit, 1u << bit);
            SCOPED_TRACE(std::string(kFaultCodeBytes[index].Label) + " bit " + std::to_string(bit));
            EXPECT_EQ(FaultBitTable[index][bit].substr(0, 8), prefix);
            EXPECT_GT(FaultBitTable[index][bit].size(), 8u);
        }
    }
}

TEST(FaultBitTable, TwentyTextsCarryACodeAndTwoOfThemAQuestionMark)
{
    int withCode = 0;
    int questioned = 0;
    for (const auto& texts : FaultBitTable) {
        for (std::string_view text : texts) {
            if (text.find(", Code ") != std::string_view::npos)
                ++withCode;
            if (text.back() == '?')
                ++questioned;
        }
    }
    EXPECT_EQ(withCode, 20);
    EXPECT_EQ(questioned, 2);
}

TEST(FaultCodeBytes, AreReadFrom46To49WithTheirLabels)
{
    ASSERT_EQ(kFaultCodeBytes.size(), 4u);
    EXPECT_EQ(kFaultCodeBytes[0].Address, 0x46);
    EXPECT_EQ(kFaultCodeBytes[1].Address, 0x47);
    EXPECT_EQ(kFaultCodeBytes[2].Address, 0x48);
    EXPECT_EQ(kFaultCodeBytes[3].Address, 0x49);
    EXPECT_EQ(kFaultCodeBytes[0].Label, "FaultCode1");
    EXPECT_EQ(kFaultCodeBytes[3].Label, "FaultCode4");
}

using Lines = std::vector<std::string>;

TEST(FaultBlockLines, ZeroByteGivesValueAndLabelOnly)
{
    for (int index = 0; index < 4; ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(FaultBlockLines(index, 0x00), (Lines{"00   00000000", std::string(kFaultCodeBytes[index].Label)}));
    }
}

TEST(FaultBlockLines, SetBitsInAscendingOrder)
{
    EXPECT_EQ(FaultBlockLines(0, 0x05),
              (Lines{"05   00000101", "FaultCode1", "0 $01 = Distributor Sync", "2 $04 = Rich Condition, Code 52"}));
    EXPECT_EQ(FaultBlockLines(2, 0x80), (Lines{"80   10000000", "FaultCode3", "7 $80 = Coolant Temp Sensor, Code 22"}));
    // The handshake echo decoded as a fault byte: bits 1 and 4.
    EXPECT_EQ(FaultBlockLines(1, 0x12), (Lines{"12   00010010", "FaultCode2", "1 $02 = Auto Shutdown Relay",
                                               "4 $10 = Wastegate Solenoid, Code 36"}));
    // "Nothing" is a fault text like any other.
    EXPECT_EQ(FaultBlockLines(2, 0x01), (Lines{"01   00000001", "FaultCode3", "0 $01 = Nothing"}));
}

TEST(FaultBlockLines, FullByteListsAllEightTextsExactly)
{
    EXPECT_EQ(FaultBlockLines(0, 0xFF), (Lines{
                                            "FF   11111111",
                                            "FaultCode1",
                                            "0 $01 = Distributor Sync",
                                            "1 $02 = rom Checksum, Code 53",
                                            "2 $04 = Rich Condition, Code 52",
                                            "3 $08 = Lean condition, Code 51",
                                            "4 $10 = Battery Volts Low",
                                            "5 $20 = Battery Volts High, Code 46",
                                            "6 $40 = Overboost, Code 45",
                                            "7 $80 = Battery Temperature, Code 44",
                                        }));
    EXPECT_EQ(FaultBlockLines(1, 0xFF), (Lines{
                                            "FF   11111111",
                                            "FaultCode2",
                                            "0 $01 = Ignition Coil Control",
                                            "1 $02 = Auto Shutdown Relay",
                                            "2 $04 = Charging System ASD volts too low, Code 41",
                                            "3 $08 = Barometric Read Solenoid",
                                            "4 $10 = Wastegate Solenoid, Code 36",
                                            "5 $20 = Radiator Fan Relay",
                                            "6 $40 = Speed Ctl Solenoid, Code 34",
                                            "7 $80 = AC Cutout Relay",
                                        }));
    EXPECT_EQ(FaultBlockLines(2, 0xFF), (Lines{
                                            "FF   11111111",
                                            "FaultCode3",
                                            "0 $01 = Nothing",
                                            "1 $02 = Purge Solenoid",
                                            "2 $04 = Injector Driver interface",
                                            "3 $08 = Injector Current Limit Not Achieved",
                                            "4 $10 = AIS Motor",
                                            "5 $20 = Throttle Position, Code 24",
                                            "6 $40 = Charge Temp Sensor, Code 23",
                                            "7 $80 = Coolant Temp Sensor, Code 22",
                                        }));
    EXPECT_EQ(FaultBlockLines(3, 0xFF), (Lines{
                                            "FF   11111111",
                                            "FaultCode4",
                                            "0 $01 = Oxygen Sensor, Code 21?",
                                            "1 $02 = Engine Running Too Cool, Code 17?",
                                            "2 $04 = Battery Voltage Sense, Code 16",
                                            "3 $08 = Vehicle Distance Sensor, Code 15",
                                            "4 $10 = MAP Electrical, Code 13",
                                            "5 $20 = MAP Pneumatic, Code 14",
                                            "6 $40 = Memory Standby Power Lost, Code 12",
                                            "7 $80 = Engine Not Cranked Since Battery Disconnected, Code 11",
                                        }));
}

TEST(FaultBlockLines, EachSingleBitSelectsItsOwnText)
{
    for (int index = 0; index < 4; ++index) {
        for (int bit = 0; bit < 8; ++bit) {
            SCOPED_TRACE(index * 8 + bit);
            const Lines lines = FaultBlockLines(index, static_cast<uint8_t>(1u << bit));
            ASSERT_EQ(lines.size(), 3u);
            EXPECT_EQ(lines[2], FaultBitTable[index][bit]);
        }
    }
}

}  // namespace
}  // namespace tessek
