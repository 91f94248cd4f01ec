#include "logging/Decoders.h"

#include "platform/Hex.h"

#include <charconv>
#include <system_error>

namespace tessek {

namespace {

// Decimals of each decoder's number; the texts and the values share them. The integer
// fields are declared with precision 0 ("%4.0d"), which C's printf would print as nothing
// for a 0; the log shows "0" there, as fixed point with no decimals does.
constexpr int kKnockDecimals = 2;
constexpr int kMapDecimals = 2;
constexpr int kO2Decimals = 3;
constexpr int kRpmDecimals = 0;
constexpr int kTpsDecimals = 1;
constexpr int kMphDecimals = 2;
constexpr int kRetardDecimals = 0;
constexpr int kTempDecimals = 1;
constexpr int kSparkDecimals = 1;
constexpr int kRawDecimals = 0;

constexpr double kHgPerPsi = 2.036;

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

double KnockVolts(uint8_t v)
{
    return v / 256.0 * 5.0;
}

bool IsBoost(uint8_t v, float baroRef)
{
    return v >= baroRef;
}

// The window prints the size of the pressure difference and tells boost (psi) from
// vacuum (inches of mercury) by the unit.
double MapMagnitude(uint8_t v, float baroRef, double mapFunction)
{
    if (IsBoost(v, baroRef))
        return (v - double{baroRef}) * mapFunction;
    return (double{baroRef} - v) * mapFunction * kHgPerPsi;
}

double O2Volts(uint8_t v)
{
    return v * 0.0194 + 0.0446;
}

double TpsPercent(uint8_t v)
{
    return v * 0.390625;
}

int32_t RetardDegrees(uint8_t v)
{
    return (v & 0x3F) / 2;
}

double CoolantF(uint8_t v)
{
    return v * 1.24609375 - 60.0;
}

double SparkDegrees(uint8_t v)
{
    return v / 2.0;
}

DecodedValue Printed(double value, int decimals, int32_t raw)
{
    return {RoundAsPrinted(value, decimals), decimals, raw};
}

DecodedValue MapValue(uint8_t v, float baroRef, double mapFunction)
{
    const double magnitude = RoundAsPrinted(MapMagnitude(v, baroRef, mapFunction), kMapDecimals);
    if (IsBoost(v, baroRef))
        return {magnitude, kMapDecimals, v};
    return {magnitude == 0.0 ? 0.0 : -magnitude, kMapDecimals, v};
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

double RoundAsPrinted(double value, int decimals)
{
    const std::string text = FormatFixed(value, 0, decimals);
    double rounded = value;
    std::from_chars(text.data(), text.data() + text.size(), rounded);
    return rounded;
}

std::optional<DecodedValue> DecodeValue(DecoderKind kind, uint8_t v, uint8_t hi, float baroRef, double mapFunction)
{
    switch (kind) {
        case DecoderKind::Skip:
            return std::nullopt;
        case DecoderKind::ChargeTemp0:
        case DecoderKind::ChargeTemp1:
            return Printed(ChargeTempF(v), kTempDecimals, v);
        case DecoderKind::Mph:
            return Printed(MphValue(v, hi), kMphDecimals, hi * 256 + v);
        case DecoderKind::Spark:
            return Printed(SparkDegrees(v), kSparkDecimals, v);
        case DecoderKind::Map:
            return MapValue(v, baroRef, mapFunction);
        case DecoderKind::Rpm:
            return Printed(RpmValue(v, hi), kRpmDecimals, hi * 256 + v);
        case DecoderKind::Tps:
            return Printed(TpsPercent(v), kTpsDecimals, v);
        case DecoderKind::Coolant:
            return Printed(CoolantF(v), kTempDecimals, v);
        case DecoderKind::O2:
            return Printed(O2Volts(v), kO2Decimals, v);
        case DecoderKind::Knock:
            return Printed(KnockVolts(v), kKnockDecimals, v);
        case DecoderKind::Retard:
            return Printed(RetardDegrees(v), kRetardDecimals, v);
        case DecoderKind::Raw:
            return Printed(v, kRawDecimals, v);
    }
    return std::nullopt;
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
    return FormatFixed(KnockVolts(v), 4, kKnockDecimals) + "v ";
}

std::string MapText(uint8_t v, float baroRef, double mapFunction)
{
    return FormatFixed(MapMagnitude(v, baroRef, mapFunction), 5, kMapDecimals) +
           (IsBoost(v, baroRef) ? "psi " : "hg  ");
}

std::string O2Text(uint8_t v)
{
    return FormatFixed(O2Volts(v), 5, kO2Decimals) + "v" + RawSuffix(v);
}

std::string RpmText(int32_t rpm)
{
    return FormatFixed(rpm, 4, kRpmDecimals) + "rpm ";
}

std::string TpsText(uint8_t v)
{
    return FormatFixed(TpsPercent(v), 5, kTpsDecimals) + "% ";
}

std::string MphText(double mph)
{
    return FormatFixed(mph, 6, kMphDecimals) + "mph ";
}

std::string RetardText(uint8_t v)
{
    return FormatFixed(RetardDegrees(v), 2, kRetardDecimals) + "deg ";
}

std::string ChargeTempText(uint8_t v)
{
    return FormatFixed(ChargeTempF(v), 5, kTempDecimals) + "F " + RawSuffix(v);
}

std::string CoolantText(uint8_t v)
{
    return FormatFixed(CoolantF(v), 4, kTempDecimals) + "F " + RawSuffix(v);
}

std::string SparkText(uint8_t v)
{
    return FormatFixed(SparkDegrees(v), 2, kSparkDecimals) + "deg ";
}

std::string RawText(uint8_t v)
{
    return FramedHex(" ", v, " ");
}

std::string BaroText(float baroRef, double mapFunction)
{
    return FormatFixed(30.0 - baroRef * mapFunction * kHgPerPsi, 6, 2);
}

}  // namespace tessek
