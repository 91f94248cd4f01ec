#include "logging/Performance.h"

#include "logging/Decoders.h"

#include <cmath>

namespace tessek {

namespace {

constexpr double kSpeedFactor = 1.46667;  // mph to feet per second
constexpr double kGravity = 32.0;         // feet per second squared
constexpr double kHorsepowerDivisor = 550.0;
constexpr double kTorqueFactor = 5250.0;
constexpr double kMsPerSecond = 1000.0;

}  // namespace

std::optional<PerformanceFigures> ComputePerformance(int32_t t, int32_t prevT, float sampleMph, float prevMph,
                                                     float sampleRpm, float prevRpm, int32_t carWeight)
{
    if (t == prevT)
        return std::nullopt;
    const double dt = t / kMsPerSecond - prevT / kMsPerSecond;
    PerformanceFigures figures;
    figures.Acceleration = (double{sampleMph} - prevMph) * kSpeedFactor / dt / kGravity;
    if (!(std::fabs(figures.Acceleration) <= kMaxPlausibleAcceleration))
        return std::nullopt;
    figures.Horsepower = sampleMph * figures.Acceleration * carWeight * kSpeedFactor / kHorsepowerDivisor;
    const double meanRpm = (double{sampleRpm} + prevRpm) / 2.0;
    if (meanRpm != 0.0)
        figures.Torque = figures.Horsepower * kTorqueFactor / meanRpm;
    return figures;
}

std::string PerformanceText(const PerformanceFigures& figures)
{
    std::string text = FormatFixed(figures.Acceleration, 5, 2) + "G " + FormatFixed(figures.Horsepower, 7, 2) + "HP ";
    text += figures.Torque ? FormatFixed(*figures.Torque, 7, 2) : std::string("    ---");
    return text + "lb/ft ";
}

std::string SampleTimeText(int32_t t)
{
    return FormatFixed(t / kMsPerSecond, 7, 3) + " ";
}

}  // namespace tessek
