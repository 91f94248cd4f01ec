#pragma once
// The power curve of a run logged with acceleration measurement: power and torque against
// engine speed, from the samples of the run's full-throttle pulls (Pulls.h) that are
// chosen: at first the pulls DefaultPullChoice gives, then any the user picks. Plain code,
// any thread.
//
// The per-sample figures come from the difference of two speed samples and are noisy, so
// the curve is smoothed: the samples are put into 100-rpm bins, and each occupied bin takes
// the mean of the middle half of the samples in it and its two neighbouring bins (up to
// five samples their median: single wild samples are ignored), when they are at least
// kPowerCurveMinBinSamples; otherwise the bin is dropped. A pull through first gear gives
// few samples per bin, so a bin on its own would seldom have enough. The peaks are the
// highest points of this curve.
// Road load and the SAE J1349 correction (DynoOptions) are applied to each sample before
// it goes into its bin.
#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "analysis/DynoOptions.h"
#include "analysis/Pulls.h"
#include "logfiles/LogFile.h"

namespace tessek {

constexpr double kPowerCurveBinRpm = 100;
constexpr size_t kPowerCurveMinBinSamples = 3;
// The rules in one line, for the power curve's tab.
inline constexpr const char* kPowerCurveRule =
    "Full-throttle pulls in a steady gear: Throttle at least 90 % where logged, 0 < acceleration <= 1.5 g, "
    "engine-to-road-speed ratio within 3 % of a gear held for 1 s; each 100 rpm bin the mean of the middle half "
    "of the samples in it and its two neighbours (at least 3). Solid: power; dashed: torque.";

struct PowerCurvePoint {
    double Rpm = 0;      // the middle of the bin
    double Power = 0;    // hp
    double Torque = 0;   // lb-ft; NaN when no sample of the bin has a torque value
    size_t Samples = 0;  // in the bin
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
    // What the options did, one sentence each ("SAE J1349 correction factor 1.038 (...)."),
    // or why they could not be applied; empty when they are off.
    std::string RoadLoadNote, CorrectionNote;

    bool Ok() const { return Problem.empty(); }
};

// One run: its pulls and the curve of the chosen ones.
class DynoRun {
public:
    // Finds the columns Engine Speed, Road Speed, Throttle, Acceleration, Power and Torque,
    // the charge air temperature ("Charge Air Temp", else "Raw Charge Temp") and the
    // barometric pressure (MAP abs less Boost) by name (case ignored; raw columns are not
    // used), in whatever units the log gives them.
    explicit DynoRun(const LogData& log);

    // Why this log can have no curve ("No acceleration data in this log: ..."); empty
    // when it has the columns.
    const std::string& Problem() const { return problem_; }
    const PullFinding& Found() const { return found_; }
    const std::vector<bool>& Chosen() const { return chosen_; }
    void Choose(size_t pull, bool chosen) { chosen_.at(pull) = chosen; }

    // The curve of the chosen pulls, or of one pull alone.
    PowerCurve Curve(const DynoOptions& options = {}) const;
    PowerCurve PullCurve(size_t pull, const DynoOptions& options = {}) const;

    // The run's barometric pressure (kPa); none when the log does not give it.
    std::optional<double> BaroKpa() const { return baroKpa_; }

private:
    PowerCurve CurveOf(const std::vector<size_t>& samples, const DynoOptions& options) const;
    // The weight (lb) the log's power figures were worked out with, from the chosen
    // samples' power, acceleration and speed; NaN when they do not tell.
    double LoggedWeight(const std::vector<size_t>& samples) const;
    // The SAE J1349 factor for the samples' air, with the sentence that says so in `note`;
    // 1, with the reason in `note`, when the log does not give the air it needs.
    double CorrectionFactor(const std::vector<size_t>& samples, const DynoOptions& options, std::string& note) const;

    std::string problem_;
    PullInputs in_;  // speed in mph, power in hp
    std::vector<double> torque_, chargeF_;
    std::optional<double> baroKpa_;
    std::string powerUnit_ = "hp", torqueUnit_ = "lb-ft";
    PullFinding found_;
    std::vector<bool> chosen_;
};

// The curve of the pulls chosen at first, without the options.
PowerCurve ComputePowerCurve(const LogData& log);

}  // namespace tessek
