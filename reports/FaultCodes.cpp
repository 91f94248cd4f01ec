#include "reports/FaultCodes.h"

#include "platform/Hex.h"

namespace tessek {

const std::array<std::array<std::string_view, 8>, 4> FaultBitTable{{
    {{
        "0 $01 = Distributor Sync",
        "1 $02 = rom Checksum, Code 53",
        "2 $04 = Rich Condition, Code 52",
        "3 $08 = Lean condition, Code 51",
        "4 $10 = Battery Volts Low",
        "5 $20 = Battery Volts High, Code 46",
        "6 $40 = Overboost, Code 45",
        "7 $80 = Battery Temperature, Code 44",
    }},
    {{
        "0 $01 = Ignition Coil Control",
        "1 $02 = Auto Shutdown Relay",
        "2 $04 = Charging System ASD volts too low, Code 41",
        "3 $08 = Barometric Read Solenoid",
        "4 $10 = Wastegate Solenoid, Code 36",
        "5 $20 = Radiator Fan Relay",
        "6 $40 = Speed Ctl Solenoid, Code 34",
        "7 $80 = AC Cutout Relay",
    }},
    {{
        "0 $01 = Nothing",
        "1 $02 = Purge Solenoid",
        "2 $04 = Injector Driver interface",
        "3 $08 = Injector Current Limit Not Achieved",
        "4 $10 = AIS Motor",
        "5 $20 = Throttle Position, Code 24",
        "6 $40 = Charge Temp Sensor, Code 23",
        "7 $80 = Coolant Temp Sensor, Code 22",
    }},
    {{
        "0 $01 = Oxygen Sensor, Code 21?",
        "1 $02 = Engine Running Too Cool, Code 17?",
        "2 $04 = Battery Voltage Sense, Code 16",
        "3 $08 = Vehicle Distance Sensor, Code 15",
        "4 $10 = MAP Electrical, Code 13",
        "5 $20 = MAP Pneumatic, Code 14",
        "6 $40 = Memory Standby Power Lost, Code 12",
        "7 $80 = Engine Not Cranked Since Battery Disconnected, Code 11",
    }},
}};

std::string ByteToBinary(uint8_t value)
{
    std::string bits;
    for (unsigned mask = 0x80; mask != 0; mask >>= 1)
        bits += (value & mask) ? '1' : '0';
    return bits;
}

std::string FaultValueLine(uint8_t value)
{
    return ByteToHex(value) + "   " + ByteToBinary(value);
}

std::vector<std::string> FaultBlockLines(int index, uint8_t value)
{
    std::vector<std::string> lines{FaultValueLine(value), std::string(kFaultCodeBytes.at(index).Label)};
    for (int bit = 0; bit < 8; ++bit) {
        if (value & (1u << bit))
            lines.emplace_back(FaultBitTable.at(index)[bit]);
    }
    return lines;
}

}  // namespace tessek
