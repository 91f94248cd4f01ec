#pragma once
// Filling in the serial layer's catalogue texts, which name their values "%1" and "%2".
#include <cstddef>
#include <string>

namespace tessek {

// `text` with "%1" replaced by `first` and "%2" by `second`, in one pass, so that a
// value that happens to contain "%2" stays as it is.
inline std::string FillText(const std::string& text, const std::string& first, const std::string& second = {})
{
    std::string filled;
    for (size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && (next == '1' || next == '2')) {
            filled += next == '1' ? first : second;
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

}  // namespace tessek
