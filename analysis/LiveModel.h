#pragma once
// What the live chart shows of a logging run: one channel per charted column, each a
// LiveSeries; the shared time window of the last 60 s; the sample and request rates; the
// texts of the readouts and of the status line. Fed from the run's RunObserver calls by the
// live window, read by its redraw. Plain data, window thread only.
#include "analysis/LiveSeries.h"
#include "logging/MovingMean.h"
#include "logging/RunRecord.h"
#include "logging/Units.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessek {

// A slot's value, a performance figure or a further input's value, but not the wideband
// controller's status (a code, read in the data logs), not a "Skip value" slot, not MAP but on its
// linear scale (DrawnByDefault: a run logs Boost with every MAP), and not the torque
// (a performance figure whose name begins with "Torque"): torque is power over the mean
// engine speed, both shown already, and near a standstill it jumps by orders of magnitude,
// which would flatten its own strip.
bool IsCharted(const RunColumn& column);

// Acceleration, power and torque (performance figures whose names begin so): noisy from
// sample to sample, they are charted and read out as their moving mean.
bool IsSmoothed(const RunColumn& column);

// The readout's number: `decimals` decimals as the window's line prints it; "---" for no value.
std::string ReadoutText(std::optional<double> value, int decimals);

// A marker of the run, at the time of the sample that carried it.
struct LiveMarker {
    double Time = 0;  // s since the run's first sample
    int Number = 0;
    std::string Text;
};

struct TimeWindow {
    double From = 0;  // s since the run's first sample
    double To = 0;
};

class LiveModel {
public:
    static constexpr double kShownSeconds = 60.0;

    struct Channel {
        std::string Name;
        std::string Unit;  // as shown: in the model's units
        int Decimals = 0;
        size_t Column = 0;  // index into a sample's values
        LiveSeries Series;
        std::string SourceUnit;                    // the run's unit of the column
        std::optional<UnitConversion> Conversion;  // from SourceUnit to Unit
        // The moving mean the series holds instead of the raw values (in SourceUnit);
        // none for a channel charted raw.
        std::optional<MovingMean> Mean;
    };

    // Forgets the previous run and makes the channels for the charted `columns`; allocates
    // about 1 MiB per channel.
    void Start(const std::vector<RunColumn>& columns, std::chrono::system_clock::time_point started);
    // Stores one sample (and the marker it carries); never allocates but for markers beyond
    // the first few hundred and the small blocks of the moving means. A value missing from a short sample counts as no
    // value. Ignored while no run is going.
    void Add(const RunSample& sample);
    // The run's data stays until the next Start.
    void End();
    // The window of the moving mean of the smoothed channels (IsSmoothed), seconds; 0 or less
    // charts them raw. Applies from the next Start.
    void SetSmoothing(double seconds) { smoothing_ = seconds; }
    double Smoothing() const { return smoothing_; }
    // Shows the channels in `units` from now on, the values already stored included.
    void SetUnits(UnitSystem units);
    UnitSystem Units() const { return units_; }

    bool Running() const { return running_; }
    const std::vector<Channel>& Channels() const { return channels_; }
    // Every column of the run, charted or not, and the newest sample's values of them as
    // the run gave them (raw, in the run's units); no time before the first sample.
    const std::vector<RunColumn>& Columns() const { return columns_; }
    const std::vector<std::optional<double>>& LatestValues() const { return latestValues_; }
    std::optional<double> LatestTime() const { return latestTime_; }
    const RateMeter& Rates() const { return rates_; }
    const std::vector<LiveMarker>& Markers() const { return markers_; }
    // The last kShownSeconds up to the newest sample; [0, kShownSeconds] until the run is
    // that old, so a new run fills the strips from the left.
    TimeWindow Shown() const;
    // Changes with every sample, start and end: a redraw is due while it differs from the
    // value the last frame showed.
    uint64_t Generation() const { return generation_; }

    // "Logging since 14:03:22: 38.4 samples/s, 384 requests/s" while a run is going;
    // "Not logging", with the start of the run still shown, between runs.
    // "Logging since 14:03:22: 41.2 samples/s, 330 requests/s", with ", 3 answers missed"
    // once the LM has left a request unanswered; "; wideband: port not open" (or another
    // reason) while the newest sample has no valid wideband reading.
    std::string StatusText() const;
    long Missed() const { return missed_; }

private:
    std::vector<Channel> channels_;
    std::vector<LiveMarker> markers_;
    std::vector<RunColumn> columns_;
    std::vector<std::optional<double>> latestValues_;
    std::optional<double> latestTime_;
    RateMeter rates_;
    std::optional<std::chrono::system_clock::time_point> started_;
    double newest_ = 0;
    bool running_ = false;
    long missed_ = 0;  // answers the LM did not give in this run
    uint64_t generation_ = 0;
    UnitSystem units_ = UnitSystem::Imperial;
    double smoothing_ = kDefaultSmoothingSeconds;
};

}  // namespace tessek
