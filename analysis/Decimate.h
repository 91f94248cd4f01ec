#pragma once
// Thinning a long series for drawing without losing its extremes: the visible time range
// is cut into one bucket per pixel column, and each bucket keeps its smallest and its
// largest value in the order they occur. A line drawn through the result touches every
// peak and every dip the full series has, at any zoom. Pure functions, any thread.
#include <cstddef>
#include <vector>

namespace tessek {

struct PlotPoint {
    double Time = 0;
    double Value = 0;
};

// `times` ascending, `values` of the same length. Keeps the points inside [from, to] plus
// the nearest point on either side (so the line reaches the plot's edges), thinned to at
// most about 2 * `columns` + 2 points. With `columns` < 1 or fewer points than that,
// every point in range is kept. A missing value (NaN) breaks the line: each run of missing
// values becomes one point with a NaN value at the time of its first sample (a plot leaves
// the line out there). When thinning, a missing value is never picked as an extreme; a
// bucket with missing values keeps one break, in time order with its extremes, so that
// every gap shows at any zoom (at most 3 * `columns` + 2 points then).
std::vector<PlotPoint> DecimateMinMax(const double* times, const double* values, size_t count, double from, double to,
                                      int columns);

}  // namespace tessek
