// The [AdaptiveGrid] breakpoints: whatever the settings file holds, each breakpoint is a
// name or the user's text, never blank, never padded, never longer than kMaxBreakpointText,
// and every row and column of the grid gets its range.
#include "fuzz/FuzzFile.h"
#include "platform/IniFile.h"
#include "reports/ReportReadings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const IniFile ini(fuzz::WriteSettings(text));
    const AdaptiveBreakpoints points = LoadAdaptiveBreakpoints(ini);
    const auto check = [](const std::string& point) {
        if (point.empty() || point.size() > kMaxBreakpointText || point.front() == ' ' || point.back() == ' ' ||
            point.front() == '\t' || point.back() == '\t')
            std::abort();
    };
    for (const std::string& point : points.Rpm)
        check(point);
    for (const std::string& point : points.Map)
        check(point);
    for (int row = 0; row < kAdaptiveRows; ++row) {
        if (AdaptiveRowRange(row, points).empty())
            std::abort();
    }
    for (int column = 0; column < kAdaptiveColumns; ++column) {
        if (AdaptiveColumnRange(column, points, "\n").empty())
            std::abort();
    }
    return 0;
}
