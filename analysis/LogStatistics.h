#pragma once
// What the log viewer's value panel shows for one channel: the value at the cursor time
// and the smallest, largest and mean value over the visible time range. Pure functions,
// any thread. `time` is in seconds and never decreases; `values` has the same length, NaN
// where a sample has no value. A range lookup is a binary search plus one pass over the
// samples inside the range.
#include <cstddef>
#include <limits>
#include <optional>
#include <span>

namespace tessek {

struct RangeStats {
    double Min = std::numeric_limits<double>::quiet_NaN();
    double Max = std::numeric_limits<double>::quiet_NaN();
    double Mean = std::numeric_limits<double>::quiet_NaN();
    size_t Count = 0;  // samples with a value inside the range
};

// The sample nearest to `t` (the earlier of two equally near); none when there are no
// samples or `t` lies before the first or after the last sample time.
std::optional<size_t> NearestSample(std::span<const double> time, double t);

// The value of the sample nearest to `t` (NearestSample), so the cursor reads what is
// drawn at the vertex it is on; NaN when there is no such sample or it has no value.
double ValueAt(std::span<const double> time, std::span<const double> values, double t);

// Over the samples with t0 <= time <= t1, skipping those without a value; Count 0 and NaN
// figures when none has one (also for t1 < t0).
RangeStats StatsOver(std::span<const double> time, std::span<const double> values, double t0, double t1);

// The middle value of `values` (the mean of the two middle ones for an even count); NaN
// for none. The order of `values` is changed.
double Median(std::span<double> values);

}  // namespace tessek
