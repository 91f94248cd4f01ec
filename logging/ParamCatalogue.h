#pragma once
// The fixed catalogue of named LM addresses the user picks from: one line "name=text" for
// each row of the parameter table (lm/ParameterTable.h), where the name is "$" and the
// address as two upper-case hexadecimal digits and the text is the row's. Kept
// sorted by whole line text without regard to letter case, which is ascending address
// order. Name lookups ignore letter case and compare the whole name.
#include <functional>
#include <string>
#include <vector>

namespace tessek {

// The catalogue's display text for a name such as "$8F"; "" for an unknown name (what the
// logging run and its columns are given, so that they need no catalogue of their own).
using DisplayTextLookup = std::function<std::string(const std::string& name)>;

class Catalogue {
public:
    // Builds the entries.
    Catalogue();

    int Count() const { return static_cast<int>(lines_.size()); }
    // Whole lines "$8F=RPM" in list order (what the Data Setup dialog offers).
    const std::vector<std::string>& Lines() const { return lines_; }
    std::string Name(int index) const;   // "$8F"
    std::string Value(int index) const;  // "RPM"
    // Index of the entry named `name`, or -1.
    int IndexOfName(const std::string& name) const;
    // Display text of the entry named `name`; empty when there is none.
    std::string DisplayText(const std::string& name) const;

private:
    std::vector<std::string> lines_;
};

}  // namespace tessek
