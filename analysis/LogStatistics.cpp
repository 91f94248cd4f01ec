#include "analysis/LogStatistics.h"

#include <algorithm>
#include <cmath>

namespace tessek {

std::optional<size_t> NearestSample(std::span<const double> time, double t)
{
    if (time.empty() || !(t >= time.front()) || !(t <= time.back()))
        return std::nullopt;
    const size_t after = static_cast<size_t>(std::lower_bound(time.begin(), time.end(), t) - time.begin());
    if (time[after] == t || after == 0)
        return after;
    // Of a run of equal times, the first sample is the nearest one, like an exact match.
    const size_t before =
        static_cast<size_t>(std::lower_bound(time.begin(), time.begin() + after, time[after - 1]) - time.begin());
    return t - time[after - 1] <= time[after] - t ? before : after;
}

double ValueAt(std::span<const double> time, std::span<const double> values, double t)
{
    const auto i = NearestSample(time, t);
    return i && *i < values.size() ? values[*i] : std::numeric_limits<double>::quiet_NaN();
}

RangeStats StatsOver(std::span<const double> time, std::span<const double> values, double t0, double t1)
{
    RangeStats s;
    if (!(t0 <= t1))
        return s;
    const size_t n = std::min(time.size(), values.size());
    const auto first = std::lower_bound(time.begin(), time.begin() + n, t0) - time.begin();
    const auto last = std::upper_bound(time.begin(), time.begin() + n, t1) - time.begin();
    double lo = INFINITY, hi = -INFINITY, sum = 0;
    for (auto i = first; i < last; ++i) {
        const double v = values[static_cast<size_t>(i)];
        if (std::isnan(v))
            continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
        ++s.Count;
    }
    if (s.Count > 0) {
        s.Min = lo;
        s.Max = hi;
        s.Mean = sum / static_cast<double>(s.Count);
    }
    return s;
}

double Median(std::span<double> values)
{
    if (values.empty())
        return std::numeric_limits<double>::quiet_NaN();
    const auto mid = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), mid, values.end());
    if (values.size() % 2 == 1)
        return *mid;
    return (*std::max_element(values.begin(), mid) + *mid) / 2;
}

}  // namespace tessek
