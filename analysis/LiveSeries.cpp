#include "analysis/LiveSeries.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessek {

LiveSeries::LiveSeries() : times_(2 * kCapacity), values_(2 * kCapacity)
{
}

void LiveSeries::Add(double time, std::optional<double> value)
{
    const bool missing = !value || !std::isfinite(*value);
    stale_ = missing;
    if (!missing)
        latest_ = value;
    // A run of missing values is one break in the line; before the first point there is
    // no line to break.
    if (missing && (size_ == 0 || std::isnan(Values()[size_ - 1])))
        return;
    if (size_ > 0)
        time = std::max(time, Times()[size_ - 1]);
    const double stored = missing ? std::numeric_limits<double>::quiet_NaN() : *value;
    times_[next_] = times_[next_ + kCapacity] = time;
    values_[next_] = values_[next_ + kCapacity] = stored;
    next_ = (next_ + 1) % kCapacity;
    size_ = std::min(size_ + 1, kCapacity);
}

void LiveSeries::Rescale(double scale, double offset)
{
    for (double& value : values_)
        value = value * scale + offset;
    if (latest_)
        latest_ = *latest_ * scale + offset;
}

std::optional<double> LiveSeries::LastTime() const
{
    if (size_ == 0)
        return std::nullopt;
    return Times()[size_ - 1];
}

std::optional<ValueRange> LiveSeries::Range(double from, double to) const
{
    const double* times = Times();
    const size_t first = static_cast<size_t>(std::lower_bound(times, times + size_, from) - times);
    const size_t last = static_cast<size_t>(std::upper_bound(times, times + size_, to) - times);
    const double* values = Values();
    double lo = INFINITY, hi = -INFINITY;
    for (size_t i = first; i < last; ++i) {
        // A break (NaN) fails both comparisons.
        lo = values[i] < lo ? values[i] : lo;
        hi = values[i] > hi ? values[i] : hi;
    }
    if (lo > hi)
        return std::nullopt;
    return ValueRange{lo, hi};
}

std::vector<PlotPoint> LiveSeries::Points(double from, double to, int columns) const
{
    return DecimateMinMax(Times(), Values(), size_, from, to, columns);
}

ValueRange PaddedRange(std::optional<ValueRange> raw, int decimals)
{
    if (!raw)
        return {0, 1};
    const double middle = (raw->Lower + raw->Upper) / 2;
    const double minimum = std::max(10.0 * std::pow(10.0, -std::max(decimals, 0)), std::abs(middle) / 10);
    const double span = raw->Upper - raw->Lower;
    if (span < minimum)
        return {middle - minimum / 2, middle + minimum / 2};
    const double padding = span * 0.08;
    return {raw->Lower - padding, raw->Upper + padding};
}

void RateMeter::Clear()
{
    next_ = 0;
    size_ = 0;
    inWindow_ = 0;
    requests_ = 0;
}

void RateMeter::Add(double time, int requests)
{
    if (size_ > 0)
        time = std::max(time, At(0).Time);
    entries_[next_] = {time, requests_};
    requests_ += requests;
    next_ = (next_ + 1) % kCapacity;
    size_ = std::min(size_ + 1, kCapacity);
    inWindow_ = std::min(inWindow_ + 1, size_);
    while (inWindow_ > 2 && At(inWindow_ - 1).Time < time - kWindow)
        --inWindow_;
}

const RateMeter::Entry& RateMeter::At(size_t age) const
{
    return entries_[(next_ + kCapacity - 1 - age) % kCapacity];
}

std::optional<double> RateMeter::SamplesPerSecond() const
{
    if (inWindow_ < 2)
        return std::nullopt;
    const double seconds = At(0).Time - At(inWindow_ - 1).Time;
    if (seconds <= 0)
        return std::nullopt;
    return static_cast<double>(inWindow_ - 1) / seconds;
}

std::optional<double> RateMeter::RequestsPerSecond() const
{
    if (inWindow_ < 2)
        return std::nullopt;
    const Entry& newest = At(0);
    const Entry& oldest = At(inWindow_ - 1);
    if (newest.Time <= oldest.Time)
        return std::nullopt;
    return static_cast<double>(newest.RequestsBefore - oldest.RequestsBefore) / (newest.Time - oldest.Time);
}

}  // namespace tessek
