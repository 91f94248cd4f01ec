#include "logging/ParamCatalogue.h"

#include "platform/Text.h"

#include <algorithm>
#include <utility>

namespace tessek {

Catalogue::Catalogue()
{
    static const std::pair<const char*, const char*> kEntries[] = {
        {"$12", "Skip value"},
        {"$5D", "Charge Air Temp"},
        {"$69", "MPH"},
        {"$72", "SPK Advance"},
        {"$73", "Baro"},
        {"$81", "Throttle Flg"},
        {"$86", "MAP"},
        {"$8F", "RPM"},
        {"$98", "TPS%"},
        {"$9A", "Coolant Temp"},
        {"$9B", "Raw Batt Temp"},
        {"$9C", "O2"},
        {"$9D", "Raw Charge Temp"},
        {"$A0", "Knock"},
        {"$CE", "Cyl 1 Retard"},
        {"$CF", "Cyl 2 Retard"},
        {"$D0", "Cyl 3 Retard"},
        {"$D1", "Cyl 4 Retard"},
        {"$DD", "(DTLKNK)"},
    };
    for (const auto& [name, text] : kEntries)
        lines_.push_back(std::string(name) + "=" + text);
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
