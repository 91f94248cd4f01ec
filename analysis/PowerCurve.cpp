#include "analysis/PowerCurve.h"

#include "analysis/LogStatistics.h"
#include "logging/ColumnNames.h"
#include "logging/Units.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

namespace tessek {
namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();
constexpr double kHpTorqueFactor = 5250;  // lb-ft × rpm per hp
constexpr double kFeetPerSecondPerMph = 1.46667;
constexpr double kFootPoundsPerSecondPerHp = 550;
constexpr const char* kNoPullProblem =
    "No full-throttle acceleration in this log: no 100 rpm bin has 3 samples at full throttle with an "
    "acceleration above 0 and at most 1.5 g.";
// Samples gaining speed more slowly than this tell the weight too coarsely (the
// acceleration is logged with two decimals).
constexpr double kWeightMinAcceleration = 0.05;

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

// The channel's values in imperial units (mph, F, psi, hp, lb-ft) where its unit has them;
// empty for no channel.
std::vector<double> Imperial(const LogChannel* c)
{
    if (!c)
        return {};
    std::vector<double> values = c->Values;
    if (const std::optional<UnitConversion> to = ConversionTo(c->Unit, UnitSystem::Imperial))
        for (double& v : values)
            v = to->Apply(v);
    return values;
}

// Converts a figure in hp or lb-ft back to the log's `unit` (kW, N·m) where that is metric.
double InLogUnit(double value, std::string_view imperialUnit, const std::string& unit)
{
    const std::optional<UnitConversion> to = ConversionTo(imperialUnit, UnitSystem::Metric);
    return to && to->Unit == unit ? to->Apply(value) : value;
}

// The mean of the middle half of `values`: a quarter (rounded up) of them is dropped at
// either end, so that up to five values it is their median. Unlike a median it lies
// between the steps that the logged speed's resolution gives the figures. NaN for none.
double MiddleMean(std::vector<double>& values)
{
    if (values.empty())
        return kNoValue;
    std::sort(values.begin(), values.end());
    const size_t drop = std::min((values.size() + 3) / 4, (values.size() - 1) / 2);
    double sum = 0;
    for (size_t i = drop; i < values.size() - drop; ++i)
        sum += values[i];
    return sum / static_cast<double>(values.size() - 2 * drop);
}

std::string Fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

DynoRun::DynoRun(const LogData& log)
{
    const LogChannel* rpm = Find(log, kEngineSpeedColumn);
    const LogChannel* accel = Find(log, kAccelerationColumn);
    const LogChannel* power = Find(log, kPowerColumn);
    const LogChannel* torque = Find(log, kTorqueColumn);
    if (!accel || !power || !torque) {
        problem_ = "No acceleration data in this log: it has no Acceleration, Power and Torque columns.";
        return;
    }
    if (!rpm) {
        problem_ = "No power curve for this log: it has no Engine Speed column.";
        return;
    }
    if (!power->Unit.empty())
        powerUnit_ = power->Unit;
    if (!torque->Unit.empty())
        torqueUnit_ = torque->Unit;
    in_.Time = log.Time;
    in_.Rpm = rpm->Values;
    in_.Speed = Imperial(Find(log, kRoadSpeedColumn));
    in_.Throttle = Imperial(Find(log, kThrottleColumn));
    in_.Acceleration = accel->Values;
    in_.Power = Imperial(power);
    torque_ = Imperial(torque);
    const LogChannel* charge = Find(log, "Charge Air Temp");
    chargeF_ = Imperial(charge ? charge : Find(log, "Raw Charge Temp"));
    // The barometric pressure is read once at the start of a run: the absolute MAP less
    // the boost, on every row that has both.
    const std::vector<double> absolute = Imperial(Find(log, kMapAbsoluteColumn));
    const std::vector<double> boost = Imperial(Find(log, kBoostColumn));
    std::vector<double> baro;
    for (size_t i = 0; i < absolute.size() && i < boost.size(); ++i)
        if (!std::isnan(absolute[i] - boost[i]))
            baro.push_back(absolute[i] - boost[i]);
    if (!baro.empty())
        baroKpa_ = Median(baro) * kKpaPerPsi;
    found_ = FindPulls(in_);
    chosen_ = DefaultPullChoice(found_);
}

PowerCurve DynoRun::Curve(const DynoOptions& options) const
{
    std::vector<size_t> samples;
    for (size_t p = 0; p < found_.Pulls.size(); ++p)
        if (chosen_[p])
            samples.insert(samples.end(), found_.Pulls[p].Samples.begin(), found_.Pulls[p].Samples.end());
    PowerCurve curve = CurveOf(samples, options);
    if (samples.empty() && !found_.Pulls.empty())
        curve.Problem = "No pull chosen.";
    return curve;
}

PowerCurve DynoRun::PullCurve(size_t pull, const DynoOptions& options) const
{
    return CurveOf(found_.Pulls.at(pull).Samples, options);
}

double DynoRun::LoggedWeight(const std::vector<size_t>& samples) const
{
    if (in_.Speed.empty())
        return kNoValue;
    std::vector<double> weights;
    for (const size_t i : samples) {
        const double a = in_.Acceleration[i], mph = in_.Speed[i];
        if (a >= kWeightMinAcceleration && mph > 0)
            weights.push_back(in_.Power[i] * kFootPoundsPerSecondPerHp / (mph * kFeetPerSecondPerMph * a));
    }
    return Median(weights);
}

double DynoRun::CorrectionFactor(const std::vector<size_t>& samples, const DynoOptions& options,
                                 std::string& note) const
{
    double airC = kNoValue;
    if (options.AirTemperature) {
        airC = *options.AirTemperature;
    } else if (!chargeF_.empty()) {
        std::vector<double> f;
        for (const size_t i : samples)
            if (!std::isnan(chargeF_[i]))
                f.push_back(chargeF_[i]);
        airC = (Median(f) - 32) * 5 / 9;
    }
    if (!baroKpa_) {
        note = "No SAE J1349 correction: the log gives no barometric pressure (its MAP abs and Boost columns).";
        return 1;
    }
    if (std::isnan(airC)) {
        note = "No SAE J1349 correction: the log gives no charge air temperature; type an air temperature.";
        return 1;
    }
    const double factor = J1349Factor(*baroKpa_, airC);
    note = "SAE J1349 correction to 99 kPa and 25 °C: factor " + Fixed(factor, 3) + " (BARO " + Fixed(*baroKpa_, 1) +
           " kPa, " + (options.AirTemperature ? "air " : "charge air ") + Fixed(airC, 1) + " °C).";
    return factor;
}

PowerCurve DynoRun::CurveOf(const std::vector<size_t>& samples, const DynoOptions& options) const
{
    PowerCurve curve;
    curve.PowerUnit = powerUnit_;
    curve.TorqueUnit = torqueUnit_;
    if (!problem_.empty()) {
        curve.Problem = problem_;
        return curve;
    }
    double weight = kNoValue;
    if (options.RoadLoad) {
        weight = LoggedWeight(samples);
        curve.RoadLoadNote =
            std::isnan(weight)
                ? "No road load added: the log has no road speed."
                : "Road load added: rolling resistance " + Fixed(options.RollingResistance, 3) + ", drag " +
                      Fixed(options.DragCoefficient, 2) + " x " + Fixed(options.FrontalArea, 2) + " m², at " +
                      Fixed(std::round(weight / 10) * 10, 0) + " lb (the weight the log's power was worked out with).";
    }
    const double factor = options.Correction ? CorrectionFactor(samples, options, curve.CorrectionNote) : 1;
    struct Bin {
        std::vector<double> Power, Torque;
    };
    std::map<long, Bin> bins;
    for (const size_t i : samples) {
        const double r = in_.Rpm[i];
        double p = in_.Power[i], t = torque_[i];
        if (!std::isnan(weight) && !std::isnan(in_.Speed[i])) {
            const double load = RoadLoadHp(options, weight, in_.Speed[i]);
            p += load;
            t += load * kHpTorqueFactor / r;
        }
        Bin& b = bins[static_cast<long>(std::floor(r / kPowerCurveBinRpm))];
        b.Power.push_back(InLogUnit(p * factor, "hp", powerUnit_));
        if (!std::isnan(t))
            b.Torque.push_back(InLogUnit(t * factor, "lb-ft", torqueUnit_));
    }
    std::vector<double> power, torque;
    std::set<long> used;  // the bins whose samples went into a point
    for (auto at = bins.begin(); at != bins.end(); ++at) {
        power.clear();
        torque.clear();
        for (long b = at->first - 1; b <= at->first + 1; ++b) {
            if (const auto near = bins.find(b); near != bins.end()) {
                power.insert(power.end(), near->second.Power.begin(), near->second.Power.end());
                torque.insert(torque.end(), near->second.Torque.begin(), near->second.Torque.end());
            }
        }
        if (power.size() < kPowerCurveMinBinSamples)
            continue;
        for (long b = at->first - 1; b <= at->first + 1; ++b)
            if (const auto near = bins.find(b); near != bins.end() && used.insert(b).second)
                curve.Samples += near->second.Power.size();
        PowerCurvePoint p;
        p.Rpm = (static_cast<double>(at->first) + 0.5) * kPowerCurveBinRpm;
        p.Power = MiddleMean(power);
        p.Torque = MiddleMean(torque);
        p.Samples = at->second.Power.size();
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
    if (curve.Points.empty())
        curve.Problem = kNoPullProblem;
    return curve;
}

PowerCurve ComputePowerCurve(const LogData& log)
{
    return DynoRun(log).Curve();
}

}  // namespace tessek
