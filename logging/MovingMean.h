#pragma once
// Smoothing of a noisy value over time: the mean of the values of the last few tenths of a
// second, for the live readouts of acceleration, power and torque and for any channel of
// the viewer's strips. Plain code, used by one thread at a time.
#include <deque>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace tessek {

// The window the readouts are smoothed over unless a setting says otherwise, seconds.
inline constexpr double kDefaultSmoothingSeconds = 0.5;

class IniFile;

// The window of the live readouts' moving mean: key Smoothing of section [Live] of the
// settings file, seconds (0 = none); the default when missing or malformed, 0 when negative,
// at most kMaxSmoothingSeconds.
inline constexpr double kMaxSmoothingSeconds = 60.0;
double ReadLiveSmoothing(const IniFile& ini);

class MovingMean {
public:
    // `windowSeconds` <= 0: no smoothing (each value is its own mean).
    explicit MovingMean(double windowSeconds = kDefaultSmoothingSeconds) : window_(windowSeconds) {}

    // Adds the sample at `time` (seconds) and returns the mean of the values of the samples
    // within the window up to it: those less than `windowSeconds` older (a whole window
    // old is out, whatever the rounding of the times). Missing values
    // (and values that are not finite) are skipped; with none in the window the mean is empty. A time before the
    // previous sample's starts afresh (a new run, a jump back in playback).
    std::optional<double> Add(double time, std::optional<double> value);
    void Reset()
    {
        samples_.clear();
        lastTime_.reset();
    }

private:
    double window_;
    std::deque<std::pair<double, double>> samples_;  // time, value (present ones only)
    std::optional<double> lastTime_;
};

// The moving mean of a whole series (a viewer's strip): one result per sample. `times` and
// `values` are of equal length.
std::vector<std::optional<double>> SmoothSeries(std::span<const double> times,
                                                std::span<const std::optional<double>> values,
                                                double windowSeconds = kDefaultSmoothingSeconds);

}  // namespace tessek
