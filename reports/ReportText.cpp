#include "reports/ReportText.h"

namespace tessek {

std::string HexByte(uint8_t value)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

}  // namespace tessek
