#pragma once
// LM addresses and raw bytes as the program shows and stores them: two upper-case
// hexadecimal digits without prefix ("8F"). Pure functions, any thread.
#include <cstdint>
#include <string>

namespace tessek {

// Two upper-case hexadecimal digits, high nibble first ("8F").
std::string ByteToHex(uint8_t value);
// Every byte as two upper-case hexadecimal digits, in order, no separators; "" for "".
std::string BytesToHex(const std::string& text);

}  // namespace tessek
