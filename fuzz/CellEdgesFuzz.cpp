// Cell table edges as the user types them: a text is refused with a reason, or gives
// 2 to kMaxBins + 1 finite ascending edges whose own text reads back the same, and a table
// on them sorts every value into one of its bins or counts it apart.
#include "analysis/CellTable.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace tessek;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::vector<double> edges = ParseEdges(text, error);
    if (edges.empty() != !error.empty())
        std::abort();
    if (edges.empty())
        return 0;
    if (edges.size() < 2 || edges.size() > kMaxBins + 1)
        std::abort();
    for (size_t i = 0; i < edges.size(); ++i) {
        if (!std::isfinite(edges[i]) || (i > 0 && !(edges[i - 1] < edges[i])))
            std::abort();
    }
    std::string again;
    if (ParseEdges(EdgesText(edges), again) != edges || !again.empty())
        std::abort();

    CellTable table(edges, edges);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    size_t added = 0;
    for (const double v : {edges.front(), edges.back(), (edges.front() + edges.back()) / 2, edges.back() * 2, nan}) {
        const int bin = BinOf(edges, v);
        if (bin < -1 || bin >= static_cast<int>(table.Columns()))
            std::abort();
        table.Add(v, v, 1.0);
        ++added;
    }
    if (table.Hits() + table.Outside() + table.NoValue() != added ||
        table.Tsv(CellStatistic::Mean, 2, "y \\ x").empty())
        std::abort();
    return 0;
}
