#pragma once
// The data of a scatter plot of a log: one point per sample that has an X and a Y value
// within a time range, coloured by a third channel, and the point nearest to the mouse
// pointer. Plain code, any thread.
#include <cstddef>
#include <limits>
#include <optional>
#include <vector>

#include "logfiles/LogFile.h"

namespace tessek {

struct ScatterPoints {
    std::vector<double> X, Y;
    std::vector<double> C;                                   // the colour channel's value; NaN where it has none
    std::vector<double> Time;                                // s
    std::vector<size_t> Row;                                 // the sample's row in the log
    double CMin = std::numeric_limits<double>::quiet_NaN();  // over the points' colour values
    double CMax = std::numeric_limits<double>::quiet_NaN();

    size_t Size() const { return X.size(); }
};

// The samples with from <= time <= to that have values of channels `x` and `y`; `c` may be
// log.Channels.size() for no colour channel (then every C is NaN). Channels out of range
// give no points.
ScatterPoints ComputeScatter(const LogData& log, size_t x, size_t y, size_t c, double from, double to);

// The colour bin (0 .. bins - 1) of value `v` on the scale lo .. hi; a flat scale puts all
// in the middle bin; -1 for NaN.
int ColourBin(double v, double lo, double hi, int bins);

// The point nearest to (x, y) as the eye sees it: distances are measured in pixels, given
// the pixels per unit of each axis; none when the nearest is farther than `maxPixels`.
std::optional<size_t> NearestPoint(const ScatterPoints& points, double x, double y, double xPixelsPerUnit,
                                   double yPixelsPerUnit, double maxPixels);

}  // namespace tessek
