#include "logging/ParamCatalogue.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tessek {

namespace {

char Lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool LessIgnoringCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

bool EqualIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace

TParamCatalogue::TParamCatalogue()
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
    std::stable_sort(lines_.begin(), lines_.end(), LessIgnoringCase);
}

std::string TParamCatalogue::Name(int index) const
{
    const std::string& line = lines_.at(static_cast<size_t>(index));
    return line.substr(0, line.find('='));
}

std::string TParamCatalogue::Value(int index) const
{
    const std::string& line = lines_.at(static_cast<size_t>(index));
    const auto eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int TParamCatalogue::IndexOfName(const std::string& name) const
{
    for (int i = 0; i < Count(); ++i) {
        if (EqualIgnoringCase(Name(i), name))
            return i;
    }
    return -1;
}

std::string TParamCatalogue::DisplayText(const std::string& name) const
{
    const int index = IndexOfName(name);
    return index < 0 ? std::string() : Value(index);
}

}  // namespace tessek
