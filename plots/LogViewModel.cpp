#include "plots/LogViewModel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <tuple>
#include "plots/ChannelDisplay.h"

namespace tessek {
namespace {

bool SameNoCase(const std::string& a, const char* b)
{
    const std::string_view bv(b);
    return a.size() == bv.size() && std::equal(a.begin(), a.end(), bv.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

std::string ChannelTitle(const LogChannel& channel)
{
    return channel.Unit.empty() ? channel.Name : channel.Name + " (" + channel.Unit + ")";
}

size_t FindChannel(const LogData& log, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        for (size_t c = 0; c < log.Channels.size(); ++c)
            if (!log.Channels[c].Raw && SameNoCase(log.Channels[c].Name, name))
                return c;
    return log.Channels.size();
}

void LogViewModel::SetLog(LogData log)
{
    log_ = std::move(log);
    const size_t n = log_.Channels.size();
    compactTime_.assign(n, {});
    compactValues_.assign(n, {});
    compacted_.assign(n, false);
    for (size_t c = 0; c < n; ++c) {
        const std::vector<double>& v = log_.Channels[c].Values;
        if (std::none_of(v.begin(), v.end(), [](double x) { return std::isnan(x); }))
            continue;
        compacted_[c] = true;
        for (size_t i = 0; i < v.size() && i < log_.Time.size(); ++i) {
            if (!std::isnan(v[i])) {
                compactTime_[c].push_back(log_.Time[i]);
                compactValues_[c].push_back(v[i]);
            }
        }
    }
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

double LogViewModel::CursorValue(size_t channel) const
{
    return ValueAt(log_.Time, log_.Channels[channel].Values, cursor_);
}

ValueRange LogViewModel::Scale(size_t channel) const
{
    const RangeStats& s = stats_[channel];
    return PaddedRange(s.Count > 0 ? std::optional(ValueRange{s.Min, s.Max}) : std::nullopt,
                       log_.Channels[channel].Decimals);
}

std::vector<PlotPoint> LogViewModel::Points(size_t channel, int columns) const
{
    const std::span<const double> t = DrawTime(channel), v = DrawValues(channel);
    return DecimateMinMax(t.data(), v.data(), std::min(t.size(), v.size()), from_, to_, columns);
}

std::span<const double> LogViewModel::DrawTime(size_t channel) const
{
    return compacted_[channel] ? std::span<const double>(compactTime_[channel]) : std::span<const double>(log_.Time);
}

std::span<const double> LogViewModel::DrawValues(size_t channel) const
{
    return compacted_[channel] ? std::span<const double>(compactValues_[channel])
                               : std::span<const double>(log_.Channels[channel].Values);
}

void LogViewModel::ComputeVisible()
{
    stats_.resize(log_.Channels.size());
    for (size_t c = 0; c < log_.Channels.size(); ++c)
        stats_[c] = StatsOver(log_.Time, log_.Channels[c].Values, from_, to_);
}

}  // namespace tessek
