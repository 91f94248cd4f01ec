// The log reader: whatever a file holds, the result is either a reason or a log whose
// rows line up (one value per channel per row, times never going back), every skipped row
// is counted, and the limits hold: no more columns and values than allowed.
#include "logfiles/LogFile.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    LogReadLimits limits;
    limits.MaxColumns = 16;
    limits.MaxCells = 16 * kCellsPerChannel + 4096;
    for (const bool cutShort : {false, true}) {
        const LogReadResult r = ParseLogText(text, limits, cutShort);
        if (!r.Ok()) {
            if (!r.Data.Time.empty() && r.Error.empty())
                std::abort();
            continue;
        }
        const LogData& log = r.Data;
        if (log.Time.empty() || log.Channels.empty() || log.Channels.size() + 1 > limits.MaxColumns)
            std::abort();
        if ((log.Channels.size() + 1) * (log.Time.size() + kCellsPerChannel) > limits.MaxCells)
            std::abort();
        if (r.Report.RowsRead != log.Time.size() || r.Report.Examples.size() > 5)
            std::abort();
        for (size_t i = 0; i < log.Time.size(); ++i) {
            if (!std::isfinite(log.Time[i]) || (i > 0 && log.Time[i] < log.Time[i - 1]))
                std::abort();
        }
        for (const LogChannel& c : log.Channels) {
            if (c.Values.size() != log.Time.size() || c.Decimals < 0 || c.Decimals > 6)
                std::abort();
        }
        if (r.Report.Summary().empty())
            std::abort();
    }
    return 0;
}
