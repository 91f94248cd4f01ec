#pragma once
// Number texts as the settings file and typed fields hold them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessek {

// A 32-bit integer: optional leading blanks and sign, then decimal digits, or hexadecimal
// digits after "$", "0x" or "0X". Nothing may follow. Hexadecimal up to FFFFFFFF wraps to
// a negative value; anything out of range, empty or malformed gives no value.
std::optional<int32_t> ParseInteger(std::string_view text);

// A finite floating-point number in C notation ("0.172266", "1e-3"), surrounding blanks
// allowed; empty, malformed, infinite, NaN or out-of-range text gives no value.
std::optional<double> ParseFloat(std::string_view text);

// Decimal text with up to 15 significant digits and a "." separator ("0.172266").
std::string FormatFloat(double value);

}  // namespace tessek
