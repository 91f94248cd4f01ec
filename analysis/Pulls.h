#pragma once
// The full-throttle pulls of a run, found by gear, for the power curve. Plain code, any
// thread.
//
// A sample belongs to a pull when
// - the throttle is at least kWotThrottlePercent, where the log has a throttle;
// - the acceleration is above 0 and at most kMaxPlausibleAcceleration, and the sample has
//   a power figure;
// - the ratio of engine speed to road speed is steady and is a gear's. Steady: over the
//   surrounding kRatioWindowSeconds the ratio stays within kRatioTolerance of its median
//   (the sample itself, and the median of the half window after it against the one before
//   it, which a slipping clutch or a shift moves). A gear: a ratio held steady for at
//   least kGearHoldSeconds somewhere in the log; the sample's ratio lies within
//   kRatioTolerance of it. Gears are numbered by ratio, 1 the highest.
// The samples that pass the first two rules but not the third are left out and counted by
// what the ratio did: the car standing or the ratio falling towards a gear (a slipping
// clutch; during a shift when a higher gear ratio was seen just before), the ratio rising
// (wheel spin), or neither (no gear held for a second).
//
// The pulls are the runs of such samples in one gear, no two following samples further
// apart than kPullGapSeconds. Missing values (NaN) never count: a sample without the
// figure a rule needs is skipped. A log without road speed has no gears: every sample
// that passes the first two rules is in a pull, of gear 0.
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace tessek {

inline constexpr double kWotThrottlePercent = 90;
inline constexpr double kRatioTolerance = 0.03;
inline constexpr double kRatioWindowSeconds = 0.5;
inline constexpr double kGearHoldSeconds = 1.0;
inline constexpr double kPullGapSeconds = 0.5;
// A falling ratio this soon after a higher gear was held is a shift.
inline constexpr double kShiftSeconds = 2.0;

// The columns pull finding reads, one value per sample (NaN for none). Speed and
// Throttle are empty when the log has no such column.
struct PullInputs {
    std::vector<double> Time;  // s, never decreasing
    std::vector<double> Rpm;
    std::vector<double> Speed;         // road speed, any unit
    std::vector<double> Throttle;      // %
    std::vector<double> Acceleration;  // g
    std::vector<double> Power;
};

enum class LeftOutReason { SlippingClutch, Shift, WheelSpin, NoGear, Count };

struct Pull {
    double Start = 0, End = 0;  // s: the first and last sample's time
    int Gear = 0;               // 1 the highest ratio; 0 in a log without road speed
    double RpmFrom = 0, RpmTo = 0;
    std::vector<size_t> Samples;  // ascending

    double RpmSpan() const { return RpmTo - RpmFrom; }
};

struct PullFinding {
    std::vector<double> Gears;  // engine speed per unit of road speed, highest first
    std::vector<Pull> Pulls;    // in time order
    std::array<size_t, static_cast<size_t>(LeftOutReason::Count)> LeftOut{};
    bool RatioChecked = false;  // the log has road speed

    size_t LeftOutCount(LeftOutReason reason) const { return LeftOut[static_cast<size_t>(reason)]; }
};

PullFinding FindPulls(const PullInputs& in);

// The pulls a power curve shows at first: every pull of the highest gear ratio among the
// pulls that cover at least kDefaultPullSpanRpm; where none does, every pull of the
// highest gear ratio found.
inline constexpr double kDefaultPullSpanRpm = 1500;
std::vector<bool> DefaultPullChoice(const PullFinding& found);

// "Left out: 41 samples with a slipping clutch, 12 during a shift." naming only the
// reasons that left samples out; "" when none did.
std::string LeftOutText(const PullFinding& found);

}  // namespace tessek
