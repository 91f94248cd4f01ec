#include "analysis/Pulls.h"

#include "analysis/LogStatistics.h"
#include "logging/Performance.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <limits>

namespace tessek {
namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
// Engine speeds at or above this are garbage, not a sample of a pull.
constexpr double kMaxRpm = 100000;

bool Near(double value, double reference)
{
    return std::fabs(value - reference) <= kRatioTolerance * reference;
}

// A sample's engine-to-road-speed ratio and how it moves over the surrounding window.
struct RatioShape {
    double Ratio = kNoValue;
    bool Steady = false;
    double Drift = 0;  // median of the later half window less that of the earlier, relative
};

std::vector<RatioShape> Shapes(const std::vector<double>& time, const std::vector<double>& ratio)
{
    std::vector<RatioShape> shapes(ratio.size());
    std::vector<size_t> valid;
    for (size_t i = 0; i < ratio.size(); ++i)
        if (!std::isnan(ratio[i]))
            valid.push_back(i);
    const double half = kRatioWindowSeconds / 2;
    std::vector<double> all, before, after;
    size_t lo = 0, hi = 0;
    for (size_t k = 0; k < valid.size(); ++k) {
        const double t = time[valid[k]];
        while (time[valid[lo]] < t - half)
            ++lo;
        while (hi < valid.size() && time[valid[hi]] <= t + half)
            ++hi;
        all.clear();
        before.clear();
        after.clear();
        for (size_t j = lo; j < hi; ++j) {
            const double r = ratio[valid[j]];
            all.push_back(r);
            if (j <= k)
                before.push_back(r);
            if (j >= k)
                after.push_back(r);
        }
        const double median = Median(all);
        const double drift = (Median(after) - Median(before)) / median;
        const double r = ratio[valid[k]];
        shapes[valid[k]] = {r, Near(r, median) && std::fabs(drift) <= kRatioTolerance, drift};
    }
    return shapes;
}

// The ratios held steady for kGearHoldSeconds or more, those within kRatioTolerance of
// each other taken as one gear (their median), highest first.
std::vector<double> FindGears(const std::vector<double>& time, const std::vector<RatioShape>& shapes)
{
    std::vector<double> held, stretch;
    double first = 0, last = 0;
    const auto close = [&] {
        if (!stretch.empty() && last - first >= kGearHoldSeconds)
            held.push_back(Median(stretch));
        stretch.clear();
    };
    for (size_t i = 0; i < shapes.size(); ++i) {
        if (!shapes[i].Steady)
            continue;
        if (stretch.empty() || !Near(shapes[i].Ratio, stretch.front()) || time[i] - last > kPullGapSeconds) {
            close();
            first = time[i];
        }
        stretch.push_back(shapes[i].Ratio);
        last = time[i];
    }
    close();
    std::sort(held.begin(), held.end(), std::greater<>());
    std::vector<double> gears, same;
    for (size_t i = 0; i < held.size(); ++i) {
        same.push_back(held[i]);
        if (i + 1 == held.size() || !Near(held[i + 1], same.front())) {
            gears.push_back(Median(same));
            same.clear();
        }
    }
    return gears;
}

// 1 for the first gear, ...; 0 when the sample is in none.
int GearOf(const RatioShape& shape, const std::vector<double>& gears)
{
    int best = 0;
    for (size_t g = 0; g < gears.size(); ++g) {
        if (shape.Steady && Near(shape.Ratio, gears[g]) &&
            (best == 0 || std::fabs(shape.Ratio - gears[g]) < std::fabs(shape.Ratio - gears[best - 1])))
            best = static_cast<int>(g) + 1;
    }
    return best;
}

// Full throttle (where logged), gaining speed no faster than a car can, with a power figure.
bool FullThrottleGain(const PullInputs& in, size_t i)
{
    const double rpm = in.Rpm[i];
    const double a = in.Acceleration[i];
    if (!(rpm > 0 && rpm < kMaxRpm) || !(a > 0 && a <= kMaxPlausibleAcceleration) || std::isnan(in.Power[i]))
        return false;
    return in.Throttle.empty() || in.Throttle[i] >= kWotThrottlePercent;
}

LeftOutReason Reason(double speed, const RatioShape& shape, const std::vector<double>& gears,
                     const std::vector<double>& lastHeld, double t)
{
    if (speed == 0)
        return LeftOutReason::SlippingClutch;  // the engine pulls, the car has not moved yet
    if (std::fabs(shape.Drift) <= kRatioTolerance)
        return LeftOutReason::NoGear;
    if (shape.Drift > 0)
        return LeftOutReason::WheelSpin;
    // Falling from a gear held just before (the sample may still be at that gear's ratio,
    // the fall just after it).
    for (size_t g = 0; g < gears.size(); ++g)
        if (gears[g] >= shape.Ratio * (1 - kRatioTolerance) && t - lastHeld[g] <= kShiftSeconds)
            return LeftOutReason::Shift;
    return LeftOutReason::SlippingClutch;
}

}  // namespace

PullFinding FindPulls(const PullInputs& in)
{
    PullFinding found;
    const size_t n = in.Time.size();
    found.RatioChecked = !in.Speed.empty();
    std::vector<double> ratio(n, kNoValue);
    if (found.RatioChecked)
        for (size_t i = 0; i < n; ++i)
            if (in.Rpm[i] > 0 && in.Rpm[i] < kMaxRpm && in.Speed[i] > 0)
                ratio[i] = in.Rpm[i] / in.Speed[i];
    const std::vector<RatioShape> shapes = Shapes(in.Time, ratio);
    found.Gears = FindGears(in.Time, shapes);
    std::vector<double> lastHeld(found.Gears.size(), -std::numeric_limits<double>::infinity());
    for (size_t i = 0; i < n; ++i) {
        const double t = in.Time[i];
        const int gear = GearOf(shapes[i], found.Gears);
        if (gear > 0)
            lastHeld[static_cast<size_t>(gear) - 1] = t;
        if (!FullThrottleGain(in, i) || (found.RatioChecked && std::isnan(in.Speed[i])))
            continue;
        if (found.RatioChecked && gear == 0) {
            ++found.LeftOut[static_cast<size_t>(Reason(in.Speed[i], shapes[i], found.Gears, lastHeld, t))];
            continue;
        }
        if (found.Pulls.empty() || found.Pulls.back().Gear != gear || t - found.Pulls.back().End > kPullGapSeconds)
            found.Pulls.push_back({t, t, gear, in.Rpm[i], in.Rpm[i], {}});
        Pull& pull = found.Pulls.back();
        pull.End = t;
        pull.RpmFrom = std::min(pull.RpmFrom, in.Rpm[i]);
        pull.RpmTo = std::max(pull.RpmTo, in.Rpm[i]);
        pull.Samples.push_back(i);
    }
    return found;
}

std::vector<bool> DefaultPullChoice(const PullFinding& found)
{
    const auto highestGear = [&](bool spanned) {
        int gear = INT_MAX;
        for (const Pull& p : found.Pulls)
            if (!spanned || p.RpmSpan() >= kDefaultPullSpanRpm)
                gear = std::min(gear, p.Gear);
        return gear;
    };
    int gear = highestGear(true);
    const bool spanned = gear != INT_MAX;
    if (!spanned)
        gear = highestGear(false);
    std::vector<bool> chosen;
    for (const Pull& p : found.Pulls)
        chosen.push_back(p.Gear == gear && (!spanned || p.RpmSpan() >= kDefaultPullSpanRpm));
    return chosen;
}

std::string LeftOutText(const PullFinding& found)
{
    static constexpr const char* kWhy[] = {"with a slipping clutch", "during a shift", "with wheel spin",
                                           "in no gear held for a second"};
    std::string text;
    for (size_t r = 0; r < found.LeftOut.size(); ++r) {
        const size_t count = found.LeftOut[r];
        if (count == 0)
            continue;
        text += text.empty() ? "Left out: " + std::to_string(count) + (count == 1 ? " sample " : " samples ")
                             : ", " + std::to_string(count) + " ";
        text += kWhy[r];
    }
    return text.empty() ? text : text + ".";
}

}  // namespace tessek
