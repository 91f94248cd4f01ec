#include "plots/LiveSeries.h"

#include <algorithm>
#include <cmath>

namespace tessek {

LiveSeries::LiveSeries() : times_(2 * kCapacity), values_(2 * kCapacity)
{
}

void LiveSeries::Add(double time, std::optional<double> value)
{
    if (!value || !std::isfinite(*value)) {
        latest_.reset();
        return;
    }
    latest_ = value;
    if (size_ > 0)
        time = std::max(time, Times()[size_ - 1]);
    times_[next_] = times_[next_ + kCapacity] = time;
    values_[next_] = values_[next_ + kCapacity] = *value;
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
    if (first >= last)
        return std::nullopt;
    const auto [lo, hi] = std::minmax_element(Values() + first, Values() + last);
    return ValueRange{*lo, *hi};
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
