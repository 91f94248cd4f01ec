#include "dialogs/InterimHelpers.h"

#include <cmath>

namespace tessek {

namespace {
constexpr double kMapFactors[4] = {0.114844, 0.172266, 0.057422, 0.143555};

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}
}  // namespace

std::string ByteToHex(uint8_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    return {digits[value >> 4], digits[value & 15]};
}

uint8_t HexToByte(const std::string& text)
{
    if (text.empty())
        return 0xFF;
    auto inRange = [](char c) { return c >= '0' && c <= 'f'; };
    if (text.size() < 2 || !inRange(text[0]) || !inRange(text[1]))
        return 0;
    return static_cast<uint8_t>(16 * DigitValue(text[0]) + DigitValue(text[1]));
}

double MapFactorForType(int index)
{
    return index >= 0 && index < 4 ? kMapFactors[index] : 0.172266;
}

int MapTypeForFactor(double value)
{
    for (int index = 0; index < 4; ++index)
        if (std::fabs(kMapFactors[index] - value) < 0.0000001)
            return index;
    return 1;
}

}  // namespace tessek
