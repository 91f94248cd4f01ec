#include "analysis/Decimate.h"

#include <algorithm>
#include <cmath>

namespace tessek {
namespace {

// Adds `point`, but a missing value right after another one adds nothing: one break is
// enough to part the line.
void Append(std::vector<PlotPoint>& out, PlotPoint point)
{
    if (std::isnan(point.Value) && !out.empty() && std::isnan(out.back().Value))
        return;
    out.push_back(point);
}

}  // namespace

std::vector<PlotPoint> DecimateMinMax(const double* times, const double* values, size_t count, double from, double to,
                                      int columns)
{
    std::vector<PlotPoint> out;
    if (count == 0 || to < from)
        return out;
    // One point before the range and one after it, when there are such points.
    size_t first = static_cast<size_t>(std::lower_bound(times, times + count, from) - times);
    size_t last = static_cast<size_t>(std::upper_bound(times, times + count, to) - times);
    if (first > 0)
        --first;
    if (last < count)
        ++last;
    const size_t n = last - first;
    if (columns < 1 || n <= static_cast<size_t>(columns) * 2 + 2) {
        out.reserve(n);
        for (size_t i = first; i < last; ++i)
            Append(out, {times[i], values[i]});
        return out;
    }
    out.reserve(static_cast<size_t>(columns) * 3 + 2);
    const double width = (to - from) / columns;
    size_t i = first;
    // The points outside the range are kept as they are.
    if (times[i] < from)
        Append(out, {times[i], values[i++]});
    const size_t end = times[last - 1] > to ? last - 1 : last;
    while (i < end) {
        const auto bucket = width > 0 ? static_cast<long long>((times[i] - from) / width) : 0;
        // A missing value (NaN) is never a bucket's extreme: it would hide the others. The
        // bucket's first missing value becomes a break, in its place among the extremes.
        size_t lo = count, hi = count, gap = count;
        size_t j = i;
        for (; j < end; ++j) {
            const auto b = width > 0 ? static_cast<long long>((times[j] - from) / width) : 0;
            if (b != bucket)
                break;
            if (std::isnan(values[j])) {
                if (gap == count)
                    gap = j;
                continue;
            }
            if (lo == count || values[j] < values[lo])
                lo = j;
            if (hi == count || values[j] > values[hi])
                hi = j;
        }
        size_t picked[3];
        size_t kept = 0;
        if (lo != count) {
            picked[kept++] = lo;
            if (hi != lo)
                picked[kept++] = hi;
        }
        if (gap != count)
            picked[kept++] = gap;
        std::sort(picked, picked + kept);
        for (size_t k = 0; k < kept; ++k)
            Append(out, {times[picked[k]], values[picked[k]]});
        i = j;
    }
    if (end < last)
        Append(out, {times[end], values[end]});
    return out;
}

}  // namespace tessek
