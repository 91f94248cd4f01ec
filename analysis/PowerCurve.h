#pragma once
// The power curve of a run logged with acceleration measurement: power and torque against
// engine speed, from the samples taken while the car was gaining speed. Pure functions,
// any thread.
//
// Only full-throttle pulls go in: samples with the throttle at kWotThrottlePercent or more
// (where the log has a Throttle column) and an acceleration above 0 and at most
// kMaxPlausibleAcceleration; coasting and part throttle would otherwise decide the peaks.
// The per-sample figures come from the difference of two speed samples and are noisy, so
// the curve is smoothed in two steps: the samples are put into 100-rpm bins, a bin with
// fewer than kPowerCurveMinBinSamples is dropped, and each bin takes the median of its
// power and of its torque (a median ignores single wild samples); then each bin is
// averaged with its occupied neighbouring bins (a 3-bin moving average; a bin without
// occupied neighbours stays as it is). The peaks are the highest points of this curve.
#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "logfiles/LogFile.h"

namespace tessek {

constexpr double kPowerCurveBinRpm = 100;
constexpr double kWotThrottlePercent = 90;
constexpr size_t kPowerCurveMinBinSamples = 3;
// The rule above in one line, for the power curve's tab.
inline constexpr const char* kPowerCurveRule =
    "Full throttle only (Throttle at least 90 % where logged), 0 < acceleration <= 1.5 g; median of each 100 rpm "
    "bin of at least 3 samples, averaged over 3 neighbouring bins. Solid: power; dashed: torque.";

struct PowerCurvePoint {
    double Rpm = 0;     // the middle of the bin
    double Power = 0;   // hp
    double Torque = 0;  // lb-ft; NaN when no sample of the bin has a torque value
};

struct PowerCurve {
    // Empty when there is a curve; otherwise why not ("No acceleration data in this log ...").
    std::string Problem;
    std::vector<PowerCurvePoint> Points;  // ascending engine speed, one per occupied bin
    double PeakPower = std::numeric_limits<double>::quiet_NaN();
    double PeakPowerRpm = std::numeric_limits<double>::quiet_NaN();
    double PeakTorque = std::numeric_limits<double>::quiet_NaN();
    double PeakTorqueRpm = std::numeric_limits<double>::quiet_NaN();
    size_t Samples = 0;            // samples that went into the curve
    std::string PowerUnit = "hp";  // the log's units of Power and Torque, where it gives them
    std::string TorqueUnit = "lb-ft";

    bool Ok() const { return Problem.empty(); }
};

// Finds the columns Engine Speed, Acceleration, Power, Torque and Throttle by name (case
// ignored; raw columns are not used) and builds the curve from the samples that have an
// engine speed above 0 (and below 100,000), a power value and pass the rule above.
PowerCurve ComputePowerCurve(const LogData& log);

}  // namespace tessek
