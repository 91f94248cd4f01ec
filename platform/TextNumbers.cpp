#include "platform/TextNumbers.h"

#include <locale.h>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tessek {

namespace {

int DigitValue(char c, int base)
{
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

// The C locale, so that "." is the decimal separator whatever LANG says.
locale_t CLocale()
{
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

}  // namespace

std::optional<int32_t> ParseInteger(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return std::nullopt;
    uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int d = DigitValue(text[i], base);
        if (d < 0)
            return std::nullopt;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull)
            return std::nullopt;
    }
    int64_t signedValue = 0;
    if (base == 16) {
        signedValue = static_cast<int32_t>(static_cast<uint32_t>(value));
    } else {
        signedValue = static_cast<int64_t>(value);
        if (signedValue > (negative ? 2147483648LL : 2147483647LL))
            return std::nullopt;
    }
    if (negative)
        signedValue = -signedValue;
    return static_cast<int32_t>(signedValue);
}

std::optional<double> ParseFloat(std::string_view text)
{
    const std::string s(text);
    const char* begin = s.c_str();
    while (*begin == ' ')
        ++begin;
    if (*begin == '\0')
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double v = strtod_l(begin, &end, CLocale());
    if (end == begin || errno == ERANGE || !std::isfinite(v))
        return std::nullopt;
    while (*end == ' ')
        ++end;
    // The whole text, also past a zero byte inside it, must have been read.
    if (end != s.c_str() + s.size())
        return std::nullopt;
    return v;
}

std::string FormatFloat(double value)
{
    const locale_t old = uselocale(CLocale());
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    uselocale(old);
    return buf;
}

}  // namespace tessek
