#include "reports/FaultCodes.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tessek
