#include "logging/ColumnNames.h"

namespace tessek {
namespace {

std::string_view Trimmed(std::string_view text)
{
    const size_t b = text.find_first_not_of(" \t");
    if (b == std::string_view::npos)
        return {};
    return text.substr(b, text.find_last_not_of(" \t") - b + 1);
}

}  // namespace

std::string ColumnHeaderText(const ColumnHeader& header)
{
    return header.Unit.empty() ? header.Name : header.Name + " (" + header.Unit + ")";
}

ColumnHeader SplitColumnHeader(std::string_view text)
{
    text = Trimmed(text);
    ColumnHeader header{std::string(text), {}};
    if (text.size() < 3)
        return header;
    const char close = text.back();
    const char open = close == ')' ? '(' : close == ']' ? '[' : 0;
    const size_t at = open ? text.rfind(open) : std::string_view::npos;
    if (at == std::string_view::npos || at == 0)
        return header;
    header.Name = std::string(Trimmed(text.substr(0, at)));
    header.Unit = std::string(Trimmed(text.substr(at + 1, text.size() - at - 2)));
    return header;
}

}  // namespace tessek
