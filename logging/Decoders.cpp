#include "logging/Decoders.h"

#include "platform/Hex.h"

#include <charconv>
#include <system_error>

namespace tessek {

namespace {

// Right-aligns an integer in at least `width` characters. The fields are declared with
// precision 0 ("%4.0d"), which C's printf would print as nothing for a 0; the log shows
// "0" there, so the precision is not passed on.
std::string FormatInt(int32_t value, int width)
{
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<size_t>(width) - digits.size(), ' ');
    return digits;
}

// The byte's two hexadecimal digits between `before` and `after`. Built by appending:
// GCC 12 at -O3 warns falsely (-Wrestrict) on a literal + a short temporary string.
std::string FramedHex(const char* before, uint8_t v, const char* after)
{
    std::string text = before;
    text += BytesToHex(std::string(1, static_cast<char>(v)));
    text += after;
    return text;
}

// The raw byte as the decoders show it beside a converted value.
std::string RawSuffix(uint8_t v)
{
    return FramedHex("(", v, ") ");
}

}  // namespace

DecoderKind DecoderFor(uint8_t address)
{
    switch (address) {
        case 0x12:
            return DecoderKind::Skip;
        case 0x5D:
            return DecoderKind::ChargeTemp0;
        case 0x69:
            return DecoderKind::Mph;
        case 0x72:
            return DecoderKind::Spark;
        case 0x86:
            return DecoderKind::Map;
        case 0x8F:
            return DecoderKind::Rpm;
        case 0x98:
            return DecoderKind::Tps;
        case 0x9A:
            return DecoderKind::Coolant;
        case 0x9C:
            return DecoderKind::O2;
        case 0x9D:
            return DecoderKind::ChargeTemp1;
        case 0xA0:
            return DecoderKind::Knock;
        case 0xCE:
        case 0xCF:
        case 0xD0:
        case 0xD1:
            return DecoderKind::Retard;
        default:
            return DecoderKind::Raw;
    }
}

std::string FormatFixed(double value, int width, int decimals)
{
    // to_chars is exact and locale-free: the same digits as printf in the C locale.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text = result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("?");
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<size_t>(width) - text.size(), ' ');
    return text;
}

double ChargeTempF(uint8_t t)
{
    const double x = t;
    if (t < 17)
        return 335.0 - x * 5.14286;
    if (t < 26)
        return 284.0 - (x - 17.0) * 3.66667;
    if (t < 89)
        return 215.0 - (x - 26.0) * 1.34921;
    if (t < 144)
        return 130.0 - (x - 89.0) * 0.69091;
    if (t < 233)
        return 92.0 - (x - 144.0) * 0.92135;
    return 10.0 - (x - 233.0) * 2.77778;
}

int32_t RpmValue(uint8_t lo, uint8_t hi)
{
    return (hi * 256 + lo) / 4;
}

double MphValue(uint8_t lo, uint8_t hi)
{
    return (hi * 256.0 + lo) / 64.0;
}

std::string KnockText(uint8_t v)
{
    return FormatFixed(v / 256.0 * 5.0, 4, 2) + "v ";
}

std::string MapText(uint8_t v, float baroRef, double mapFunction)
{
    if (v >= baroRef)
        return FormatFixed((v - double{baroRef}) * mapFunction, 5, 2) + "psi ";
    return FormatFixed((double{baroRef} - v) * mapFunction * 2.036, 5, 2) + "hg  ";
}

std::string O2Text(uint8_t v)
{
    return FormatFixed(v * 0.0194 + 0.0446, 5, 3) + "v" + RawSuffix(v);
}

std::string RpmText(int32_t rpm)
{
    return FormatInt(rpm, 4) + "rpm ";
}

std::string TpsText(uint8_t v)
{
    return FormatFixed(v * 0.390625, 5, 1) + "% ";
}

std::string MphText(double mph)
{
    return FormatFixed(mph, 6, 2) + "mph ";
}

std::string RetardText(uint8_t v)
{
    return FormatInt((v & 0x3F) / 2, 2) + "deg ";
}

std::string ChargeTempText(uint8_t v)
{
    return FormatFixed(ChargeTempF(v), 5, 1) + "F " + RawSuffix(v);
}

std::string CoolantText(uint8_t v)
{
    return FormatFixed(v * 1.24609375 - 60.0, 4, 1) + "F " + RawSuffix(v);
}

std::string SparkText(uint8_t v)
{
    return FormatFixed(v / 2.0, 2, 1) + "deg ";
}

std::string RawText(uint8_t v)
{
    return FramedHex(" ", v, " ");
}

std::string BaroText(float baroRef, double mapFunction)
{
    return FormatFixed(30.0 - baroRef * mapFunction * 2.036, 6, 2);
}

}  // namespace tessek
