#pragma once
// The data log the viewer's tests open: 40 s at 50 samples a second (row i at i * 0.02 s),
// engine speed 1000 + i, its raw byte, MAP i % 100 - 50 with an empty cell every tenth row
// (i % 10 == 5), and the figures of a pull: acceleration 0.25, power 100 + rpm / 100 and
// torque 150 + rpm / 200.
#include <cstdio>
#include <string>

namespace tessek::test {

inline std::string GeneratedLog()
{
    std::string text =
        "Time (s),Engine Speed (rpm),Engine Speed raw,MAP (psi/-inHg),Acceleration (g),Power (hp),Torque (lb-ft)\n";
    for (int i = 0; i < 2000; ++i) {
        char row[160];
        const double rpm = 1000 + i;
        std::snprintf(row, sizeof row, "%.3f,%.0f,%d,%s,0.25,%.2f,%.2f\n", i * 0.02, rpm, i % 256,
                      i % 10 == 5 ? "" : std::to_string(i % 100 - 50).c_str(), 100 + rpm / 100, 150 + rpm / 200);
        text += row;
    }
    return text;
}

}  // namespace tessek::test
