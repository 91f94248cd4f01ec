#pragma once
// What the log viewer shows of one log, apart from its widgets: the log itself, the visible
// time range that every time-based tab follows, the cursor, and the figures of each channel
// over the visible range and at the cursor. Plain data, window thread only.
//
// The visible range is kept inside the run and at least kMinSpan wide; a run without
// duration gets kSinglePointSpan around its single time.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "analysis/Decimate.h"
#include "analysis/LiveSeries.h"
#include "analysis/LogStatistics.h"
#include "logfiles/LogFile.h"
#include "logging/CalculatedChannels.h"

namespace tessek {

// "Engine Speed (rpm)": the channel's name with its unit, as lists and axes show it.
std::string ChannelTitle(const LogChannel& channel);

// The first channel of `log` that is not raw whose name equals one of `names` (case
// ignored), tried in their order; log.Channels.size() when there is none.
size_t FindChannel(const LogData& log, std::initializer_list<std::string_view> names);

// Adds the calculated `channels` to `log` (one that lacks them: an older log, another
// program's), computed row by row over its channels that are not raw, as a run computes
// them over its columns; a channel named as a column of the log already is left out, and
// so is one that does not compile. A sample without a value, or with one that is not
// finite, is NaN. Returns how many channels were added.
size_t AddCalculatedChannels(LogData& log, std::vector<CalculatedChannel> channels);

class LogViewModel {
public:
    static constexpr double kMinSpan = 1e-3;         // s
    static constexpr double kSinglePointSpan = 1.0;  // s
    // Most channels shown when a log opens: another program's log with a hundred columns
    // would otherwise start with strips too thin to read.
    static constexpr size_t kMaxStartChannels = 12;

    // Takes the log (at least one row, as the reader gives it); shows the whole run with the
    // cursor on its first sample.
    void SetLog(LogData log);
    const LogData& Log() const { return log_; }
    bool Empty() const { return log_.Time.empty(); }
    size_t ChannelCount() const { return log_.Channels.size(); }

    // The channels to show when the log opens: not the raw columns, at most kMaxStartChannels.
    std::vector<bool> StartChannels() const;
    // The first channel that is not raw named one of `names` (FindChannel).
    size_t FindChannel(std::initializer_list<std::string_view> names) const { return tessek::FindChannel(log_, names); }

    // The whole run's time range.
    std::pair<double, double> RunBounds() const;
    // Sets the visible range, kept inside the run and at least kMinSpan wide, keeping its
    // width when it lies past either end; recomputes the visible figures. False when nothing
    // changed (or there is no log).
    bool SetVisible(double from, double to);
    double From() const { return from_; }
    double To() const { return to_; }

    // Centres the visible range on `t` (as far as the run allows) keeping its width, and puts
    // the cursor there: how a marker is found. False when the range did not change.
    bool JumpTo(double t);

    // The keyboard's steps. Zoom: the visible width times `factor` (below 1 zooms in) around
    // the cursor where it is visible, else around the middle. Pan: the range moved by
    // `fraction` of its width (negative: earlier). Both as SetVisible keeps the range, and
    // false when it did not change. StepCursor: the cursor `steps` samples on from the
    // sample nearest it (negative: back), at most to the run's ends; the visible range
    // follows, keeping its width, when the cursor leaves it. True when the range moved.
    bool Zoom(double factor);
    bool Pan(double fraction);
    bool StepCursor(long steps);

    void SetCursor(double t) { cursor_ = t; }
    double Cursor() const { return cursor_; }
    // The value of the sample nearest the cursor; NaN when there is none or that sample has
    // no value (the cursor on a gap shows no value, as the line shows none there).
    double CursorValue(size_t channel) const;

    // Min, max and mean of each channel's values over the visible range (the missing ones
    // left out).
    const RangeStats& Visible(size_t channel) const { return stats_[channel]; }
    // The value scale of a strip showing the channel over the visible range (PaddedRange).
    ValueRange Scale(size_t channel) const;
    // The points to draw of the channel over the visible range on `columns` pixel columns:
    // every peak and dip kept, and a break (a NaN value) wherever samples have no value, so
    // the line stops there instead of bridging the gap.
    std::vector<PlotPoint> Points(size_t channel, int columns) const;
    // Draws the channel's strip (Points and Scale) as its moving mean over `seconds`
    // (SmoothSeries), or raw for 0 or less; the figures of the table stay the raw values'.
    // A new log starts raw.
    void SetSmoothing(size_t channel, double seconds);
    bool Smoothed(size_t channel) const { return channel < smoothed_.size() && !smoothed_[channel].empty(); }

private:
    void ComputeVisible();
    // The values a strip draws: the moving mean when smoothed.
    const std::vector<double>& Drawn(size_t channel) const;

    LogData log_;
    std::vector<std::vector<double>> smoothed_;  // per channel; empty when drawn raw
    std::vector<RangeStats> stats_;
    double from_ = 0, to_ = 1;
    double cursor_ = 0;
};

}  // namespace tessek
