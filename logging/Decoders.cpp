#include "logging/Decoders.h"

#include "logging/ColumnNames.h"
#include "platform/Hex.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace tessek {

namespace {

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

double Knock(uint8_t v, uint8_t, const DecodeContext&)
{
    return v / 256.0 * 5.0;
}

// Boost in psi from BaroRef up; below it minus the vacuum in inches of mercury (strictly
// negative, so the text can tell the two apart by the sign).
double Map(uint8_t v, uint8_t, const DecodeContext& c)
{
    if (v >= c.BaroRef)
        return (v - double{c.BaroRef}) * c.MapFunction;
    return -((double{c.BaroRef} - v) * c.MapFunction * kHgPerPsi);
}

double Boost(uint8_t v, uint8_t, const DecodeContext& c)
{
    return BoostPsi(v, c.BaroRef, c.MapFunction);
}

double MapAbsolute(uint8_t v, uint8_t, const DecodeContext& c)
{
    return MapAbsoluteKpa(v, c.BaroRef, c.MapFunction);
}

double O2(uint8_t v, uint8_t, const DecodeContext&)
{
    return v * 0.0194 + 0.0446;
}

double Rpm(uint8_t lo, uint8_t hi, const DecodeContext&)
{
    return RpmValue(lo, hi);
}

double Tps(uint8_t v, uint8_t, const DecodeContext&)
{
    return v * 0.390625;
}

double Mph(uint8_t lo, uint8_t hi, const DecodeContext&)
{
    return MphValue(lo, hi);
}

double Retard(uint8_t v, uint8_t, const DecodeContext&)
{
    // Whole degrees: the half degree is dropped.
    const int degrees = (v & 0x3F) / 2;
    return degrees;
}

double ChargeTemp(uint8_t v, uint8_t, const DecodeContext&)
{
    return ChargeTempF(v);
}

double Coolant(uint8_t v, uint8_t, const DecodeContext&)
{
    return v * 1.24609375 - 60.0;
}

double Spark(uint8_t v, uint8_t, const DecodeContext&)
{
    return v / 2.0;
}

double Raw(uint8_t v, uint8_t, const DecodeContext&)
{
    return v;
}

// The integer fields are declared with precision 0 ("%4.0d"), which C's printf would print
// as nothing for a 0; the log shows "0" there, as fixed point with no decimals does.
constexpr DecoderRow kTable[] = {
    {.Kind = DecoderKind::Skip, .FirstAddress = kSkipAddress, .LastAddress = kSkipAddress, .HasRaw = false},
    {DecoderKind::ChargeTemp0,
     0x5D,
     0x5D,
     {0x5D},
     1,
     "Charge Air Temp",
     "F",
     5,
     1,
     "F ",
     "",
     true,
     false,
     ChargeTemp,
     true},
    {DecoderKind::Mph,
     0x69,
     0x69,
     {kMphLoAddress, kMphHiAddress},
     2,
     kRoadSpeedColumn,
     "mph",
     6,
     2,
     "mph ",
     "",
     false,
     false,
     Mph,
     true},
    {DecoderKind::Spark, 0x72, 0x72, {0x72}, 1, "Spark Advance", "deg", 2, 1, "deg ", "", false, false, Spark, true},
    {DecoderKind::Map,
     0x86,
     0x86,
     {0x86},
     1,
     kMapColumn,
     kMapMixedUnit,
     5,
     2,
     "psi ",
     "hg  ",
     false,
     false,
     Map,
     true,
     {{{kBoostColumn, "psi", 2, Boost}, {kMapAbsoluteColumn, "kPa", 1, MapAbsolute}}},
     2},
    {DecoderKind::Rpm,
     0x8F,
     0x8F,
     {kRpmLoAddress, kRpmHiAddress},
     2,
     kEngineSpeedColumn,
     "rpm",
     4,
     0,
     "rpm ",
     "",
     false,
     false,
     Rpm,
     true},
    {DecoderKind::Tps, 0x98, 0x98, {0x98}, 1, kThrottleColumn, "%", 5, 1, "% ", "", false, false, Tps, true},
    {DecoderKind::Coolant,
     kCoolantAddress,
     kCoolantAddress,
     {kCoolantAddress},
     1,
     "Coolant Temp",
     "F",
     4,
     1,
     "F ",
     "",
     true,
     false,
     Coolant,
     true},
    {DecoderKind::O2, 0x9C, 0x9C, {0x9C}, 1, "O2", "v", 5, 3, "v", "", true, false, O2, true},
    {DecoderKind::ChargeTemp1,
     0x9D,
     0x9D,
     {0x9D},
     1,
     "Raw Charge Temp",
     "F",
     5,
     1,
     "F ",
     "",
     true,
     false,
     ChargeTemp,
     true},
    {DecoderKind::Knock, 0xA0, 0xA0, {0xA0}, 1, "Knock", "v", 4, 2, "v ", "", false, false, Knock, true},
    {DecoderKind::Retard,
     0xCE,
     0xD1,
     {kSlotAddress},
     1,
     "Cyl # Retard",
     "deg",
     2,
     0,
     "deg ",
     "",
     false,
     false,
     Retard,
     true},
    {DecoderKind::Raw, 0, 0, {kSlotAddress}, 1, "", "", 0, 0, "", "", false, true, Raw, false},
};

}  // namespace

std::span<const DecoderRow> DecoderTable()
{
    return kTable;
}

const DecoderRow& RowOf(DecoderKind kind)
{
    for (const DecoderRow& row : kTable) {
        if (row.Kind == kind)
            return row;
    }
    return kTable[std::size(kTable) - 1];
}

const DecoderRow& DecoderRowFor(uint8_t address)
{
    for (const DecoderRow& row : kTable) {
        if (row.Kind != DecoderKind::Raw && address >= row.FirstAddress && address <= row.LastAddress)
            return row;
    }
    return RowOf(DecoderKind::Raw);
}

std::string DecoderText(const DecoderRow& row, uint8_t lo, uint8_t hi, const DecodeContext& context)
{
    if (row.Kind == DecoderKind::Skip)
        return {};
    if (row.HexText)
        return FramedHex(" ", lo, " ");
    const double value = row.Convert(lo, hi, context);
    const bool negativeUnit = !row.NegativeTextUnit.empty() && std::signbit(value);
    std::string text = FormatFixed(negativeUnit ? -value : value, row.Width, row.Decimals);
    text += negativeUnit ? row.NegativeTextUnit : row.TextUnit;
    if (row.RawInText)
        text += FramedHex("(", lo, ") ");
    return text;
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

std::optional<DecodedValue> DecodeValue(DecoderKind kind, uint8_t lo, uint8_t hi, float baroRef, double mapFunction)
{
    const DecoderRow& row = RowOf(kind);
    if (kind == DecoderKind::Skip)
        return std::nullopt;
    const double rounded = RoundAsPrinted(row.Convert(lo, hi, {baroRef, mapFunction}), row.Decimals);
    DecodedValue value{rounded == 0.0 ? 0.0 : rounded, row.Decimals, row.RequestCount > 1 ? hi * 256 + lo : lo};
    for (int i = 0; i < row.DerivedCount; ++i) {
        const DerivedColumn& derived = row.Derived[static_cast<size_t>(i)];
        const double d = RoundAsPrinted(derived.Convert(lo, hi, {baroRef, mapFunction}), derived.Decimals);
        value.Derived[static_cast<size_t>(i)] = d == 0.0 ? 0.0 : d;
    }
    value.DerivedCount = row.DerivedCount;
    return value;
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

double BoostPsi(uint8_t v, float baroRef, double mapFunction)
{
    return (v - double{baroRef}) * mapFunction;
}

double MapAbsoluteKpa(uint8_t v, float baroRef, double mapFunction)
{
    return (double{baroRef} * mapFunction + BoostPsi(v, baroRef, mapFunction)) * kKpaPerPsi;
}

int32_t RpmValue(uint8_t lo, uint8_t hi)
{
    return (hi * 256 + lo) / 4;
}

double MphValue(uint8_t lo, uint8_t hi)
{
    return (hi * 256.0 + lo) / 64.0;
}

std::string BaroText(float baroRef, double mapFunction)
{
    return FormatFixed(30.0 - baroRef * mapFunction * kHgPerPsi, 6, 2);
}

}  // namespace tessek
