// The [AdaptiveGrid] breakpoints: whatever the settings file holds, each breakpoint is a
// name or the user's text, never blank, never padded, never longer than kMaxBreakpointText,
// and every row and column of the grid gets its range. The advice's [AfrTarget] and
// [AdviceDelay] tables read from the same file are whole (a target per cell, 6 to 25; as
// many delays as engine speeds, ascending, 0 to 5 s), and the same bytes read as a run's
// adaptives file give readings that read back the same once written.
#include "analysis/Advice.h"
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

    const AfrTargetTable target = ReadAfrTargets(ini);
    if (target.Columns() == 0 || target.Rows() == 0 || target.Afr.size() != target.Columns() * target.Rows())
        std::abort();
    for (double afr : target.Afr)
        if (!(afr >= 6 && afr <= 25))
            std::abort();
    const DelayTable delay = ReadDelays(ini);
    if (delay.Rpm.empty() || delay.Rpm.size() != delay.Seconds.size())
        std::abort();
    for (size_t i = 0; i < delay.Rpm.size(); ++i)
        if ((i > 0 && !(delay.Rpm[i - 1] < delay.Rpm[i])) || !(delay.Seconds[i] >= 0 && delay.Seconds[i] <= 5))
            std::abort();
    if (!(delay.At(delay.Rpm.front() + 1) >= 0))
        std::abort();

    const RunAdaptives run = ParseRunAdaptives(text);
    const RunAdaptives again = ParseRunAdaptives(RunAdaptivesCsv(run));
    for (const auto& [a, b] : {std::pair{&run.Start, &again.Start}, {&run.End, &again.End}})
        if (a->has_value() != b->has_value() || (*a && ((*a)->Cells != (*b)->Cells || (*a)->Idle != (*b)->Idle)))
            std::abort();
    return 0;
}
