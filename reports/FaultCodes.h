#pragma once
// The texts of the fault code report: the four fault code bytes the LM keeps, the line
// printed for each set flag, and the lines of one block. Plain functions of the bytes,
// usable from any thread.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessek {

struct FaultCodeByte {
    uint8_t Address;         // LM memory address
    std::string_view Label;  // the block's label line
};

// The four fault code bytes, in the order they are read and printed.
inline constexpr std::array<FaultCodeByte, 4> kFaultCodeBytes{{
    {0x46, "FaultCode1"},
    {0x47, "FaultCode2"},
    {0x48, "FaultCode3"},
    {0x49, "FaultCode4"},
}};

// FaultBitTable[byte][bit]: the line printed when `bit` (0 to 7) of fault code byte
// `byte` (0 to 3 here, FaultCode1 to FaultCode4) is set.
extern const std::array<std::array<std::string_view, 8>, 4> FaultBitTable;

// Eight characters "1"/"0", bit 7 first.
std::string ByteToBinary(uint8_t value);

// The value line of a block: two upper-case hexadecimal digits, three blanks, the bits.
std::string FaultValueLine(uint8_t value);

// The whole block of fault code byte `index` (0 to 3) holding `value`: the value line,
// the label, then one line per set bit in ascending bit order.
std::vector<std::string> FaultBlockLines(int index, uint8_t value);

}  // namespace tessek
