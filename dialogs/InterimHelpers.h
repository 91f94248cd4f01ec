#pragma once
// Interim copies of the hexadecimal and MAP sensor helpers of the link and logging
// libraries, used by the dialogs until those libraries provide them; removed then.
#include <cstdint>
#include <string>

namespace tessek {

std::string ByteToHex(uint8_t value);
uint8_t HexToByte(const std::string& text);
double MapFactorForType(int index);
int MapTypeForFactor(double value);

}  // namespace tessek
