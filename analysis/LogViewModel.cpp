#include "analysis/LogViewModel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>
#include <span>
#include <tuple>
#include "analysis/ChannelDisplay.h"
#include "logging/MovingMean.h"

namespace tessek {
namespace {

bool SameNoCase(const std::string& a, std::string_view bv)
{
    return a.size() == bv.size() && std::equal(a.begin(), a.end(), bv.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string ChannelTitle(const LogChannel& channel)
{
    return channel.Unit.empty() ? channel.Name : channel.Name + " (" + channel.Unit + ")";
}

size_t FindChannel(const LogData& log, std::initializer_list<std::string_view> names)
{
    for (const std::string_view name : names)
        for (size_t c = 0; c < log.Channels.size(); ++c)
            if (!log.Channels[c].Raw && SameNoCase(log.Channels[c].Name, name))
                return c;
    return log.Channels.size();
}

size_t AddCalculatedChannels(LogData& log, std::vector<CalculatedChannel> channels)
{
    std::erase_if(channels, [&](const CalculatedChannel& channel) {
        return std::any_of(log.Channels.begin(), log.Channels.end(),
                           [&](const LogChannel& column) { return SameNoCase(column.Name, channel.Name); });
    });
    std::vector<size_t> inputs;
    std::vector<std::string> names;
    for (size_t c = 0; c < log.Channels.size(); ++c) {
        if (!log.Channels[c].Raw) {
            inputs.push_back(c);
            names.push_back(log.Channels[c].Name);
        }
    }
    CalculatedChannels calculated(std::move(names), std::move(channels));
    // The samples' values of each calculated channel, in the order of the channels.
    std::vector<std::vector<double>> values(calculated.Channels().size());
    for (auto& column : values)
        column.reserve(log.Time.size());
    std::vector<std::optional<double>> row(inputs.size());
    for (size_t r = 0; r < log.Time.size(); ++r) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            const auto& column = log.Channels[inputs[i]].Values;
            row[i] = r < column.size() && std::isfinite(column[r]) ? std::optional(column[r]) : std::nullopt;
        }
        const auto results = calculated.Evaluate(log.Time[r], row);
        for (size_t k = 0; k < values.size(); ++k)
            values[k].push_back(results[k].value_or(std::nan("")));
    }
    size_t added = 0;
    for (size_t k = 0; k < values.size(); ++k) {
        if (calculated.Error(k))
            continue;
        const CalculatedChannel& channel = calculated.Channels()[k];
        // As the run writes a calculated column: two decimals.
        log.Channels.push_back({channel.Name, channel.Unit, false, 2, std::move(values[k])});
        ++added;
    }
    return added;
}

void LogViewModel::SetLog(LogData log)
{
    log_ = std::move(log);
    smoothed_.assign(log_.Channels.size(), {});
    cursor_ = log_.Time.empty() ? 0 : log_.Time.front();
    std::tie(from_, to_) = log_.Time.empty() ? std::pair(0.0, 1.0) : RunBounds();
    ComputeVisible();
}

std::vector<bool> LogViewModel::StartChannels() const
{
    std::vector<bool> shown(log_.Channels.size(), false);
    // A log with the linear MAP columns starts with those, not with the mixed psi/-inHg one.
    const bool linearMap = std::any_of(log_.Channels.begin(), log_.Channels.end(),
                                       [](const LogChannel& c) { return !c.Raw && IsLinearMap(c.Name); });
    size_t count = 0;
    for (size_t c = 0; c < shown.size() && count < kMaxStartChannels; ++c) {
        const LogChannel& channel = log_.Channels[c];
        if (DrawnByDefault(channel.Name, channel.Unit, channel.Raw, linearMap)) {
            shown[c] = true;
            ++count;
        }
    }
    return shown;
}

std::pair<double, double> LogViewModel::RunBounds() const
{
    if (log_.Time.empty())
        return {0, kSinglePointSpan};
    const double first = log_.Time.front(), last = log_.Time.back();
    if (last - first < kMinSpan)
        return {first - kSinglePointSpan / 2, last + kSinglePointSpan / 2};
    return {first, last};
}

bool LogViewModel::SetVisible(double from, double to)
{
    if (log_.Time.empty() || !std::isfinite(from) || !std::isfinite(to))
        return false;
    const auto [first, last] = RunBounds();
    if (to < from)
        std::swap(from, to);
    const double width = std::clamp(to - from, kMinSpan, std::max(last - first, kMinSpan));
    from = std::max(first, std::min(from, last - width));
    if (from == from_ && from + width == to_)
        return false;
    from_ = from;
    to_ = from + width;
    ComputeVisible();
    return true;
}

bool LogViewModel::JumpTo(double t)
{
    cursor_ = t;
    const double width = to_ - from_;
    return SetVisible(t - width / 2, t + width / 2);
}

bool LogViewModel::Zoom(double factor)
{
    if (Empty() || !(factor > 0) || !std::isfinite(factor))
        return false;
    const double anchor = cursor_ >= from_ && cursor_ <= to_ ? cursor_ : (from_ + to_) / 2;
    const double from = anchor - (anchor - from_) * factor;
    return SetVisible(from, from + (to_ - from_) * factor);
}

bool LogViewModel::Pan(double fraction)
{
    if (Empty() || !std::isfinite(fraction))
        return false;
    const double shift = (to_ - from_) * fraction;
    return SetVisible(from_ + shift, to_ + shift);
}

bool LogViewModel::StepCursor(long steps)
{
    const std::optional<size_t> nearest = NearestSample(log_.Time, cursor_);
    if (!nearest)
        return false;
    const long last = static_cast<long>(log_.Time.size()) - 1;
    const long to = std::clamp(static_cast<long>(*nearest) + steps, 0L, last);
    cursor_ = log_.Time[static_cast<size_t>(to)];
    const double width = to_ - from_;
    if (cursor_ < from_)
        return SetVisible(cursor_, cursor_ + width);
    if (cursor_ > to_)
        return SetVisible(cursor_ - width, cursor_);
    return false;
}

double LogViewModel::CursorValue(size_t channel) const
{
    return ValueAt(log_.Time, log_.Channels[channel].Values, cursor_);
}

void LogViewModel::SetSmoothing(size_t channel, double seconds)
{
    if (channel >= smoothed_.size())
        return;
    smoothed_[channel].clear();
    if (seconds <= 0)
        return;
    const std::vector<double>& values = log_.Channels[channel].Values;
    const size_t count = std::min(values.size(), log_.Time.size());
    std::vector<std::optional<double>> present(count);
    for (size_t i = 0; i < count; ++i)
        if (std::isfinite(values[i]))
            present[i] = values[i];
    const auto means = SmoothSeries(std::span(log_.Time.data(), count), present, seconds);
    std::vector<double>& smoothed = smoothed_[channel];
    smoothed.reserve(count);
    // A sample without a value stays a gap in the line.
    for (size_t i = 0; i < count; ++i)
        smoothed.push_back(present[i] && means[i] ? *means[i] : std::nan(""));
}

const std::vector<double>& LogViewModel::Drawn(size_t channel) const
{
    return Smoothed(channel) ? smoothed_[channel] : log_.Channels[channel].Values;
}

ValueRange LogViewModel::Scale(size_t channel) const
{
    const RangeStats s = Smoothed(channel) ? StatsOver(log_.Time, smoothed_[channel], from_, to_) : stats_[channel];
    return PaddedRange(s.Count > 0 ? std::optional(ValueRange{s.Min, s.Max}) : std::nullopt,
                       log_.Channels[channel].Decimals);
}

std::vector<PlotPoint> LogViewModel::Points(size_t channel, int columns) const
{
    const std::vector<double>& values = Drawn(channel);
    return DecimateMinMax(log_.Time.data(), values.data(), std::min(log_.Time.size(), values.size()), from_, to_,
                          columns);
}

void LogViewModel::ComputeVisible()
{
    stats_.resize(log_.Channels.size());
    for (size_t c = 0; c < log_.Channels.size(); ++c)
        stats_[c] = StatsOver(log_.Time, log_.Channels[c].Values, from_, to_);
}

}  // namespace tessek
