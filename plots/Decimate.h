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
// every point in range is kept. A missing value (NaN) is never picked as an extreme when
// thinning; a bucket of missing values only is left out.
std::vector<PlotPoint> DecimateMinMax(const double* times, const double* values, size_t count, double from, double to,
                                      int columns);

}  // namespace tessek
