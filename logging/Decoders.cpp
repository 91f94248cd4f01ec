#include "logging/Decoders.h"

#include "platform/Hex.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace tessek {

namespace {

// The byte's two hexadecimal digits between `before` and `after`. Built by appending:
// GCC 12 at -O3 warns falsely (-Wrestrict) on a literal + a short temporary string.
std::string FramedHex(const char* before, uint8_t v, const char* after)
{
    std::string text = before;
    text += BytesToHex(std::string(1, static_cast<char>(v)));
    text += after;
    return text;
}

}  // namespace

std::string DecoderText(const ParameterRow& row, uint8_t lo, uint8_t hi, const DecodeContext& context)
{
    if (row.Kind == DecoderKind::Skip)
        return {};
    if (row.Kind == DecoderKind::Raw)
        return FramedHex(" ", lo, " ");
    const double value = ParameterValue(row, lo, hi, context);
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

std::optional<DecodedValue> DecodeValue(const ParameterRow& row, uint8_t lo, uint8_t hi, const DecodeContext& context)
{
    if (row.Kind == DecoderKind::Skip)
        return std::nullopt;
    const double rounded = RoundAsPrinted(ParameterValue(row, lo, hi, context), row.Decimals);
    DecodedValue value{rounded == 0.0 ? 0.0 : rounded, row.Decimals, row.LowAddress ? hi * 256 + lo : lo};
    for (int i = 0; i < row.DerivedCount; ++i) {
        const DerivedColumn& derived = row.Derived[static_cast<size_t>(i)];
        const double d = RoundAsPrinted(derived.Convert(lo, context), derived.Decimals);
        value.Derived[static_cast<size_t>(i)] = d == 0.0 ? 0.0 : d;
    }
    value.DerivedCount = row.DerivedCount;
    return value;
}

std::string BaroText(float baroRef, double mapFunction)
{
    return FormatFixed(30.0 - baroRef * mapFunction * kInHgPerPsi, 6, 2);
}

}  // namespace tessek
