#include "logging/Performance.h"

#include "logging/Decoders.h"

namespace tessek {

namespace {

constexpr double SpeedFactor = 1.46667;  // mph to feet per second
constexpr double Gravity = 32.0;         // feet per second squared
constexpr double HorsepowerDivisor = 550.0;
constexpr double TorqueFactor = 5250.0;
constexpr double MsPerSecond = 1000.0;

}  // namespace

std::optional<TPerformanceFigures> ComputePerformance(int32_t t, int32_t prevT, float sampleMph, float prevMph,
                                                      float sampleRpm, float prevRpm, int32_t carWeight)
{
    if (t == prevT)
        return std::nullopt;
    const double dt = t / MsPerSecond - prevT / MsPerSecond;
    TPerformanceFigures figures;
    figures.Acceleration = (double{sampleMph} - prevMph) * SpeedFactor / dt / Gravity;
    figures.Horsepower = sampleMph * figures.Acceleration * carWeight * SpeedFactor / HorsepowerDivisor;
    const double meanRpm = (double{sampleRpm} + prevRpm) / 2.0;
    if (meanRpm != 0.0)
        figures.Torque = figures.Horsepower * TorqueFactor / meanRpm;
    return figures;
}

std::string PerformanceText(const TPerformanceFigures& figures)
{
    std::string text = FormatFixed(figures.Acceleration, 5, 2) + "G " + FormatFixed(figures.Horsepower, 7, 2) + "HP ";
    text += figures.Torque ? FormatFixed(*figures.Torque, 7, 2) : std::string("    ---");
    return text + "lb/ft ";
}

std::string SampleTimeText(int32_t t)
{
    return FormatFixed(t / MsPerSecond, 7, 3) + " ";
}

}  // namespace tessek
