#include "plots/Decimate.h"

#include <algorithm>
#include <cmath>

namespace tessek {

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
            out.push_back({times[i], values[i]});
        return out;
    }
    out.reserve(static_cast<size_t>(columns) * 2 + 2);
    const double width = (to - from) / columns;
    size_t i = first;
    // The points outside the range are kept as they are.
    if (times[i] < from)
        out.push_back({times[i], values[i++]});
    const size_t end = times[last - 1] > to ? last - 1 : last;
    while (i < end) {
        const auto bucket = width > 0 ? static_cast<long long>((times[i] - from) / width) : 0;
        // A missing value (NaN) is never a bucket's extreme: it would hide the others.
        size_t lo = count, hi = count;
        size_t j = i;
        for (; j < end; ++j) {
            const auto b = width > 0 ? static_cast<long long>((times[j] - from) / width) : 0;
            if (b != bucket)
                break;
            if (std::isnan(values[j]))
                continue;
            if (lo == count || values[j] < values[lo])
                lo = j;
            if (hi == count || values[j] > values[hi])
                hi = j;
        }
        if (lo != count) {
            const size_t a = std::min(lo, hi), b = std::max(lo, hi);
            out.push_back({times[a], values[a]});
            if (b != a)
                out.push_back({times[b], values[b]});
        }
        i = j;
    }
    if (end < last)
        out.push_back({times[end], values[end]});
    return out;
}

}  // namespace tessek
