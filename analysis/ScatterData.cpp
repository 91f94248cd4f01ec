#include "analysis/ScatterData.h"

#include <algorithm>
#include <cmath>

namespace tessek {

ScatterPoints ComputeScatter(const LogData& log, size_t x, size_t y, size_t c, double from, double to)
{
    ScatterPoints p;
    if (x >= log.Channels.size() || y >= log.Channels.size() || !(from <= to))
        return p;
    const std::vector<double>& xs = log.Channels[x].Values;
    const std::vector<double>& ys = log.Channels[y].Values;
    const std::vector<double>* cs = c < log.Channels.size() ? &log.Channels[c].Values : nullptr;
    const size_t n = std::min({log.Time.size(), xs.size(), ys.size()});
    const auto first =
        static_cast<size_t>(std::lower_bound(log.Time.begin(), log.Time.begin() + n, from) - log.Time.begin());
    const auto last =
        static_cast<size_t>(std::upper_bound(log.Time.begin(), log.Time.begin() + n, to) - log.Time.begin());
    const size_t reserve = last > first ? last - first : 0;
    for (auto* v : {&p.X, &p.Y, &p.C, &p.Time})
        v->reserve(reserve);
    p.Row.reserve(reserve);
    double lo = INFINITY, hi = -INFINITY;
    for (size_t i = first; i < last; ++i) {
        if (std::isnan(xs[i]) || std::isnan(ys[i]))
            continue;
        const double cv = cs && i < cs->size() ? (*cs)[i] : NAN;
        p.X.push_back(xs[i]);
        p.Y.push_back(ys[i]);
        p.C.push_back(cv);
        p.Time.push_back(log.Time[i]);
        p.Row.push_back(i);
        if (!std::isnan(cv)) {
            lo = std::min(lo, cv);
            hi = std::max(hi, cv);
        }
    }
    if (lo <= hi) {
        p.CMin = lo;
        p.CMax = hi;
    }
    return p;
}

int ColourBin(double v, double lo, double hi, int bins)
{
    if (std::isnan(v) || bins < 1)
        return -1;
    if (!(hi > lo))
        return bins / 2;
    const double t = std::clamp((v - lo) / (hi - lo), 0.0, 1.0);
    return std::min(static_cast<int>(t * bins), bins - 1);
}

std::optional<size_t> NearestPoint(const ScatterPoints& points, double x, double y, double xPixelsPerUnit,
                                   double yPixelsPerUnit, double maxPixels)
{
    std::optional<size_t> best;
    double bestSquare = maxPixels * maxPixels;
    for (size_t i = 0; i < points.Size(); ++i) {
        const double dx = (points.X[i] - x) * xPixelsPerUnit, dy = (points.Y[i] - y) * yPixelsPerUnit;
        const double square = dx * dx + dy * dy;
        if (square <= bestSquare && (!best || square < bestSquare)) {
            best = i;
            bestSquare = square;
        }
    }
    return best;
}

}  // namespace tessek
