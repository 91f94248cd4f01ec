#include "analysis/PowerCurve.h"

#include "logging/ColumnNames.h"
#include "logging/Performance.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>

namespace tessek {
namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
// Engine speeds at or above this are garbage, not a point of the curve.
constexpr double kMaxRpm = 100000;

bool SameName(const std::string& a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

const LogChannel* Find(const LogData& log, std::string_view name)
{
    for (const LogChannel& c : log.Channels)
        if (!c.Raw && SameName(c.Name, name))
            return &c;
    return nullptr;
}

double Median(std::vector<double>& v)
{
    if (v.empty())
        return kNoValue;
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid), v.end());
    const double upper = v[mid];
    if (v.size() % 2 == 1)
        return upper;
    const double lower = *std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(mid));
    return (lower + upper) / 2;
}

// Mean of the bin and its neighbours that have a value.
double NeighbourMean(const std::vector<long>& bins, const std::vector<double>& v, size_t i)
{
    double sum = 0;
    int n = 0;
    for (size_t j = i == 0 ? 0 : i - 1; j <= i + 1 && j < v.size(); ++j) {
        if (std::labs(bins[j] - bins[i]) <= 1 && !std::isnan(v[j])) {
            sum += v[j];
            ++n;
        }
    }
    return n > 0 ? sum / n : kNoValue;
}

}  // namespace

PowerCurve ComputePowerCurve(const LogData& log)
{
    PowerCurve curve;
    const LogChannel* rpm = Find(log, kEngineSpeedColumn);
    const LogChannel* accel = Find(log, kAccelerationColumn);
    const LogChannel* power = Find(log, kPowerColumn);
    const LogChannel* torque = Find(log, kTorqueColumn);
    const LogChannel* throttle = Find(log, kThrottleColumn);
    if (!accel || !power || !torque) {
        curve.Problem = "No acceleration data in this log: it has no Acceleration, Power and Torque columns.";
        return curve;
    }
    if (!rpm) {
        curve.Problem = "No power curve for this log: it has no Engine Speed column.";
        return curve;
    }
    if (!power->Unit.empty())
        curve.PowerUnit = power->Unit;
    if (!torque->Unit.empty())
        curve.TorqueUnit = torque->Unit;
    struct Bin {
        std::vector<double> Power, Torque;
    };
    std::map<long, Bin> bins;
    const size_t n = log.Time.size();
    for (size_t i = 0; i < n; ++i) {
        const double r = rpm->Values[i];
        const double a = accel->Values[i];
        const double p = power->Values[i];
        if (!(r > 0) || !(r < kMaxRpm) || !(a > 0) || !(a <= kMaxPlausibleAcceleration) || std::isnan(p))
            continue;
        if (throttle && !(throttle->Values[i] >= kWotThrottlePercent))
            continue;
        Bin& b = bins[static_cast<long>(std::floor(r / kPowerCurveBinRpm))];
        b.Power.push_back(p);
        if (!std::isnan(torque->Values[i]))
            b.Torque.push_back(torque->Values[i]);
    }
    std::erase_if(bins, [](const auto& bin) { return bin.second.Power.size() < kPowerCurveMinBinSamples; });
    if (bins.empty()) {
        curve.Problem =
            "No full-throttle acceleration in this log: no 100 rpm bin has 3 samples at full throttle "
            "with an acceleration above 0 and at most 1.5 g.";
        return curve;
    }
    std::vector<long> index;
    std::vector<double> medPower, medTorque;
    for (auto& [bin, b] : bins) {
        curve.Samples += b.Power.size();
        index.push_back(bin);
        medPower.push_back(Median(b.Power));
        medTorque.push_back(Median(b.Torque));
    }
    for (size_t i = 0; i < index.size(); ++i) {
        PowerCurvePoint p;
        p.Rpm = (static_cast<double>(index[i]) + 0.5) * kPowerCurveBinRpm;
        p.Power = NeighbourMean(index, medPower, i);
        p.Torque = NeighbourMean(index, medTorque, i);
        curve.Points.push_back(p);
        if (std::isnan(curve.PeakPower) || p.Power > curve.PeakPower) {
            curve.PeakPower = p.Power;
            curve.PeakPowerRpm = p.Rpm;
        }
        if (!std::isnan(p.Torque) && (std::isnan(curve.PeakTorque) || p.Torque > curve.PeakTorque)) {
            curve.PeakTorque = p.Torque;
            curve.PeakTorqueRpm = p.Rpm;
        }
    }
    return curve;
}

}  // namespace tessek
