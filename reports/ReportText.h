#pragma once
// Small text helpers shared by the two reports.
#include <cstdint>
#include <string>

namespace tessek {

// Two upper-case hexadecimal digits, high nibble first.
std::string HexByte(uint8_t value);

}  // namespace tessek
