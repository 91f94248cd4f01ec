#include "analysis/LiveModel.h"

#include "analysis/ChannelDisplay.h"
#include "logging/ColumnNames.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace tessek {
namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

std::string ClockText(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

}  // namespace

bool IsCharted(const RunColumn& column)
{
    if (column.Name == kSkipTitle || column.Name == kWidebandStatusColumn ||
        !DrawnByDefault(column.Name, column.Unit, false, true))
        return false;
    return column.HasRaw || !StartsWithNoCase(column.Name, std::string(kTorqueColumn));
}

bool IsSmoothed(const RunColumn& column)
{
    if (column.HasRaw)
        return false;
    for (const std::string_view name : {kAccelerationColumn, kPowerColumn, kTorqueColumn})
        if (StartsWithNoCase(column.Name, std::string(name)))
            return true;
    return false;
}

std::string ReadoutText(std::optional<double> value, int decimals)
{
    if (!value)
        return "---";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 9), *value);
    return text;
}

void LiveModel::Start(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started)
{
    std::vector<Channel> channels;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!IsCharted(columns[i]))
            continue;
        const std::optional<UnitConversion> conversion = RunConversionTo(columns[i].Unit, units_);
        channels.push_back(
            {columns[i].Name, conversion ? std::string(conversion->Unit) : columns[i].Unit, columns[i].Decimals, i,
             LiveSeries(), columns[i].Unit, conversion,
             smoothing_ > 0 && IsSmoothed(columns[i]) ? std::optional(MovingMean(smoothing_)) : std::nullopt});
    }
    channels_ = std::move(channels);
    columns_ = columns;
    latestValues_.clear();
    latestValues_.reserve(columns.size());
    latestTime_.reset();
    markers_.clear();
    markers_.reserve(256);
    rates_.Clear();
    missed_ = 0;
    started_ = started;
    newest_ = 0;
    running_ = true;
    ++generation_;
}

void LiveModel::Add(const RunSample& sample)
{
    if (!running_)
        return;
    for (Channel& channel : channels_) {
        std::optional<double> value =
            channel.Column < sample.Values.size() ? sample.Values[channel.Column] : std::nullopt;
        // A sample without the value still shows as missing; the mean goes on over the rest.
        if (channel.Mean) {
            const std::optional<double> mean = channel.Mean->Add(sample.Time, value);
            value = value ? mean : std::nullopt;
        }
        if (value && channel.Conversion)
            value = channel.Conversion->Apply(*value);
        channel.Series.Add(sample.Time, value);
    }
    latestValues_.assign(sample.Values.begin(), sample.Values.end());
    latestTime_ = sample.Time;
    if (sample.Marker)
        markers_.push_back({sample.Time, sample.Marker->Number, sample.Marker->Text});
    rates_.Add(sample.Time, sample.Requests);
    missed_ += sample.Missed;
    newest_ = std::max(newest_, sample.Time);
    ++generation_;
}

void LiveModel::End()
{
    running_ = false;
    ++generation_;
}

void LiveModel::SetUnits(UnitSystem units)
{
    units_ = units;
    for (Channel& channel : channels_) {
        const UnitConversion from = channel.Conversion.value_or(UnitConversion{});
        const std::optional<UnitConversion> to = RunConversionTo(channel.SourceUnit, units);
        const UnitConversion target = to.value_or(UnitConversion{});
        // The stored values go back to the run's unit, then into the new one.
        channel.Series.Rescale(target.Scale / from.Scale, target.Offset - from.Offset * target.Scale / from.Scale);
        channel.Conversion = to;
        channel.Unit = to ? std::string(to->Unit) : channel.SourceUnit;
    }
    ++generation_;
}

TimeWindow LiveModel::Shown() const
{
    const double to = std::max(newest_, kShownSeconds);
    return {to - kShownSeconds, to};
}

std::string LiveModel::StatusText() const
{
    if (!running_)
        return started_ ? "Not logging (showing the run started " + ClockText(*started_) + ")" : "Not logging";
    std::string text = "Logging since " + ClockText(*started_);
    const auto samples = rates_.SamplesPerSecond();
    const auto requests = rates_.RequestsPerSecond();
    if (samples && requests) {
        char rates[96];
        std::snprintf(rates, sizeof rates, ": %.1f samples/s, %.0f requests/s", *samples, *requests);
        text += rates;
    }
    if (missed_ > 0)
        text += ", " + std::to_string(missed_) + (missed_ == 1 ? " answer" : " answers") + " missed";
    for (size_t i = 0; i < columns_.size() && i < latestValues_.size(); ++i) {
        if (columns_[i].Name == kWidebandStatusColumn && latestValues_[i] && *latestValues_[i] != 0)
            text += "; wideband: " + std::string(WidebandStatusText(*latestValues_[i]));
    }
    return text;
}

}  // namespace tessek
