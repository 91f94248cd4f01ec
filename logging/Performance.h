#pragma once
// The acceleration measurement of a logging run: acceleration, horsepower and torque
// from two successive samples of vehicle speed and engine speed, and the text a sample
// line ends with. Pure functions; the run keeps the previous sample's values.
#include <cstdint>
#include <optional>
#include <string>

namespace tessek {

struct PerformanceFigures {
    double Acceleration = 0;  // g
    double Horsepower = 0;
    // Pound-feet; no value when the mean engine speed of the two samples is 0.
    std::optional<double> Torque;
};

// No car of this kind accelerates or brakes harder than this (g). A larger figure comes
// from a torn two-byte speed (its bytes read on either side of a change of the high
// byte, off by 256 raw steps) or from the first sample of a run compared with the last
// one before it: such a sample gets no figures at all.
inline constexpr double kMaxPlausibleAcceleration = 1.5;

// Sample times in ms since the run's first sample; speeds in mph, engine speeds in rpm,
// weight in pounds. No figures when t equals prevT (no time has passed) or when the
// acceleration exceeds kMaxPlausibleAcceleration in either direction.
std::optional<PerformanceFigures> ComputePerformance(int32_t t, int32_t prevT, float sampleMph, float prevMph,
                                                     float sampleRpm, float prevRpm, int32_t carWeight);

// "%5.2f" "G " "%7.2f" "HP " "%7.2f" "lb/ft "; a torque without value keeps its field
// width and unit and shows "---" in place of the number.
std::string PerformanceText(const PerformanceFigures& figures);

// The time field that starts a sample line: seconds with three decimals and a blank.
std::string SampleTimeText(int32_t t);

}  // namespace tessek
