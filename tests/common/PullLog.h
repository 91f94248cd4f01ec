#pragma once
// A data log of two full-throttle gears made from a known engine, as the logger would
// write it: a car of kPullLogWeightLb standing at idle, a launch whose clutch holds the
// engine at kPullLogLaunchRpm until first gear catches up, first gear to kPullLogTopRpm,
// a shift (throttle closed, then the clutch lets in at the engine speed it fell to, above
// second gear's), second gear to kPullLogTopRpm. Road speed and engine speed are sampled
// every 25 ms in the LM's steps (1/64 mph, 1/4 rpm); acceleration, power and torque come
// from the logger's own figures (ComputePerformance) of two successive samples. The air:
// a barometric pressure of 95 kPa (MAP abs less Boost) and a charge air of 95 F (35 °C).
#include <cmath>
#include <cstdio>
#include <string>

#include "logging/Performance.h"

namespace tessek::test {

inline constexpr double kPullLogWeightLb = 3000;
inline constexpr double kPullLogFirst = 140;  // rpm per mph
inline constexpr double kPullLogSecond = 85;
inline constexpr double kPullLogLaunchRpm = 2500;
inline constexpr double kPullLogTopRpm = 6000;

// lb-ft at full throttle: 100 at low speed, a peak of 160 at 3500 rpm.
inline double PullLogTorque(double rpm)
{
    return 100 + 60 * std::exp(-std::pow((rpm - 3500) / 1500, 2));
}

struct PullLogTimes {
    double SlipEnd = 0;     // s: the clutch has caught first gear
    double ShiftStart = 0;  // first gear's top
    double SecondGear = 0;  // the clutch has caught second gear
};

inline std::string PullLogCsv(PullLogTimes* times = nullptr)
{
    constexpr double kStep = 0.001, kSample = 0.025, kIdle = 900;
    // mph per second that the engine's torque at `rpm` gives through `ratio`.
    const auto gain = [](double rpm, double ratio) {
        return PullLogTorque(rpm) * 550 * ratio / (kPullLogWeightLb * 1.46667 * 5250) * 32 / 1.46667;
    };
    std::string csv =
        "Time (s),Engine Speed (rpm),Road Speed (mph),Throttle (%),Acceleration (g),Power (hp),"
        "Torque (lb-ft),Boost (psi),MAP abs (kPa),Charge Air Temp (F)\n";
    PullLogTimes at;
    double mph = 0, rpm = kIdle, throttle = 0, nextSample = 0;
    int phase = 0;  // idle, launch, first gear, shift, second gear's clutch, second gear
    int32_t prevT = 0;
    float prevMph = 0, prevRpm = 0;
    for (double t = 0; phase < 6; t += kStep) {
        if (phase == 0 && t >= 1) {
            phase = 1, throttle = 100;
        } else if (phase == 1) {
            rpm = std::min(rpm + 5, kPullLogLaunchRpm);  // 0.3 s to the launch speed
            mph += gain(rpm, kPullLogFirst) * kStep;
            if (mph * kPullLogFirst >= rpm)
                phase = 2, at.SlipEnd = t;
        } else if (phase == 2) {
            rpm = mph * kPullLogFirst;
            mph += gain(rpm, kPullLogFirst) * kStep;
            if (rpm >= kPullLogTopRpm)
                phase = 3, at.ShiftStart = t, throttle = 0;
        } else if (phase == 3) {
            rpm -= 8;  // the engine falls with the clutch out; the car rolls on
            if (t - at.ShiftStart >= 0.2)
                phase = 4, throttle = 100;
        } else if (phase == 4) {
            rpm -= 3;  // the clutch pulls the engine down to second gear's speed
            mph += gain(rpm, kPullLogSecond) * kStep;
            if (mph * kPullLogSecond >= rpm)
                phase = 5, at.SecondGear = t;
        } else if (phase == 5) {
            rpm = mph * kPullLogSecond;
            mph += gain(rpm, kPullLogSecond) * kStep;
            if (rpm >= kPullLogTopRpm)
                phase = 6;
        }
        if (t + 1e-9 < nextSample)
            continue;
        nextSample += kSample;
        const auto ms = static_cast<int32_t>(std::lround(t * 1000));
        const auto sampleMph = static_cast<float>(std::floor(mph * 64) / 64);
        const auto sampleRpm = static_cast<float>(std::floor(rpm * 4) / 4);
        char row[160];
        std::snprintf(row, sizeof row, "%.3f,%.2f,%.2f,%.1f,", ms / 1000.0, sampleRpm, sampleMph, throttle);
        csv += row;
        if (const auto f = ComputePerformance(ms, prevT, sampleMph, prevMph, sampleRpm, prevRpm,
                                              static_cast<int32_t>(kPullLogWeightLb));
            f && ms > 0) {
            std::snprintf(row, sizeof row, "%.2f,%.2f,%.2f,", f->Acceleration, f->Horsepower, f->Torque.value_or(NAN));
            csv += row;
        } else {
            csv += ",,,";
        }
        csv += "0.00,95.0,95.0\n";
        prevT = ms, prevMph = sampleMph, prevRpm = sampleRpm;
    }
    if (times)
        *times = at;
    return csv;
}

}  // namespace tessek::test
