#include "platform/Hex.h"

namespace tessek {

std::string ByteToHex(uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string BytesToHex(const std::string& text)
{
    std::string hex;
    hex.reserve(text.size() * 2);
    for (const char c : text)
        hex += ByteToHex(static_cast<uint8_t>(c));
    return hex;
}

}  // namespace tessek
