// Number texts: whatever is read gives a value that reads back the same from its own
// text, and nothing but blanks may follow a number.
#include "platform/TextNumbers.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    if (const auto value = ParseInteger(text)) {
        if (text.find('\0') != std::string_view::npos)
            std::abort();  // something followed the number
        if (ParseInteger(std::to_string(*value)) != value)
            std::abort();
    }

    if (const auto value = ParseFloat(text)) {
        if (!std::isfinite(*value) || text.find('\0') != std::string_view::npos)
            std::abort();
    }

    // A double survives FormatFloat and ParseFloat to 15 digits. Rounding to 15 digits
    // may carry a value at the very ends of the range (DBL_MIN, DBL_MAX) out of it, where
    // ParseFloat rightly refuses the text; the settings never come near them.
    if (size >= sizeof(double)) {
        double value = 0;
        std::memcpy(&value, data, sizeof value);
        if (value == 0 || (std::abs(value) >= 1e-300 && std::abs(value) <= 1e300)) {
            const auto again = ParseFloat(FormatFloat(value));
            if (!again || std::abs(*again - value) > std::abs(value) * 1e-14)
                std::abort();
        }
    }
    return 0;
}
