#include "logging/ParamCatalogue.h"

#include "lm/ParameterTable.h"
#include "platform/Hex.h"
#include "platform/Text.h"

#include <algorithm>

namespace tessek {

Catalogue::Catalogue()
{
    for (const ParameterRow& row : ParameterTable()) {
        // Built piece by piece: g++ 12 at -O3 takes `"$" + text` for an overlapping copy.
        std::string line = "$";
        line += ByteToHex(row.Address);
        line += '=';
        line += row.Text;
        lines_.push_back(std::move(line));
    }
    std::stable_sort(lines_.begin(), lines_.end(),
                     [](const std::string& a, const std::string& b) { return LessNoCase(a, b); });
}

std::string Catalogue::Name(int index) const
{
    const std::string& line = lines_.at(static_cast<size_t>(index));
    return line.substr(0, line.find('='));
}

std::string Catalogue::Value(int index) const
{
    const std::string& line = lines_.at(static_cast<size_t>(index));
    const auto eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int Catalogue::IndexOfName(const std::string& name) const
{
    for (int i = 0; i < Count(); ++i) {
        if (SameText(Name(i), name))
            return i;
    }
    return -1;
}

std::string Catalogue::DisplayText(const std::string& name) const
{
    const int index = IndexOfName(name);
    return index < 0 ? std::string() : Value(index);
}

}  // namespace tessek
