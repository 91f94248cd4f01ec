#include "logging/MovingMean.h"

#include "platform/IniFile.h"

#include <algorithm>
#include <cmath>

namespace tessek {
namespace {

// Sample times are rounded (to ms): one a whole window old is out despite the rounding.
constexpr double kTolerance = 1e-6;

}  // namespace

double ReadLiveSmoothing(const IniFile& ini)
{
    const double seconds = ini.ReadFloat("Live", "Smoothing", kDefaultSmoothingSeconds);
    if (!std::isfinite(seconds))
        return kDefaultSmoothingSeconds;
    return std::clamp(seconds, 0.0, kMaxSmoothingSeconds);
}

std::optional<double> MovingMean::Add(double time, std::optional<double> value)
{
    if (value && !std::isfinite(*value))
        value.reset();
    if (lastTime_ && time < *lastTime_)
        samples_.clear();
    lastTime_ = time;
    if (window_ <= 0)
        return value;
    if (value)
        samples_.emplace_back(time, *value);
    while (!samples_.empty() && samples_.front().first <= time - window_ + kTolerance)
        samples_.pop_front();
    if (samples_.empty())
        return std::nullopt;
    double sum = 0;
    for (const auto& sample : samples_)
        sum += sample.second;
    return sum / static_cast<double>(samples_.size());
}

std::vector<std::optional<double>> SmoothSeries(std::span<const double> times,
                                                std::span<const std::optional<double>> values, double windowSeconds)
{
    MovingMean mean(windowSeconds);
    std::vector<std::optional<double>> smoothed;
    smoothed.reserve(values.size());
    for (size_t i = 0; i < values.size() && i < times.size(); ++i)
        smoothed.push_back(mean.Add(times[i], values[i]));
    return smoothed;
}

}  // namespace tessek
